#pragma once
// The target-memory windows on a simulated programmer in virtual time: a small device
// database of our own beside the program, one programmer detected and current, the
// product chosen on-line as the Single Operation window chooses it, every bridge call
// traced and every message recorded. Sub-windows run on a scripted host.
#include <string>
#include <vector>

#include "flows/common/ScriptedHost.h"
#include "flows/memory/MemoryPorts.h"
#include "formats/DeviceDatabase.h"
#include "support/MainRig.h"

namespace fd::test {

// A product line of the device database, fields at their columns.
struct TestBlock {
  std::string id, size, address;
};
std::string ProductLineText(char type, const std::string& product, const std::string& memory,
                            const std::vector<TestBlock>& blocks, const std::string& count = "");

// Products of the test database:
//   ZK40T1  one 4K user block at 0F000 (type 2)
//   ZK40T5  data 0A 02400, 0B 02800 (1K each); user 00 0D000, 01 0E000, 02 0F000 (4K each)
//   ZK40T8  type 1 (four digits): user 00 8K 0C000, 01 4K 0E000, 02 4K 0F000
//   ZK40TX  a user block whose size text has no digit
inline constexpr const char* kOneBlock = "ZK40T1";
inline constexpr const char* kFiveBlocks = "ZK40T5";
inline constexpr const char* kFourDigits = "ZK40T8";
inline constexpr const char* kBadSize = "ZK40TX";
inline constexpr const char* kBadAddress = "ZK40TY";  // Block 1's start address is not hex
std::string TestDatabase();

// A target whose flash is cut into the blocks of the test products, with a recognisable
// pattern in every page (byte = low byte of its address + page number).
SimTarget TestTarget();
std::uint8_t TestByte(std::uint32_t address);

struct MemoryRig {
  explicit MemoryRig(const std::string& product = kFiveBlocks, SimTarget target = TestTarget());

  // The product chosen as the on-line window chooses it: name, type code, memory map.
  void choose(const std::string& product);
  MemoryPorts ports() { return {main.state, link, main.prompter, main.clock, host}; }
  SimProgrammer& programmer() { return main.bench.programmer(0); }
  BridgeHandle handle() const { return main.state.currentHandle; }
  // Every write to the programmer since the last clear, one element a write.
  std::vector<std::vector<std::uint8_t>> writes() const { return main.tracing.writesTo(handle()); }
  // The writes that start a command with `command`, with the write after it (its parameters).
  std::vector<std::vector<std::uint8_t>> commands(std::uint8_t command) const;

  MainRig main;
  ScriptedHost host{main.clock};
  AppState& state = main.state;
  RecordingPrompter& prompter = main.prompter;
  Protocol link{main.tracing, main.pacer};
};

}  // namespace fd::test
