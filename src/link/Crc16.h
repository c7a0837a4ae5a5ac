#pragma once
#include <cstdint>
#include <string_view>

namespace fd {

// CRC-16/KERMIT (polynomial 0x1021 reflected, initial 0, no final XOR) over `length`
// bytes: the check that guards every frame to and from a programmer.
std::uint16_t Crc16(const std::uint8_t* bytes, std::uint64_t length);

}  // namespace fd
