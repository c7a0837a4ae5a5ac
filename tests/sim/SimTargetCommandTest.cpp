// 'E' and 'R' on a connected target, polled the way the erase and read windows poll.
#include <gtest/gtest.h>

#include "sim/SimErrors.h"
#include "sim/SimHost.h"

namespace fd::test {
namespace {


class SimTargetCommandTest : public SimHostTest {
protected:
  SimTargetCommandTest() : SimHostTest(&SimBench::fresh) {}

  void SetUp() override {
    SimHostTest::SetUp();
    // Data flash in 1 KB blocks, then user flash in 4 KB and one 16 KB block.
    programmer().target().flash = {{0x024, 8, 4}, {0x040, 192, 16}, {0x100, 64, 64}};
  }

  void connect() { ASSERT_EQ(host.connect('2', kSimPowerNone, kSimDefaultTargetId), 0); }

  // One block erase as the erase window runs it: the command, then a look every 100 ms
  // tick, at most 100 of them. "erased at tick N", or how it ended.
  std::string erase(std::uint16_t page) {
    host.write({'E'});
    host.write({static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)});
    for (int tick = 1; tick <= 101; ++tick) {
      host.spinMs(100);
      if (tick == 101) return "time out";
      if (!host.waitClear(kBusyBit, 2)) continue;
      if (host.waitClear(kResultBit, 2)) return "error " + HexText(host.fetchError().value_or(0), 2);
      const auto r = host.read(1);
      if (r.rc != kBridgeOk) continue;  // the wait goes on
      if (r.bytes[0] != 0) return "answer " + HexText(r.bytes[0], 2);
      return "erased at tick " + std::to_string(tick);
    }
    return "";
  }

  // One page read: "" with the data in `data`, else how it failed.
  std::string read(std::uint16_t page, Bytes& data) {
    host.write({'R', static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)});
    if (!host.waitClear(kBusyBit, 200)) return "timed out";
    if (host.waitClear(kResultBit, 2)) return "error " + HexText(host.fetchError().value_or(0), 2);
    const auto crc = host.read(2);
    const auto bytes = host.read(256);
    if (crc.rc != kBridgeOk || bytes.rc != kBridgeOk) return "no data";
    data = bytes.bytes;
    if ((crc.bytes[0] | crc.bytes[1] << 8) != Crc16(data.data(), data.size())) return "crc mismatch";
    return "";
  }
};

TEST_F(SimTargetCommandTest, BlockNamedByItsStartPageIsErasedInATimeFittingItsSize) {
  SimTarget& t = programmer().target();
  for (std::uint16_t page : {0x027, 0x028, 0x02B, 0x02C, 0x04F, 0x050, 0x100, 0x13F}) t.memory[page] = Filled(0);
  connect();
  EXPECT_EQ(erase(0x028), "erased at tick 2") << "1 KB";
  EXPECT_EQ(erase(0x040), "erased at tick 3") << "4 KB";
  EXPECT_EQ(erase(0x100), "erased at tick 9") << "16 KB";
  SimPages left;
  for (std::uint16_t page : {0x027, 0x02C, 0x050}) left[page] = Filled(0);
  EXPECT_EQ(t.memory, left) << "only the named blocks";
  Bytes data;
  EXPECT_EQ(read(0x028, data), "");
  EXPECT_EQ(data, Bytes(256, 0xFF));
}

struct EraseCase {
  const char* name;
  std::function<void(SimProgrammer&)> arrange;
  std::uint16_t page;
  const char* outcome;
  bool erased;  // the block is erased in the end (a lost or garbled answer still erased it)
};
void PrintTo(const EraseCase& c, std::ostream* os) { *os << c.name; }

class SimEraseFaultTest : public SimTargetCommandTest, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(SimEraseFaultTest, EndsAsTheBenchSays) {
  programmer().target().memory[0x040] = Filled(0x42);
  GetParam().arrange(programmer());
  connect();
  EXPECT_EQ(erase(GetParam().page), GetParam().outcome);
  EXPECT_EQ(programmer().target().memory.count(0x040) == 0, GetParam().erased);
}

void Fault(SimProgrammer& p, SimErrorFault f) { p.faults().errors.push_back(f); }

INSTANTIATE_TEST_SUITE_P(
    Cases, SimEraseFaultTest,
    ::testing::Values(
        EraseCase{"NoFlashThere", [](SimProgrammer&) {}, 0x300, "error 50", false},
        EraseCase{"FlashWillNotErase", [](SimProgrammer& p) { p.target().flashFault = SimFlashFault::kErase; }, 0x040,
                  "error 50", false},
        EraseCase{"InjectedCode", [](SimProgrammer& p) { Fault(p, {'E', "erase", 0x80}); }, 0x040, "error 80", false},
        EraseCase{"WrongAnswerByte",
                  [](SimProgrammer& p) { Fault(p, {'E', "erase", 0x05, SimFaultAction::kAnswer}); }, 0x040,
                  "answer 05", true},
        EraseCase{"AnswerNeverComes",
                  [](SimProgrammer& p) { Fault(p, {'E', "erase", 0, SimFaultAction::kNoAnswer}); }, 0x040,
                  "time out", true},
        EraseCase{"BusyForever", [](SimProgrammer& p) { Fault(p, {'E', "erase", 0, SimFaultAction::kStuck}); }, 0x040,
                  "time out", false},
        EraseCase{"BusyForeverByLetter", [](SimProgrammer& p) { p.faults().busyAfterCommands = "E"; }, 0x040,
                  "time out", false},
        EraseCase{"SlowButInTime",
                  [](SimProgrammer& p) { Fault(p, {'E', "erase", 0, SimFaultAction::kDelay, 5000}); }, 0x040,
                  "erased at tick 52", true},
        EraseCase{"TooSlow", [](SimProgrammer& p) { Fault(p, {'E', "erase", 0, SimFaultAction::kDelay, 12000}); },
                  0x040, "time out", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTargetCommandTest, EraseNeedsAConnectedTarget) {
  EXPECT_EQ(erase(0x040), "error 32");
}

TEST_F(SimTargetCommandTest, ReadFaults) {
  struct Case {
    const char* name;
    SimFaults faults;
    const char* outcome;
  };
  SimFaults crc;
  crc.corruptReadCrc = true;
  SimFaults lost;
  lost.errors = {{'R', "read", 0, SimFaultAction::kNoAnswer}};
  SimFaults code;
  code.errors = {{'R', "read", 0x70}};
  SimFaults stuck;
  stuck.errors = {{'R', "read", 0, SimFaultAction::kStuck}};
  SimFaults slow;
  slow.errors = {{'R', "read", 0, SimFaultAction::kDelay, 150}};
  const Case cases[] = {
      {"Good", {}, ""},
      {"CorruptedCrc", crc, "crc mismatch"},
      {"NothingSent", lost, "no data"},
      {"ErrorCode", code, "error 70"},
      {"BusyForever", stuck, "timed out"},
      {"SlowButInTime", slow, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(host.reset());
    programmer().setFaults(c.faults);
    programmer().target().memory[0x050] = Filled(0x3C);
    connect();
    Bytes data;
    EXPECT_EQ(read(0x050, data), c.outcome);
    if (std::string(c.outcome).empty()) {
      EXPECT_EQ(data, Bytes(256, 0x3C));
    }
  }
}

}  // namespace
}  // namespace fd::test
