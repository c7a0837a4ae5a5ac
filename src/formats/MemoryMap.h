#pragma once
// The memory map of the selected product: half-open ranges of its data flash (0, 0 when it
// has none) and user flash, as the device database gives them.
#include <cstdint>

namespace fd {

struct MemoryMap {
  std::uint32_t dataFlashStart = 0;
  std::uint32_t dataFlashEnd = 0;
  std::uint32_t userFlashStart = 0;
  std::uint32_t userFlashEnd = 0;
  bool operator==(const MemoryMap&) const = default;
};

// The rule of the map: the bytes [start, end) may be written or read when they lie wholly
// inside the data flash or wholly inside the user flash; a range across both is outside.
constexpr bool RangeInMemoryMap(std::uint64_t start, std::uint64_t end, const MemoryMap& map) {
  const auto inside = [&](std::uint32_t from, std::uint32_t to) { return start >= from && end <= to; };
  return inside(map.dataFlashStart, map.dataFlashEnd) || inside(map.userFlashStart, map.userFlashEnd);
}

}  // namespace fd
