#include "support/MainRig.h"

#include <algorithm>
#include <cstring>

namespace fd::test {

SimProgrammerSetup ReadyProgrammer(const std::string& mcu, const std::string& file, std::uint32_t size) {
  SimProgrammerSetup setup;
  ProgrammerInfo& block = setup.info;
  block.fill(0xFF);
  block[info::kTypeCode] = '2';
  block[info::kPower] = 0x00;  // the target's own supply
  std::fill_n(block.begin() + info::kIdCode, info::kIdCodeSize, 0xC3);
  std::string names = mcu;
  names.resize(info::kMcuNameSize, ' ');
  std::string padded = file;
  padded.resize(info::kFileNameSize, ' ');
  names += padded;
  std::copy(names.begin(), names.end(), block.begin() + info::kNames);
  block[info::kBlockTable] = 0x40;
  block[info::kBlockTable + 1] = 0x00;
  const char* time = "261210090507";
  std::copy_n(time, info::kModifyTimeSize, block.begin() + info::kModifyTime);
  const std::uint16_t pages = static_cast<std::uint16_t>(std::max<std::uint32_t>(1, (size + 255) / 256));
  for (int i = 0; i < 4; ++i) block[info::kFileSize + i] = static_cast<std::uint8_t>(size >> (8 * i));
  block[info::kPageCount] = static_cast<std::uint8_t>(pages & 0xFF);
  block[info::kPageCount + 1] = static_cast<std::uint8_t>(pages >> 8);
  for (std::uint16_t p = 0; p < pages && p < 256; ++p) {
    SimPage page;
    page.fill(static_cast<std::uint8_t>(p));
    setup.image[static_cast<std::uint16_t>(0x40 + p)] = page;
  }
  setup.target.selfPowered = true;
  return setup;
}

SimProgrammerSetup WrongIdProgrammer(const std::string& mcu, const std::string& file, std::uint32_t size) {
  SimProgrammerSetup setup = ReadyProgrammer(mcu, file, size);
  setup.target.id = {1, 2, 3, 4, 5, 6, 7};
  return setup;
}

}  // namespace fd::test
