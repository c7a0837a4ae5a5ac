#include "link/Crc16.h"

#include <array>

namespace fd {
namespace {

// Table of the reflected polynomial 0x8408; equal to the bit-serial form with the input
// bytes and the result bit-reversed.
constexpr std::array<std::uint16_t, 256> MakeTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    std::uint16_t crc = static_cast<std::uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0x8408) : static_cast<std::uint16_t>(crc >> 1);
    }
    table[i] = crc;
  }
  return table;
}

constexpr auto kTable = MakeTable();

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::uint64_t length) {
  std::uint16_t crc = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

}  // namespace fd
