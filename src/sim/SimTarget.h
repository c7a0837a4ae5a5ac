#pragma once
// The target board hanging on a simulated programmer: whether it is there, how it is
// powered, its ID code and its flash.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "link/ProgrammerInfo.h"
#include "link/PowerCodes.h"

namespace fd {

inline constexpr std::size_t kSimPageSize = 256;
using SimPage = std::array<std::uint8_t, kSimPageSize>;
// Page number (address >> 8) to its 256 bytes. On a target a missing page reads erased
// (all 0xFF); in a programmer's store the pages present are the image.
using SimPages = std::map<std::uint16_t, SimPage>;
using SimIdCode = std::array<std::uint8_t, info::kIdCodeSize>;
// The ID code a target has unless a bench sets another.
inline constexpr SimIdCode kSimDefaultTargetId = {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3};

// Power codes of the setup: what the programmer puts on the target's supply.
inline constexpr std::uint8_t kSimPowerNone = kPowerCodeNone;  // the target's own supply
inline constexpr std::uint8_t kSimPower3V = kPowerCode3V;
inline constexpr std::uint8_t kSimPower5V = kPowerCode5V;

// One stretch of flash, cut into erase blocks of equal size. All in pages.
struct SimFlashRegion {
  std::uint32_t startPage = 0;
  std::uint32_t pageCount = 0;
  std::uint32_t blockPages = 1;
  bool operator==(const SimFlashRegion&) const = default;
};

// A flash that does not take what it is told: erase leaves data, programming fails, or the
// written data does not read back.
enum class SimFlashFault { kNone, kErase, kProgram, kVerify };

struct SimTarget {
  bool present = true;
  int voltage = 5;            // volts the programmer measures on the target (3 or 5)
  bool selfPowered = true;    // runs from its own supply when the programmer gives none
  SimIdCode id = kSimDefaultTargetId;
  std::vector<SimFlashRegion> flash = {{0x040, 256, 16}};  // 64 KB from 0x04000, 4 KB blocks
  SimPages memory;            // programmed pages; the rest is erased
  SimFlashFault flashFault = SimFlashFault::kNone;

  // 0 when a connection with this power code works, else the programmer's error code:
  // no target, target not powered, or the detected power differs from the setting.
  std::uint8_t connectError(std::uint8_t powerCode) const;
  bool contains(std::uint32_t page) const;
  // The erase block holding `page` (its first page and page count).
  std::optional<SimFlashRegion> blockOf(std::uint32_t page) const;
  void eraseBlock(const SimFlashRegion& block);
  SimPage read(std::uint32_t page) const;
};

}  // namespace fd
