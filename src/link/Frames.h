#pragma once
// The framed blocks sent to and read from a programmer. Every frame carries the CRC-16 of
// the bytes it guards, low byte first, ahead of them.
#include <array>
#include <cstdint>

namespace fd {

inline constexpr std::size_t kHeaderBytes = 71;       // information block bytes 0..70
inline constexpr std::size_t kDescriptorBytes = 18;   // information block bytes 71..88
inline constexpr std::size_t kPageBytes = 256;
inline constexpr std::size_t kPageFrameSize = 2 + 2 + kPageBytes;  // CRC, page number, data
inline constexpr std::size_t kReadAnswerSize = 2 + kPageBytes;     // CRC, data

using HeaderFrame = std::array<std::uint8_t, 2 + kHeaderBytes>;
using DescriptorFrame = std::array<std::uint8_t, 2 + kDescriptorBytes>;
using PageFrame = std::array<std::uint8_t, kPageFrameSize>;

// CRC of the 71 header bytes, then the bytes ('B' and 'D').
HeaderFrame MakeHeaderFrame(const std::uint8_t* header);
// CRC of the 18 descriptor bytes, then the bytes (the first frame of a data transfer).
DescriptorFrame MakeDescriptorFrame(const std::uint8_t* descriptor);
// CRC of the 258 bytes after it, the page number low byte first, the page's 256 bytes.
PageFrame MakePageFrame(std::uint16_t page, const std::uint8_t* data);
// The answer to 'R': true when the CRC in front matches the 256 data bytes behind it.
bool ReadAnswerIntact(const std::uint8_t* answer);

}  // namespace fd
