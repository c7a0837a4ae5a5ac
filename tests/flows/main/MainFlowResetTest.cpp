// The main window resets its programmers together (detection, Back's gang record and
// re-detection, close): each programmer, taken alone, sees what the window sent it when it
// took them one after another, and the failures say the same things in the same order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "flows/main/MainFlow.h"
#include "support/MainRig.h"
#include "support/SequentialReference.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using test::MainRig;
using test::SequentialMainWindow;
using test::TraceOf;

// One letter a programmer: 'o' a good one, 'b' stays busy after every reset, 'i' never
// answers 'I'.
void Attach(MainRig& rig, const std::string& letters) {
  for (std::size_t i = 0; i < letters.size(); ++i) {
    SimProgrammerSetup setup = test::ReadyProgrammer("ZK40F8C12", "app" + std::to_string(i), 1000);
    setup.faults.busyAfterReset = letters[i] == 'b';
    if (letters[i] == 'i') setup.faults.busyAfterCommands = "I";
    rig.bench.attach(setup);
  }
}

std::set<BridgeHandle> OpenedHandles(const TracingBridge& tracing) {
  std::set<BridgeHandle> handles;
  for (const TraceEntry& e : tracing.entries()) {
    if (e.op == TraceEntry::Op::Open && e.status == kBridgeOk) handles.insert(e.handle);
  }
  return handles;
}

// Both benches saw the same handles, and each handle the same calls in the same order.
void ExpectSameTracesPerProgrammer(const TracingBridge& together, const TracingBridge& oneByOne) {
  std::set<BridgeHandle> handles;
  for (const auto* tracing : {&together, &oneByOne}) {
    for (const TraceEntry& e : tracing->entries()) {
      if (e.handle != kNoHandle) handles.insert(e.handle);
    }
  }
  ASSERT_FALSE(handles.empty());
  for (const BridgeHandle h : handles) {
    EXPECT_EQ(TraceOf(together, h), TraceOf(oneByOne, h)) << "programmer of handle " << h;
  }
}

TEST(MainFlowResets, DetectionSendsEachProgrammerWhatItSentItOneByOne) {
  const struct {
    const char* name;
    std::string programmers;
    std::size_t rows;
  } cases[] = {
      {"one", "o", 1},
      {"eight", "oooooooo", 8},
      {"one stays in reset, one does not answer 'I'", "oboio", 3},
      {"eight, two stay in reset", "boooooob", 6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MainRig together;
    MainRig oneByOne;
    Attach(together, c.programmers);
    Attach(oneByOne, c.programmers);
    together.flow().open();
    SequentialMainWindow reference(oneByOne.tracing, oneByOne.pacer);
    reference.detect();

    ExpectSameTracesPerProgrammer(together.tracing, oneByOne.tracing);
    EXPECT_EQ(OpenedHandles(together.tracing), OpenedHandles(oneByOne.tracing));
    ASSERT_EQ(together.view().rows.size(), c.rows);
    ASSERT_EQ(reference.handles.size(), c.rows);
    for (std::size_t r = 0; r < c.rows; ++r) EXPECT_EQ(together.flow().handles()[r], reference.handles[r]);
    // Only a failed reset speaks, once for each programmer that stays in reset.
    EXPECT_EQ(together.prompter.texts(), reference.messages);
    EXPECT_EQ(together.prompter.texts().size(), static_cast<std::size_t>(std::count(
                                                    c.programmers.begin(), c.programmers.end(), 'b')));
    EXPECT_EQ(together.pacer.count(kResetSpin), 1);
  }
}

// A gang run of four (01 succeeds, 02 fails its ID check, 03 succeeds, 04 stays out) that
// has reached the result view; 03 will not come out of reset any more.
void RunToResultView(MainRig& rig) {
  rig.bench.attach(test::ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.bench.attach(test::WrongIdProgrammer("ZK40G16B", "motor_ctl", 2000));
  rig.bench.attach(test::ReadyProgrammer("ZK40H128R1", "sensor_v2", 2000));
  rig.bench.attach(test::ReadyProgrammer("ZK40F8C12", "spare", 2000));
  rig.flow().open();
  rig.flow().setChecked(3, false);
  rig.flow().startButton();
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  rig.bench.programmer(2).faults().busyAfterReset = true;
  rig.tracing.clear();
  rig.pacer.clearCounts();
}

TEST(MainFlowResets, BackAndCloseSendEachProgrammerWhatTheySentItOneByOne) {
  MainRig together;
  MainRig oneByOne;
  RunToResultView(together);
  RunToResultView(oneByOne);

  together.flow().startButton();  // Back: the gang record, then a rebuild
  together.flow().close();

  SequentialMainWindow reference(oneByOne.tracing, oneByOne.pacer);
  const auto& rows = oneByOne.flow().handles();
  reference.handles.assign(rows.begin(), rows.begin() + 4);
  reference.recordResets({1, 1, 1, 0});
  reference.detect(oneByOne.flow().selectedRow());
  reference.close();

  ExpectSameTracesPerProgrammer(together.tracing, oneByOne.tracing);
  EXPECT_EQ(together.prompter.texts(), reference.messages);
  EXPECT_THAT(together.prompter.texts(), ElementsAre("Can not reset the programmer!"));
  EXPECT_NE(together.history().find("\r\nNo.02 | ZK40G16B     | motor_ctl       .mot | ID code is not match!"
                                    "\r\nNo.03Reset error!!!\r\nNo.04 | N.A.\r\n"),
            std::string::npos)
      << together.history();
  // One pulse each for the record, the rebuild and the close.
  EXPECT_EQ(together.pacer.count(kResetSpin), 3);
}

TEST(MainFlowResets, AProgrammerUnpluggedMidResetGetsNoRowAndTheOthersAreListed) {
  const std::uint64_t moments[] = {kResetSpin, kPollSpin};
  for (const std::uint64_t moment : moments) {
    SCOPED_TRACE(moment == kResetSpin ? "during the pulse" : "while it is still busy");
    MainRig rig;
    Attach(rig, "ooo");
    bool unplugged = false;
    rig.pacer.beforeSpin = [&](std::uint64_t iterations) {
      if (iterations == moment && !unplugged) unplugged = rig.bench.detach(1);
    };
    rig.flow().open();
    ASSERT_TRUE(unplugged);
    ASSERT_EQ(rig.view().rows.size(), 2u);
    EXPECT_EQ(rig.view().rows[0].cells[1], "app0            ");
    EXPECT_EQ(rig.view().rows[1].cells[1], "app2            ");
    EXPECT_EQ(rig.view().statusText, "2 programmers are detected");
    EXPECT_THAT(rig.prompter.texts(), ElementsAre("Can not reset the programmer!"));

    // The next tick sees one device fewer and lists the same two, without a word.
    rig.tick(kTimerDetection);
    EXPECT_EQ(rig.view().rows.size(), 2u);
    EXPECT_EQ(rig.prompter.texts().size(), 1u);
    rig.bench.reattach(1);
    rig.tick(kTimerDetection);
    EXPECT_EQ(rig.view().rows.size(), 3u);
  }
}

}  // namespace
}  // namespace fd
