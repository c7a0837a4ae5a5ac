#pragma once
// The memory map of a product: the device database derives it, the file tests read it.
#include <cstdint>

namespace fd {

// The half-open ranges of a product's data flash (0, 0 when it has none) and user flash.
struct MemoryMap {
  std::uint32_t dataFlashStart = 0;
  std::uint32_t dataFlashEnd = 0;
  std::uint32_t userFlashStart = 0;
  std::uint32_t userFlashEnd = 0;
  bool operator==(const MemoryMap&) const = default;
};

}  // namespace fd
