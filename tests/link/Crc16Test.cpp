#include "link/Crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fd {
namespace {

// The bit-serial form as the programmer's firmware computes it: each byte reversed, shifted
// in from the top, the register reversed at the end. The table form must agree with it.
std::uint16_t BitSerialCrc(const std::vector<std::uint8_t>& bytes) {
  const auto reverse = [](std::uint32_t value, int bits) {
    std::uint32_t out = 0;
    for (int i = 0; i < bits; ++i) out |= ((value >> i) & 1u) << (bits - 1 - i);
    return out;
  };
  std::uint32_t reg = 0;
  for (std::uint8_t byte : bytes) {
    const std::uint32_t in = reverse(byte, 8);
    for (int bit = 7; bit >= 0; --bit) {
      const bool out = (reg & 0x8000) != 0;
      reg = (reg << 1) & 0xFFFF;
      if (out) reg ^= 0x1021;
      if ((in >> bit) & 1u) reg ^= 0x1021;
    }
  }
  return static_cast<std::uint16_t>(reverse(reg, 16));
}

TEST(Crc16, KnownVectors) {
  const struct {
    std::string text;
    std::uint16_t crc;
  } cases[] = {
      {"123456789", 0x2189},  // the published check value
      {"", 0x0000},
      {"A", 0x538D},
  };
  for (const auto& c : cases) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.text.data());
    EXPECT_EQ(Crc16(bytes, c.text.size()), c.crc) << '"' << c.text << '"';
  }
}

TEST(Crc16, TableFormMatchesBitSerialFormOnFrames) {
  // A 258-byte page frame body and a 71-byte header, filled with a pattern that hits every bit.
  for (std::size_t length : {1u, 2u, 18u, 71u, 258u}) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    EXPECT_EQ(Crc16(bytes.data(), bytes.size()), BitSerialCrc(bytes)) << "length " << length;
  }
}

}  // namespace
}  // namespace fd
