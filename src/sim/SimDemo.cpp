// The demo bench: three programmers already set up with a product and an image each, so a
// first look at the application shows a full list and a gang run that succeeds. The
// products are those of res/MCUType.mcu: type code, name and block table as choosing them
// off-line stores them, and each target's flash cut into the blocks the database lists.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "sim/SimBench.h"

namespace fd {

namespace {

struct DemoProgrammer {
  char type;
  std::uint8_t power;
  SimIdCode id;
  std::string mcu;
  std::string file;
  std::vector<std::uint16_t> blocks;
  std::string time;
  std::uint32_t size;
  std::vector<std::tuple<std::uint16_t, std::uint16_t, std::uint8_t, std::uint8_t>> image;  // page, count, fill, step
  SimTarget target;
};

SimProgrammerSetup Build(const DemoProgrammer& d) {
  SimProgrammerSetup s;
  for (const auto& [first, count, fill, step] : d.image) {
    for (std::uint16_t k = 0; k < count; ++k) {
      SimPage page;
      page.fill(static_cast<std::uint8_t>(fill + k * step));
      s.image[static_cast<std::uint16_t>(first + k)] = page;
    }
  }
  ProgrammerInfo& b = s.info;
  b[info::kTypeCode] = static_cast<std::uint8_t>(d.type);
  b[info::kPower] = d.power;
  std::copy(d.id.begin(), d.id.end(), b.begin() + info::kIdCode);
  const std::string mcu = (d.mcu + std::string(info::kMcuNameSize, ' ')).substr(0, info::kMcuNameSize);
  const std::string file = (d.file + std::string(info::kFileNameSize, ' ')).substr(0, info::kFileNameSize);
  std::copy(mcu.begin(), mcu.end(), b.begin() + info::kNames);
  std::copy(file.begin(), file.end(), b.begin() + info::kFileName);
  for (std::size_t i = 0; i < d.blocks.size(); ++i) {
    b[info::kBlockTable + 2 * i] = static_cast<std::uint8_t>(d.blocks[i]);
    b[info::kBlockTable + 2 * i + 1] = static_cast<std::uint8_t>(d.blocks[i] >> 8);
  }
  std::copy(d.time.begin(), d.time.end(), b.begin() + info::kModifyTime);
  for (int i = 0; i < 4; ++i) b[info::kFileSize + i] = static_cast<std::uint8_t>(d.size >> (8 * i));
  const auto pages = static_cast<std::uint16_t>(s.image.size());
  b[info::kPageCount] = static_cast<std::uint8_t>(pages);
  b[info::kPageCount + 1] = static_cast<std::uint8_t>(pages >> 8);
  s.target = d.target;
  return s;
}

SimTarget Target(int voltage, bool selfPowered, SimIdCode id, std::vector<SimFlashRegion> flash) {
  // Built whole, so the default flash list is never made only to be thrown away.
  return SimTarget{.present = true, .voltage = voltage, .selfPowered = selfPowered, .id = id,
                   .flash = std::move(flash), .memory = {}, .flashFault = SimFlashFault::kNone};
}

}  // namespace

std::unique_ptr<SimBench> SimBench::demo(SimClock& clock) {
  const SimIdCode defaultId = kSimDefaultTargetId;
  const SimIdCode motorId = {0x31, 0x41, 0x59, 0x26, 0x53, 0x58, 0x97};
  const SimIdCode blankId = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::vector<DemoProgrammer> demo = {
      // 64K+2K: 2 KB of data flash in 1 KB blocks below 64 KB of user flash in 8 KB blocks;
      // powered by the programmer.
      {'2', kSimPower5V, defaultId, "ZK40F8C12", "blinky", {0x024, 0x028, 0x040}, "240314093012", 12345,
       {{0x024, 2, 0x5A, 1}, {0x0F0, 16, 0x10, 3}},
       Target(5, false, defaultId, {{0x024, 8, 4}, {0x040, 256, 32}})},
      // 128K: 16 KB blocks at the top of the address space, a 3 V board.
      {'3', kSimPower3V, motorId, "ZK40G16B", "motor_ctl", {0xE00}, "240402161455", 48128,
       {{0xFB0, 80, 0x20, 1}},
       Target(3, false, motorId, {{0xE00, 512, 64}})},
      // 128K+4K: four 1 KB data blocks, 16 KB user blocks; a board with its own 5 V supply.
      {'2', kSimPowerNone, blankId, "ZK40H128R1", "sensor_v2", {0x030, 0x034, 0x038, 0x03C, 0x040}, "231127080703",
       131072, {{0x040, 220, 0x80, 7}},
       Target(5, true, blankId, {{0x030, 16, 4}, {0x040, 512, 64}})},
  };
  auto bench = std::make_unique<SimBench>(clock);
  for (const DemoProgrammer& d : demo) bench->attach(Build(d));
  return bench;
}

}  // namespace fd
