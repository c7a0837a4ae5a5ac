#pragma once
// The error codes a simulated programmer latches, by what goes wrong on the bench; the codes
// themselves are the programmer's own, from the one table the host reads them with.
#include <cstdint>

#include "link/ProgrammerErrors.h"

namespace fd {

inline constexpr std::uint8_t kSimErrCrc = CodeOf(ProgrammerError::LinkCrc);            // a frame failed its CRC
inline constexpr std::uint8_t kSimErrVerify = CodeOf(ProgrammerError::TargetVerify);    // verify after programming
inline constexpr std::uint8_t kSimErrStoreErase = CodeOf(ProgrammerError::StoreErase);  // store cannot be erased
inline constexpr std::uint8_t kSimErrStoreWrite = CodeOf(ProgrammerError::StoreWrite);  // store cannot be written
inline constexpr std::uint8_t kSimErrNoTarget = CodeOf(ProgrammerError::NoTarget);
inline constexpr std::uint8_t kSimErrNotPowered = CodeOf(ProgrammerError::NotPowered);
inline constexpr std::uint8_t kSimErrPowerMismatch = CodeOf(ProgrammerError::PowerMismatch);
inline constexpr std::uint8_t kSimErrId = CodeOf(ProgrammerError::IdMismatch);
inline constexpr std::uint8_t kSimErrTargetErase = CodeOf(ProgrammerError::TargetErase);
inline constexpr std::uint8_t kSimErrProgram = CodeOf(ProgrammerError::Program);

// 'S' on a programmer that holds no complete image: the store cannot give what it should
// hold, which the gang result shows as a loading problem.
inline constexpr std::uint8_t kSimErrNoImage = kSimErrStoreWrite;

}  // namespace fd
