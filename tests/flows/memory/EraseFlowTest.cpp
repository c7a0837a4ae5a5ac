// The Erase window on a simulated programmer: what goes over the wire for each block, the
// ticks that show what was erased, the select-all toggle, the end of a run in each of its
// ways, and the connect before and reset after the window.
#include "flows/memory/EraseFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/MemoryRig.h"
#include "sim/SimErrors.h"
#include "flows/memory/MemoryOperations.h"
#include "flows/memory/AddrFlow.h"
#include "flows/single/OnlineSetup.h"
#include <filesystem>

namespace fd {
namespace {

using ::testing::ElementsAre;
using test::MemoryRig;
using Bytes = std::vector<std::uint8_t>;

std::vector<bool> Ticks(const EraseView& view) {
  std::vector<bool> ticks;
  for (const auto& row : view.rows) ticks.push_back(row.checked);
  return ticks;
}

bool Erased(MemoryRig& rig, std::uint16_t page) {
  const SimPage bytes = rig.programmer().target().read(page);
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

int ResetPulses(const MemoryRig& rig) {
  int n = 0;
  for (const auto& e : rig.main.tracing.entries()) n += e.op == TraceEntry::Op::SetFlowControl && e.pattern == kResetLine;
  return n;
}

// The window driven tick by tick, as its timer would, 100 ms apart.
struct EraseWindow {
  explicit EraseWindow(MemoryRig& r) : rig(r), flow(r.ports()) { flow.open(timers); }
  void tick() {
    rig.main.clock.advanceUs(100'000);
    flow.onTimer(kTimerSubWindow);
  }
  // Ticks while the run goes on; the ticks it took.
  int runOut(int limit = 400) {
    int ticks = 0;
    while (flow.view().running && !flow.ended() && ticks < limit) {
      tick();
      ++ticks;
    }
    return ticks;
  }
  MemoryRig& rig;
  test::ManualTimers timers;
  EraseFlow flow;
};

TEST(EraseFlow, OneBlockSendsTheCommandAndItsPageThenTicksTheRowAndAsks) {
  MemoryRig rig(test::kOneBlock);
  EraseWindow window(rig);
  const EraseView& view = window.flow.view();
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0].block.name, "Block 0");
  EXPECT_EQ(view.rows[0].block.address, "0x0F000");
  EXPECT_EQ(view.rows[0].block.size, "4K  ");
  window.flow.setChecked(0, true);
  window.flow.ok();
  EXPECT_FALSE(view.rows[0].checked) << "the ticks are cleared when the run starts";
  EXPECT_FALSE(view.toggleEnabled);
  EXPECT_TRUE(window.timers.running(kTimerSubWindow));
  EXPECT_EQ(window.timers.period(kTimerSubWindow), 100);
  EXPECT_TRUE(rig.writes().empty()) << "the first command goes out at the first tick";

  window.tick();
  EXPECT_THAT(rig.writes(), ElementsAre(Bytes{0x45}, Bytes{0xF0, 0x00}));
  EXPECT_EQ(view.hotRow, 0);
  // A second OK while the programmer erases sends nothing.
  window.flow.ok();
  EXPECT_EQ(rig.commands('E').size(), 1u);

  rig.prompter.answerNext(MsgAnswer::Yes);
  int ticks = 0;
  while (!view.rows[0].checked && ticks++ < 50) window.tick();
  EXPECT_TRUE(rig.prompter.messages().empty()) << "the question comes at the tick after the block";
  EXPECT_TRUE(Erased(rig, 0xF0));
  EXPECT_EQ(window.flow.progress().percent(), 100);
  window.tick();
  ASSERT_EQ(rig.prompter.messages().size(), 1u);
  const auto& question = rig.prompter.messages()[0];
  EXPECT_EQ(question.caption, "INFO");
  EXPECT_EQ(question.icon, MsgIcon::None);
  EXPECT_EQ(question.text, "Erase completed. Exit erase mode?");
  EXPECT_EQ(question.buttons, MsgButtons::YesNo);
  EXPECT_EQ(window.flow.result(), FlowResult::Ok);
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
  EXPECT_EQ(rig.commands('E').size(), 1u);
}

TEST(EraseFlow, OnlyTheTickedRowsAreErasedInListOrder) {
  MemoryRig rig(test::kFiveBlocks);
  EraseFlow flow(rig.ports());
  rig.host.script<EraseFlow>([](EraseFlow& f) {
    f.setChecked(3, true);
    f.setChecked(0, true);
    f.ok();
  });
  rig.prompter.answerNext(MsgAnswer::Yes);
  EXPECT_EQ(rig.host.run(flow), FlowResult::Ok);
  EXPECT_THAT(rig.commands('E'), ElementsAre(Bytes{0x45, 0x24, 0x00}, Bytes{0x45, 0xE0, 0x00}));
  EXPECT_THAT(Ticks(flow.view()), ElementsAre(true, false, false, true, false));
  EXPECT_THAT(flow.erasedBlocks(), ElementsAre("Block A", "Block 1"));
  EXPECT_TRUE(Erased(rig, 0x24) && Erased(rig, 0x27) && Erased(rig, 0xE0) && Erased(rig, 0xEF));
  EXPECT_FALSE(Erased(rig, 0x28) || Erased(rig, 0xD0) || Erased(rig, 0xF0));
  // After the run the label offers to select all again, though rows are ticked.
  EXPECT_EQ(flow.view().toggleLabel, "Select all blocks");
  EXPECT_EQ(flow.view().hotRow, -1);
}

TEST(EraseFlow, TheToggleTicksEveryRowThenClearsEveryRow) {
  MemoryRig rig(test::kFiveBlocks);
  EraseWindow window(rig);
  const EraseView& view = window.flow.view();
  window.flow.setChecked(2, true);
  EXPECT_EQ(view.toggleLabel, "Select all blocks");
  window.flow.toggleAll();
  EXPECT_THAT(Ticks(view), ElementsAre(true, true, true, true, true));
  EXPECT_EQ(view.toggleLabel, "Clear all selected blocks");
  window.flow.toggleAll();
  EXPECT_THAT(Ticks(view), ElementsAre(false, false, false, false, false));
  EXPECT_EQ(view.toggleLabel, "Select all blocks");
}

TEST(EraseFlow, NoToTheQuestionResetsAndTheNextOkReconnectsAndErasesTheTickedRows) {
  MemoryRig rig(test::kFiveBlocks);
  EraseWindow window(rig);
  window.flow.setChecked(1, true);
  window.flow.ok();
  EXPECT_TRUE(rig.commands('C').empty()) << "the target is connected already";
  rig.prompter.answerNext(MsgAnswer::No);
  window.runOut();
  EXPECT_FALSE(window.flow.ended());
  EXPECT_EQ(rig.state.targetConnected, 0);
  EXPECT_EQ(ResetPulses(rig), 1);
  EXPECT_TRUE(window.flow.view().toggleEnabled);
  EXPECT_TRUE(window.flow.view().okEnabled);
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));

  // Block B is still ticked from the run; Block 2 is added.
  rig.main.tracing.clear();
  window.flow.setChecked(4, true);
  window.flow.ok();
  EXPECT_EQ(rig.commands('C').size(), 1u) << "the reset cleared the connection";
  EXPECT_EQ(rig.state.targetConnected, 1);
  rig.prompter.answerNext(MsgAnswer::Yes);
  window.runOut();
  EXPECT_THAT(rig.commands('E'), ElementsAre(Bytes{0x45, 0x28, 0x00}, Bytes{0x45, 0xF0, 0x00}));
  EXPECT_EQ(window.flow.result(), FlowResult::Ok);
}

TEST(EraseFlow, ABlockThatNeverEndsTimesOutOnTheHundredAndFirstTick) {
  MemoryRig rig(test::kFiveBlocks);
  EraseWindow window(rig);
  window.flow.setChecked(0, true);
  window.flow.setChecked(1, true);
  window.flow.ok();
  while (!window.flow.view().rows[0].checked) window.tick();
  rig.programmer().faults().busyAfterCommands = "E";
  window.tick();  // sends the command for Block B
  ASSERT_EQ(rig.commands('E').size(), 2u);
  for (int t = 1; t <= 100; ++t) {
    window.tick();
    ASSERT_TRUE(rig.prompter.messages().empty()) << "tick " << t;
  }
  window.tick();
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("Time out error!"));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
  EXPECT_THAT(Ticks(window.flow.view()), ElementsAre(true, false, false, false, false));
  EXPECT_TRUE(window.flow.view().toggleEnabled);
  EXPECT_EQ(ResetPulses(rig), 1);
  EXPECT_FALSE(window.flow.ended());
}

TEST(EraseFlow, TheProgrammersAnswerEndsTheRunItsOwnWay) {
  const struct {
    const char* name;
    SimErrorFault fault;
    const char* message;
    int ticksAtMost;
  } cases[] = {
      {"error code", {'E', "erase", kSimErrTargetErase, SimFaultAction::kError, 0}, "Can not erase the target!", 10},
      {"result byte not 0", {'E', "erase", 0x07, SimFaultAction::kAnswer, 0}, "Unknown error!", 10},
      // No result byte: the wait goes on until the time-out.
      {"no result byte", {'E', "erase", 0, SimFaultAction::kNoAnswer, 0}, "Time out error!", 102},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRig rig(test::kFiveBlocks);
    rig.programmer().faults().errors = {c.fault};
    EraseWindow window(rig);
    window.flow.setChecked(2, true);
    window.flow.setChecked(3, true);
    window.flow.ok();
    const int ticks = window.runOut();
    EXPECT_LE(ticks, c.ticksAtMost);
    EXPECT_THAT(rig.prompter.texts(), ElementsAre(c.message));
    EXPECT_EQ(rig.commands('E').size(), 1u) << "the run ends at the failed block";
    EXPECT_THAT(Ticks(window.flow.view()), ElementsAre(false, false, false, false, false));
    EXPECT_EQ(ResetPulses(rig), 1);
    EXPECT_FALSE(rig.programmer().errorRequestActive());
    EXPECT_TRUE(window.flow.view().toggleEnabled);
  }
}

// A bridge that refuses one chosen write and passes everything else on.
class RefusingBridge final : public Bridge {
public:
  explicit RefusingBridge(Bridge& inner) : inner_(inner) {}
  std::function<bool(const Bytes&)> refuse;
  int BridgeGetNumDevices(std::uint32_t& c) override { return inner_.BridgeGetNumDevices(c); }
  int BridgeGetProductString(std::uint32_t i, std::string& t, std::uint8_t s) override {
    return inner_.BridgeGetProductString(i, t, s);
  }
  int BridgeOpen(std::uint32_t i, BridgeHandle& h) override { return inner_.BridgeOpen(i, h); }
  int BridgeClose(BridgeHandle h) override { return inner_.BridgeClose(h); }
  int BridgeRead(BridgeHandle h, std::uint8_t* b, std::uint32_t n, std::uint32_t& got) override {
    return inner_.BridgeRead(h, b, n, got);
  }
  int BridgeWrite(BridgeHandle h, const std::uint8_t* b, std::uint32_t n, std::uint32_t& done) override {
    if (refuse && refuse(Bytes(b, b + n))) {
      refuse = nullptr;
      done = 0;
      return kBridgeWriteError;
    }
    return inner_.BridgeWrite(h, b, n, done);
  }
  int BridgeFlushBuffers(BridgeHandle h, std::uint8_t t, std::uint8_t r) override { return inner_.BridgeFlushBuffers(h, t, r); }
  int BridgeSetTimeouts(std::uint32_t r, std::uint32_t w) override { return inner_.BridgeSetTimeouts(r, w); }
  int BridgeCheckRxQueue(BridgeHandle h, std::uint32_t& c, std::uint32_t& s) override { return inner_.BridgeCheckRxQueue(h, c, s); }
  int BridgeSetBaudRate(BridgeHandle h, std::uint32_t b) override { return inner_.BridgeSetBaudRate(h, b); }
  int BridgeSetLineControl(BridgeHandle h, std::uint16_t l) override { return inner_.BridgeSetLineControl(h, l); }
  int BridgeSetFlowControl(BridgeHandle h, const FlowPattern& p) override { return inner_.BridgeSetFlowControl(h, p); }
  int BridgeGetModemStatus(BridgeHandle h, std::uint8_t& s) override { return inner_.BridgeGetModemStatus(h, s); }

private:
  Bridge& inner_;
};

TEST(EraseFlow, ACommandCutOffHalfWayEndsTheRunAndResetsSoTheNextCommandIsWhole) {
  MemoryRig rig(test::kFiveBlocks);
  RefusingBridge bridge(rig.main.tracing);
  // The page number of the first block does not go out; its command byte did.
  bridge.refuse = [](const Bytes& bytes) { return bytes.size() == 2 && bytes[0] == 0x24; };
  MemoryPorts ports = rig.ports();
  Protocol refusingLink(bridge, rig.main.pacer);
  MemoryPorts refusing{ports.state, refusingLink, ports.prompter, ports.clock, ports.dialogs};
  test::ManualTimers timers;
  EraseFlow flow(refusing);
  flow.open(timers);
  flow.setChecked(0, true);
  flow.setChecked(2, true);
  flow.ok();
  rig.main.clock.advanceUs(100'000);
  flow.onTimer(kTimerSubWindow);
  EXPECT_THAT(rig.prompter.texts(), ElementsAre(kMsgEraseNotSent));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  EXPECT_FALSE(timers.running(kTimerSubWindow));
  EXPECT_EQ(ResetPulses(rig), 1);
  EXPECT_EQ(rig.commands('E').size(), 1u) << "no command for Block 0 after the cut-off one";
  EXPECT_TRUE(flow.view().toggleEnabled);

  // The programmer took nothing half: the next run erases both blocks.
  flow.setChecked(0, true);
  flow.setChecked(2, true);
  rig.prompter.answerNext(MsgAnswer::Yes);
  flow.ok();
  for (int t = 0; t < 100 && !flow.ended(); ++t) {
    rig.main.clock.advanceUs(100'000);
    flow.onTimer(kTimerSubWindow);
  }
  EXPECT_EQ(flow.result(), FlowResult::Ok);
  EXPECT_TRUE(Erased(rig, 0x24) && Erased(rig, 0xD0));
}

TEST(EraseFlow, WithoutTheDatabaseTheListIsEmptyAndOkSaysNothingIsSelected) {
  MemoryRig rig(test::kFiveBlocks);
  rig.main.dir.write(kDeviceDatabaseFileName, "");
  std::filesystem::remove(rig.main.dir.path(kDeviceDatabaseFileName));
  EraseWindow window(rig);
  EXPECT_TRUE(window.flow.view().rows.empty());
  window.flow.ok();
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("Can not find MCU file!", "No block is selected."));
  EXPECT_EQ(rig.prompter.messages()[1].caption, "WARNING");
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
}

TEST(EraseFlow, TheCloseBoxEndsARunAtItsNextTick) {
  MemoryRig rig(test::kFiveBlocks);
  EraseWindow window(rig);
  window.flow.setChecked(2, true);
  window.flow.setChecked(3, true);
  window.flow.ok();
  window.tick();
  window.flow.closeBox();
  EXPECT_FALSE(window.flow.ended()) << "the command under way is the step's to end";
  window.tick();
  EXPECT_EQ(window.flow.result(), FlowResult::Cancel);
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
  EXPECT_EQ(rig.commands('E').size(), 1u);
}

TEST(EraseOperation, ConnectsFirstAndResetsWithTheMarkAfterwardsWhateverHappened) {
  const struct {
    const char* name;
    bool productChosen;
    int eraseWindows;
  } cases[] = {{"erased", true, 1}, {"no product", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRig rig(test::kFiveBlocks);
    rig.state.targetConnected = 0;
    if (!c.productChosen) rig.state.productNumber = ProductKey(kNotSelect);
    rig.host.script<EraseFlow>([](EraseFlow& f) {
      f.setChecked(4, true);
      f.ok();
    });
    rig.prompter.answerNext(MsgAnswer::Yes);
    std::vector<std::string> seen;
    const EraseResult result = RunErase(rig.ports(), [&](const EraseFlow& f) { seen = f.erasedBlocks(); });
    EXPECT_EQ(rig.host.count("Erase"), c.eraseWindows);
    EXPECT_EQ(result.window, c.productChosen ? FlowResult::Ok : FlowResult::Cancel);
    EXPECT_EQ(result.ok(), c.productChosen);
    EXPECT_EQ(result.erased, seen) << "the result names the blocks the window erased";
    const auto writes = rig.writes();
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back(), (Bytes{'L', 0x02})) << "the reset ends with the select mark";
    EXPECT_EQ(ResetPulses(rig), 1);
    if (c.productChosen) {
      EXPECT_EQ(rig.commands('C').size(), 1u) << "connected once, before the window";
      EXPECT_THAT(seen, ElementsAre("Block 2"));
    } else {
      EXPECT_THAT(rig.prompter.texts(), ElementsAre("No product is selected."));
      EXPECT_TRUE(rig.commands('E').empty());
    }
  }
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST(EraseFlow, ABlockWhoseStartAddressIsNotHexIsRefusedBeforeAnythingIsSent) {
  MemoryRig rig(test::kBadAddress);
  EraseWindow window(rig);
  ASSERT_EQ(window.flow.view().rows.size(), 2u);
  window.flow.setChecked(0, true);
  window.flow.setChecked(1, true);
  window.flow.ok();
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("Can not read the start address of Block 1 from the MCU file!"));
  EXPECT_TRUE(rig.writes().empty());  // no erase of page FFFF, nor of Block 0 before it
  EXPECT_EQ(Ticks(window.flow.view()), (std::vector<bool>{true, true}));
  EXPECT_FALSE(window.flow.view().running);
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
  // Block 0 alone is erased as usual.
  window.flow.setChecked(1, false);
  window.flow.ok();
  window.runOut();
  EXPECT_TRUE(Erased(rig, 0xE0));
}

TEST(EraseFlow, EraseAndReadSendNothingWhenTheProductsLineCannotBeRead) {
  const struct {
    const char* name;
    void (*arrange)(MemoryRig&);
    std::string message;
  } cases[] = {
      {"DatabaseGone", [](MemoryRig& r) { std::filesystem::remove(r.main.dir.path(kDeviceDatabaseFileName)); },
       kMcuFileMissingText},
      {"ProductNotInIt", [](MemoryRig& r) { r.state.productNumber = ProductKey("ZK40GONE"); },
       "Can not find the product ZK40GONE in the MCU file!"},
  };
  for (const auto& c : cases) {
    for (const bool erase : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (erase ? " erase" : " read"));
      MemoryRig rig;
      c.arrange(rig);
      const MemoryEnd end = erase ? RunErase(rig.ports()).end : RunRead(rig.ports()).end;
      EXPECT_EQ(end, MemoryEnd::SetupUnreadable);
      EXPECT_THAT(rig.prompter.texts(), ElementsAre(c.message));
      EXPECT_TRUE(rig.main.tracing.entries().empty());  // not even the connection or a reset
      EXPECT_EQ(rig.host.count(kEraseTitle) + rig.host.count(kAddrTitle), 0);
    }
  }
}

}  // namespace
}  // namespace fd
