#include "formats/Hex.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace fd {
namespace {

TEST(ParseHex, Table) {
  const struct {
    std::string text;
    std::uint64_t value;
  } cases[] = {
      {"", 0},
      {"0", 0},
      {"1F", 0x1F},
      {"c3C3", 0xC3C3},
      {"   0A", 0x0A},              // leading spaces skipped
      {"    ", 0},                  // only spaces: no digits
      {"0A ", kParseHexInvalid},    // a trailing space is not a digit
      {"0 A", kParseHexInvalid},
      {"G1", kParseHexInvalid},
      {"0x10", kParseHexInvalid},   // no prefix is understood
      {"-1", kParseHexInvalid},
      {"FFFFFFFFFFFFFFFF", ~std::uint64_t{0}},
      {"10000000000000000", 0},     // overflow wraps
      {"123456789ABCDEF0", 0x123456789ABCDEF0},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseHex(c.text), c.value) << '"' << c.text << '"';
}

TEST(HexText, PadsAndUpperCases) {
  EXPECT_EQ(HexText(0, 2), "00");
  EXPECT_EQ(HexText(0xc3, 2), "C3");
  EXPECT_EQ(HexText(0xF000, 5), "0F000");
  EXPECT_EQ(HexText(0x12345, 2), "12345");  // never cut
  const std::uint8_t bytes[] = {0x00, 0xab, 0xFF};
  EXPECT_EQ(HexBytes(bytes, 3), "00ABFF");
  EXPECT_EQ(HexBytes(bytes, 3, " "), "00 AB FF");
  EXPECT_EQ(HexBytes(bytes, 0), "");
}

TEST(ParseHexBytes, TakesExactlyTwoDigitsAByte) {
  std::uint8_t out[3] = {1, 2, 3};
  EXPECT_TRUE(ParseHexBytes("00abFF", out, 3));
  EXPECT_EQ(out[1], 0xAB);
  EXPECT_EQ(out[2], 0xFF);
  std::uint8_t kept[2] = {7, 7};
  for (const char* bad : {"", "0", "000", "0G", " 00A", "0000 "}) {
    EXPECT_FALSE(ParseHexBytes(bad, kept, 2)) << '"' << bad << '"';
    EXPECT_EQ(kept[0], 7);
  }
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST(HexDigits, EveryCharacterHasOneValue) {
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    int expected = -1;
    if (c >= '0' && c <= '9') expected = c - '0';
    if (c >= 'A' && c <= 'F') expected = c - 'A' + 10;
    if (c >= 'a' && c <= 'f') expected = c - 'a' + 10;
    EXPECT_EQ(HexDigitValue(ch), expected) << c;
    EXPECT_EQ(IsAllHex(std::string_view(&ch, 1)), expected >= 0) << c;
  }
  for (unsigned n = 0; n < 16; ++n) EXPECT_EQ(HexDigitValue(HexDigitChar(n)), static_cast<int>(n));
  EXPECT_EQ(HexDigitChar(0x1A), 'A');  // only the low four bits count
}

TEST(HexDigits, IsAllHexLooksAtEveryCharacter) {
  EXPECT_TRUE(IsAllHex(""));
  EXPECT_TRUE(IsAllHex("0123456789abcdefABCDEF"));
  EXPECT_FALSE(IsAllHex("0x10"));
  EXPECT_FALSE(IsAllHex(" 10"));
  EXPECT_FALSE(IsAllHex("FFFFFFFFFFFFFFFG"));
  EXPECT_FALSE(IsAllHex(std::string_view("12\0" "3", 4)));
  EXPECT_FALSE(IsAllHex("\xC1\xB0"));
}

TEST(HexDigits, AppendHexByteWritesTwoUpperCaseDigits) {
  std::string out = "S1";
  for (const std::uint8_t b : {0x00, 0x0F, 0xA5, 0xFF}) AppendHexByte(out, b);
  EXPECT_EQ(out, "S1000FA5FF");
  EXPECT_EQ(HexText(0x1234, kHexAddressDigits), "01234");
  EXPECT_EQ(HexText(0xF0, kHexShortAddressDigits), "00F0");
  EXPECT_EQ(HexText(0xABCDEF, kHexWideAddressDigits), "ABCDEF");
}

}  // namespace
}  // namespace fd
