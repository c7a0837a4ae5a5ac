#pragma once
#include <cstdint>
#include <string_view>

namespace fd {

// CRC-16/KERMIT (polynomial 0x1021 reflected, initial 0, no final XOR) over `length`
// bytes: the check that guards every frame to and from a programmer.
std::uint16_t Crc16(const std::uint8_t* bytes, std::uint64_t length);

// Text of hex digits to a number: leading spaces skipped, then every character must be a
// hex digit (value wraps on overflow); anything else gives all ones, an empty text 0.
std::uint64_t ParseHex(std::string_view text);
inline constexpr std::uint64_t kParseHexInvalid = ~std::uint64_t{0};

}  // namespace fd
