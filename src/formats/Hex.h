#pragma once
// Hex text, both ways: the one reader every window's hex field and every file reader goes
// through, and the one formatter for upper-case hex in files, traces and the command line.
// No other digit table exists in the program.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fd {

namespace hex_detail {
// Digit values by character, -1 for anything else: one lookup a character, so a megabyte
// of records is checked without a branch ladder per digit.
struct DigitTable {
  std::int8_t value[256];
  constexpr DigitTable() : value() {
    for (int c = 0; c < 256; ++c) value[c] = -1;
    for (int c = '0'; c <= '9'; ++c) value[c] = static_cast<std::int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) value[c] = static_cast<std::int8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) value[c] = static_cast<std::int8_t>(c - 'a' + 10);
  }
};
inline constexpr DigitTable kDigitTable;
inline constexpr char kUpperDigits[] = "0123456789ABCDEF";
}  // namespace hex_detail

// The widths hex numbers are printed in: a byte, a 16-bit page number, an address of a
// product with 64 KB of space (type '1'), an address of any other product, a 24-bit address.
inline constexpr int kHexByteDigits = 2;
inline constexpr int kHexPageDigits = 4;
inline constexpr int kHexShortAddressDigits = 4;
inline constexpr int kHexAddressDigits = 5;
inline constexpr int kHexWideAddressDigits = 6;

// Value of one hex digit (either case), -1 for any other character.
inline int HexDigitValue(char c) { return hex_detail::kDigitTable.value[static_cast<unsigned char>(c)]; }

// True when every character of `text` is a hex digit (either case); true for an empty text.
inline bool IsAllHex(std::string_view text) {
  int bad = 0;  // OR of the digit values: any -1 sets the sign bit
  for (const char c : text) bad |= HexDigitValue(c);
  return bad >= 0;
}

// Upper-case digit of the low four bits of `nibble`.
inline char HexDigitChar(unsigned nibble) { return hex_detail::kUpperDigits[nibble & 0xF]; }

// Appends `value` as two upper-case hex digits.
inline void AppendHexByte(std::string& out, std::uint8_t value) {
  out.push_back(HexDigitChar(value >> 4));
  out.push_back(HexDigitChar(value));
}

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
