#include "link/BootLoader.h"

namespace fd::boot {

std::vector<std::uint8_t> IdCheckFrame() {
  std::vector<std::uint8_t> frame = {kIdCheck, static_cast<std::uint8_t>(kIdAddress),
                                     static_cast<std::uint8_t>(kIdAddress >> 8),
                                     static_cast<std::uint8_t>(kIdAddress >> 16), static_cast<std::uint8_t>(kId.size())};
  frame.insert(frame.end(), kId.begin(), kId.end());
  return frame;
}

std::vector<std::uint8_t> BlockEraseFrame(std::uint16_t page) {
  return {kBlockErase, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8), kEraseConfirm};
}

std::vector<std::uint8_t> PageProgramFrame(std::uint16_t page, const std::array<std::uint8_t, kPageBytes>& data) {
  std::vector<std::uint8_t> frame = {kPageProgram, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)};
  frame.insert(frame.end(), data.begin(), data.end());
  return frame;
}

}  // namespace fd::boot
