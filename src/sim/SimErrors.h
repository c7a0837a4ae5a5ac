#pragma once
// The one-byte error codes a programmer latches and hands out on the error-request line.
#include <cstdint>

namespace fd {

inline constexpr std::uint8_t kSimErrCrc = 0x12;            // a frame failed its CRC
inline constexpr std::uint8_t kSimErrVerify = 0x13;         // target verify after programming
inline constexpr std::uint8_t kSimErrStoreErase = 0x22;     // on-board store cannot be erased
inline constexpr std::uint8_t kSimErrStoreWrite = 0x23;     // on-board store cannot be written
inline constexpr std::uint8_t kSimErrNoTarget = 0x32;
inline constexpr std::uint8_t kSimErrNotPowered = 0x33;
inline constexpr std::uint8_t kSimErrPowerMismatch = 0x34;
inline constexpr std::uint8_t kSimErrId = 0x40;
inline constexpr std::uint8_t kSimErrTargetErase = 0x50;
inline constexpr std::uint8_t kSimErrProgram = 0x60;

// 'S' on a programmer that holds no complete image: the store cannot give what it should
// hold, which the gang result shows as a loading problem.
inline constexpr std::uint8_t kSimErrNoImage = kSimErrStoreWrite;

}  // namespace fd
