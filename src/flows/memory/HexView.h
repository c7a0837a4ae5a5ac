#pragma once
// One line of the Read window's hex view: "0x", the line address in five digits, sixteen
// three-character fields (a blank and the byte, or three blanks for an address outside the
// read range), three blanks and the line checksum. For a full line the checksum is that of
// the S2 record carrying the line.
#include <cstdint>
#include <string>

namespace fd {

inline constexpr const char* kHexViewHeading = "+0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F";
inline constexpr std::size_t kHexViewLineLength = 60;

// `bytes` holds the 16 bytes at `lineAddress` (a multiple of 16); only those whose address
// lies in [rangeStart, rangeEnd] are shown and counted.
std::string HexViewLine(std::uint32_t lineAddress, const std::uint8_t* bytes, std::int32_t rangeStart,
                        std::int32_t rangeEnd);

}  // namespace fd
