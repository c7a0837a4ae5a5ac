#pragma once
// Hex text, both ways: the one reader every window's hex field goes through, and the one
// formatter for upper-case hex in files, traces and the command line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fd {

// Value of one hex digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Text of hex digits to a number: leading spaces skipped, then every character must be a
// hex digit (value wraps on overflow); anything else gives all ones, an empty text 0.
std::uint64_t ParseHex(std::string_view text);
inline constexpr std::uint64_t kParseHexInvalid = ~std::uint64_t{0};

// Exactly 2 * count hex digits (either case) to bytes; false, with `out` untouched on a
// character that is not a hex digit or a text of any other length.
bool ParseHexBytes(std::string_view text, std::uint8_t* out, std::size_t count);

// `value` in upper-case hex, zero-padded to at least `digits` digits ("0F", "00100").
std::string HexText(std::uint64_t value, int digits);
// Bytes as upper-case hex digits, two a byte, with `separator` between bytes when given.
std::string HexBytes(const std::uint8_t* bytes, std::size_t count, std::string_view separator = {});

}  // namespace fd
