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

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* bytes, std::uint64_t length) {
  std::uint16_t crc = 0;
  for (std::uint64_t i = 0; i < length; ++i) {
    crc = static_cast<std::uint16_t>((crc >> 8) ^ kTable[(crc ^ bytes[i]) & 0xFF]);
  }
  return crc;
}

std::uint64_t ParseHex(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0) return kParseHexInvalid;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  return value;
}

}  // namespace fd
