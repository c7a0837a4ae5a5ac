#include "support/MemoryRig.h"

#include <gtest/gtest.h>

#include "flows/common/WindowProtocol.h"
#include "formats/Hex.h"

namespace fd::test {

std::string ProductLineText(char type, const std::string& product, const std::string& memory,
                            const std::vector<TestBlock>& blocks, const std::string& count) {
  std::string line = ":";
  line += type;
  line += ' ';
  line += FitText("ZK40T", 10) + FitText("ZK40T1", 10) + FitText(product, 12) + FitText(memory, 8);
  line += count.empty() ? HexText(blocks.size(), 2) : count;
  line += ' ';
  for (const TestBlock& b : blocks) line += FitText(b.id, 2) + ' ' + FitText(b.size, 4) + ' ' + b.address + ' ';
  return line;
}

std::string TestDatabase() {
  std::string db = "; test products\r\n";
  db += ProductLineText('2', kOneBlock, "4K", {{"00", "4K", "0F000"}}) + "\r\n";
  db += ProductLineText('2', kFiveBlocks, "12K+2K",
                        {{"0A", "1K", "02400"}, {"0B", "1K", "02800"}, {"00", "4K", "0D000"}, {"01", "4K", "0E000"},
                         {"02", "4K", "0F000"}}) +
        "\r\n";
  db += ProductLineText('1', kFourDigits, "16K", {{"00", "8K", "0C000"}, {"01", "4K", "0E000"}, {"02", "4K", "0F000"}}) +
        "\r\n";
  db += ProductLineText('2', kBadSize, "8K", {{"00", "4K", "0E000"}, {"01", " K", "0F000"}}) + "\r\n";
  db += ProductLineText('2', kBadAddress, "8K", {{"00", "4K", "0E000"}, {"01", "4K", "0FZ00"}}) + "\r\n";
  return db;
}

SimTarget TestTarget() {
  SimTarget target;
  target.selfPowered = true;
  target.flash = {{0x024, 8, 4}, {0x0C0, 32, 16}, {0x0E0, 32, 16}};
  for (std::uint32_t page = 0x024; page < 0x100; ++page) {
    if (!target.contains(page)) continue;
    SimPage bytes;
    for (std::uint32_t i = 0; i < 256; ++i) bytes[i] = TestByte(page * 256 + i);
    target.memory[static_cast<std::uint16_t>(page)] = bytes;
  }
  return target;
}

std::uint8_t TestByte(std::uint32_t address) { return static_cast<std::uint8_t>(address + (address >> 8)); }

MemoryRig::MemoryRig(const std::string& product, SimTarget target) {
  // Our own database and no other: without it the windows have none.
  main.state.programDir = main.state.appDir;
  main.dir.write(kDeviceDatabaseFileName, TestDatabase());
  SimProgrammerSetup setup = ReadyProgrammer("ZK40T5", "app", 1000);
  setup.target = std::move(target);
  main.bench.attach(setup);
  main.flow().open();
  EXPECT_NE(main.state.currentHandle, kNoHandle);
  choose(product);
  // The Single Operation window connects the target before it opens these windows.
  Protocol protocol(main.tracing, main.pacer);
  WindowProtocol link(main.state, protocol, main.prompter);
  EXPECT_EQ(link.ConnectTarget(main.state.currentHandle), 1);
  main.tracing.clear();
  main.prompter.clear();
}

void MemoryRig::choose(const std::string& product) {
  main.state.productNumber = ProductKey(product);
  const auto memory = ProductMemoryMap(DeviceDatabasePath(main.state),
                                       main.state.productNumber, main.state.userFlashStart);
  ASSERT_TRUE(memory.ok());
  ASSERT_TRUE(memory.value.has_value()) << product;
  main.state.mcuTypeCode = memory.value->typeCode;
  main.state.dataFlashStart = memory.value->map.dataFlashStart;
  main.state.dataFlashEnd = memory.value->map.dataFlashEnd;
  main.state.userFlashStart = memory.value->map.userFlashStart;
  main.state.userFlashEnd = memory.value->map.userFlashEnd;
}

std::vector<std::vector<std::uint8_t>> MemoryRig::commands(std::uint8_t command) const {
  const auto all = writes();
  std::vector<std::vector<std::uint8_t>> found;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].size() == 1 && all[i][0] == command) {
      std::vector<std::uint8_t> whole = all[i];
      if (i + 1 < all.size()) whole.insert(whole.end(), all[i + 1].begin(), all[i + 1].end());
      found.push_back(whole);
    }
  }
  return found;
}

}  // namespace fd::test
