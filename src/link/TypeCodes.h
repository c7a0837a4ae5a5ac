#pragma once
// A product's type code: the first parameter of the connect command, stored in the
// information block and read from the device database. It is one character, and what
// follows from it lives here: how wide its addresses are printed and typed, how often the
// host sends an on-line page, how long the programmer takes to write one, and where the
// image's ID code page may be.
#include <cstdint>

namespace fd {

struct TypeCodeFacts {
  char code;
  int addressDigits;              // hex digits of an address of this product
  int onlinePagePeriodMs;         // the host's pacing of on-line page frames
  std::uint32_t onlinePageUs;     // the programmer's time to write one page on-line
  bool idPageInTopSegmentOnly;    // the ID code page is only the last page of segment 0x0F
};

inline constexpr TypeCodeFacts kTypeCodeTable[] = {
    {'1', 4, 70, 60000, false},
    {'2', 5, 60, 50000, false},
    {'3', 5, 35, 28000, true},
};

// Any other code (no product chosen, a code a newer database brings) is paced like '1'
// with five-digit addresses.
inline constexpr TypeCodeFacts kOtherTypeCode = {'\0', 5, 70, 60000, false};

inline constexpr const TypeCodeFacts& TypeCodeFactsOf(char code) {
  for (const TypeCodeFacts& facts : kTypeCodeTable) {
    if (facts.code == code) return facts;
  }
  return kOtherTypeCode;
}

}  // namespace fd
