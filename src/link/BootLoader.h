#pragma once
// The serial boot loader of the programmer's own microcontroller, as the host speaks to it
// during a firmware update: the bytes of each command and the meaning of its status bytes.
// BootLoaderLink.h sends them.
#include <array>
#include <cstdint>
#include <vector>

namespace fd::boot {

inline constexpr std::uint8_t kLeadIn = 0x00;
inline constexpr std::uint8_t kConnect = 0xB0;
inline constexpr std::uint8_t kIdCheck = 0xF5;
inline constexpr std::uint8_t kStatusRead = 0x70;
inline constexpr std::uint8_t kBlockErase = 0x20;
inline constexpr std::uint8_t kEraseConfirm = 0xD0;
inline constexpr std::uint8_t kPageProgram = 0x41;

// Lead-in bytes written before the connect byte, one a tick.
inline constexpr int kLeadInCount = 16;
// The ID the boot loader's check asks for, and where it compares it.
inline constexpr std::uint32_t kIdAddress = 0xFFFDF;
inline constexpr std::array<std::uint8_t, 7> kId = {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3};

// First status byte.
inline constexpr std::uint8_t kReady = 0x80;
inline constexpr std::uint8_t kEraseFailed = 0x20;
inline constexpr std::uint8_t kProgramFailed = 0x10;
// Second status byte: both bits set once the ID check passed.
inline constexpr std::uint8_t kIdPassedBits = 0x0C;

inline constexpr std::size_t kPageBytes = 256;
// The counted waits around each page's status read.
inline constexpr std::uint64_t kAfterPageSpin = 500000;
inline constexpr std::uint64_t kAfterStatusReadSpin = 100000;
// A page program frame: command, page number (2 bytes) and the page's data.
inline constexpr std::size_t kPageFrameBytes = 3 + kPageBytes;

// The three erase blocks of the programmer's own flash, in the order they are erased,
// by the page number the erase command names.
inline constexpr std::array<std::uint16_t, 3> kBlockPages = {0x0FF0, 0x0FE0, 0x0FC0};
// The pages those blocks hold together (0xFC000 to 0xFFFFF): the only pages a firmware
// file may bring, since nothing else is erased before programming.
inline constexpr std::uint16_t kFirstFirmwarePage = 0x0FC0;
inline constexpr std::uint16_t kLastFirmwarePage = 0x0FFF;

// 0xF5, the ID address low byte first, the length, the ID bytes: 12 bytes.
std::vector<std::uint8_t> IdCheckFrame();
// 0x20, the block's page number low byte first, 0xD0.
std::vector<std::uint8_t> BlockEraseFrame(std::uint16_t page);
// 0x41, the page number low byte first, the 256 data bytes: 259 bytes.
std::vector<std::uint8_t> PageProgramFrame(std::uint16_t page, const std::array<std::uint8_t, kPageBytes>& data);

inline bool IsReady(std::uint8_t status1) { return (status1 & kReady) != 0; }
inline bool EraseFailed(std::uint8_t status1) { return (status1 & kEraseFailed) != 0; }
inline bool ProgramFailed(std::uint8_t status1) { return (status1 & kProgramFailed) != 0; }
inline bool IdPassed(std::uint8_t status2) { return (status2 & kIdPassedBits) == kIdPassedBits; }
inline bool IsFirmwarePage(std::uint32_t page) { return page >= kFirstFirmwarePage && page <= kLastFirmwarePage; }

}  // namespace fd::boot
