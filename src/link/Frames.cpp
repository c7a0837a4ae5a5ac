#include "link/Frames.h"

#include <algorithm>

#include "link/Crc16.h"

namespace fd {
namespace {

template <std::size_t N>
std::array<std::uint8_t, N> Framed(const std::uint8_t* bytes) {
  std::array<std::uint8_t, N> frame{};
  const std::uint16_t crc = Crc16(bytes, N - 2);
  frame[0] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[1] = static_cast<std::uint8_t>(crc >> 8);
  std::copy_n(bytes, N - 2, frame.begin() + 2);
  return frame;
}

}  // namespace

HeaderFrame MakeHeaderFrame(const std::uint8_t* header) { return Framed<2 + kHeaderBytes>(header); }

DescriptorFrame MakeDescriptorFrame(const std::uint8_t* descriptor) {
  return Framed<2 + kDescriptorBytes>(descriptor);
}

PageFrame MakePageFrame(std::uint16_t page, const std::uint8_t* data) {
  std::array<std::uint8_t, 2 + kPageBytes> body{};
  body[0] = static_cast<std::uint8_t>(page & 0xFF);
  body[1] = static_cast<std::uint8_t>(page >> 8);
  std::copy_n(data, kPageBytes, body.begin() + 2);
  return Framed<kPageFrameSize>(body.data());
}

bool ReadAnswerIntact(const std::uint8_t* answer) {
  const std::uint16_t sent = static_cast<std::uint16_t>(answer[0] | (answer[1] << 8));
  return Crc16(answer + 2, kPageBytes) == sent;
}

}  // namespace fd
