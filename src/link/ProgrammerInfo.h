#pragma once
// The 89-byte block a programmer returns about itself for command 'I': the header
// (bytes 0 to 70, written with 'B' or 'D') and the image descriptor (bytes 71 to 88,
// the first frame of a data transfer).
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace fd {

inline constexpr std::size_t kInfoSize = 89;
using ProgrammerInfo = std::array<std::uint8_t, kInfoSize>;

namespace info {
inline constexpr std::size_t kTypeCode = 0;      // 0xFF: no setup stored
inline constexpr std::size_t kPower = 1;
inline constexpr std::size_t kIdCode = 2;        // 7 bytes
inline constexpr std::size_t kIdCodeSize = 7;
inline constexpr std::size_t kNames = 9;         // MCU name (12) then file name (16)
inline constexpr std::size_t kMcuNameSize = 12;
inline constexpr std::size_t kFileName = 21;
inline constexpr std::size_t kFileNameSize = 16;
inline constexpr std::size_t kBlockTable = 37;   // 17 entries of 16 bits
inline constexpr std::size_t kBlockEntries = 17;
inline constexpr std::size_t kHeaderSize = 71;   // bytes 0..70
inline constexpr std::size_t kModifyTime = 71;   // 12 ASCII digits YYMMDDhhmmss
inline constexpr std::size_t kModifyTimeSize = 12;
inline constexpr std::size_t kFileSize = 83;     // 32 bits; first byte 0xFF: no file
inline constexpr std::size_t kPageCount = 87;    // 16 bits
inline constexpr std::size_t kDescriptor = 71;
inline constexpr std::size_t kDescriptorSize = 18;
}  // namespace info

// The 7-byte ID code a target is unlocked with.
using IdCode = std::array<std::uint8_t, info::kIdCodeSize>;
inline constexpr IdCode kDefaultIdCode = {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3};

// The name fields read as one text from offset 9 up to the first zero byte (or the end
// of the block): the first 12 characters are the MCU name, the next up to 16 the file name.
std::string InfoNameText(const ProgrammerInfo& block);
std::string InfoMcuName(const ProgrammerInfo& block);
std::string InfoFileName(const ProgrammerInfo& block);
std::uint32_t InfoFileSize(const ProgrammerInfo& block);
std::uint16_t InfoPageCount(const ProgrammerInfo& block);
std::uint16_t InfoBlockEntry(const ProgrammerInfo& block, std::size_t index);
std::string InfoModifyDigits(const ProgrammerInfo& block);  // the 12 characters as stored

// Text from a programmer or a file name, fit for one line: control bytes show as '?'.
std::string PrintableText(std::string_view text);

}  // namespace fd
