#pragma once
// The power codes of a target setup, as the connect command carries them and the
// information block stores them: what the programmer puts on the target's supply.
#include <cstdint>

namespace fd {

inline constexpr std::uint8_t kPowerCodeNone = 0x00;  // the target's own supply
inline constexpr std::uint8_t kPowerCode3V = 0x30;
inline constexpr std::uint8_t kPowerCode5V = 0x50;

}  // namespace fd
