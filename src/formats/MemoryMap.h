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

}  // namespace fd
