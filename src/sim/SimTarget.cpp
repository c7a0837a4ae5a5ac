#include "sim/SimTarget.h"

#include <iterator>

#include "sim/SimErrors.h"

namespace fd {

std::uint8_t SimTarget::connectError(std::uint8_t powerCode) const {
  if (!present) return kSimErrNoTarget;
  if (powerCode == kSimPowerNone) return selfPowered ? 0 : kSimErrNotPowered;
  if (powerCode == kSimPower3V) return voltage == 3 ? 0 : kSimErrPowerMismatch;
  if (powerCode == kSimPower5V) return voltage == 5 ? 0 : kSimErrPowerMismatch;
  // A code the programmer has no output for can never match what it measures.
  return kSimErrPowerMismatch;
}

bool SimTarget::contains(std::uint32_t page) const { return blockOf(page).has_value(); }

std::optional<SimFlashRegion> SimTarget::blockOf(std::uint32_t page) const {
  for (const SimFlashRegion& r : flash) {
    if (page < r.startPage || page >= r.startPage + r.pageCount || r.blockPages == 0) continue;
    const std::uint32_t first = r.startPage + (page - r.startPage) / r.blockPages * r.blockPages;
    return SimFlashRegion{first, r.blockPages, r.blockPages};
  }
  return std::nullopt;
}

void SimTarget::eraseBlock(const SimFlashRegion& block) {
  for (auto it = memory.begin(); it != memory.end();) {
    const bool inside = it->first >= block.startPage && it->first < block.startPage + block.pageCount;
    it = inside ? memory.erase(it) : std::next(it);
  }
}

SimPage SimTarget::read(std::uint32_t page) const {
  SimPage data;
  data.fill(0xFF);
  if (page <= 0xFFFF) {
    const auto it = memory.find(static_cast<std::uint16_t>(page));
    if (it != memory.end()) data = it->second;
  }
  return data;
}

}  // namespace fd
