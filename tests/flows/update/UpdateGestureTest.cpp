// The hidden gesture on the main window's list: which click sequences open the update mode,
// what detection does around it, and the programmer whose jumpers are set as detection
// sees it.
#include <gtest/gtest.h>

#include "app/Startup.h"
#include "flows/main/MainFlow.h"
#include "flows/update/UpdateRig.h"
#include "support/ManualTimers.h"
#include "support/RecordingOpener.h"

namespace fd::test {
namespace {

struct GestureRig : UpdateRig {
  GestureRig() {
    state.appDir = dir.dir();
    RunStartupHeadless(state);
  }
  MainFlow& flow() {
    if (!flow_) {
      flow_ = std::make_unique<MainFlow>(MainFlowPorts{state, tracing, pacer, prompter, timers, opener,
                                                       [] { return LocalTime{2026, 1, 2, 3, 4, 5}; }, &dialogs, &clock});
      flow_->open();
    }
    return *flow_;
  }
  // 'D' double-click, 'R' right-click, 'T' a detection tick.
  void play(const std::string& clicks) {
    for (char c : clicks) {
      if (c == 'D') flow().listDoubleClick();
      if (c == 'R') flow().listRightClick();
      if (c == 'T') {
        clock.advanceUs(200000);
        flow().onTimer(kTimerDetection);
      }
    }
  }
  bool updateModeOpened() const {
    const auto shown = prompter.texts();
    return std::find(shown.begin(), shown.end(), kMsgEnterUpdateMode) != shown.end();
  }

  ManualTimers timers;
  RecordingOpener opener;
  std::unique_ptr<MainFlow> flow_;
};

TEST(UpdateGesture, OnlyTheWholeGestureOnTheEmptyListOpensTheUpdateMode) {
  struct Case {
    const char* clicks;
    bool rows;  // a programmer is listed
    bool opens;
  };
  for (const Case& c : {
           Case{"DRD", false, true},
           Case{"DRTTTTTTTD", false, true},   // the seventh tick after the first click
           Case{"DRTTTTTTTTD", false, false},  // the eighth tick forgot it
           Case{"DTTTTTTTRD", false, true},
           Case{"DTTTTTTTTRD", false, false},
           Case{"RDD", false, false},          // right-click first
           Case{"DD", false, false},           // no right-click
           Case{"DRR", false, false},
           Case{"DDRD", false, true},          // the second double-click starts it again
           Case{"DRD", true, false},           // a list with a row only clears it
       }) {
    SCOPED_TRACE(c.clicks + std::string(c.rows ? " on a list with a row" : ""));
    GestureRig rig;
    rig.attach(c.rows ? SimProgrammerSetup{} : Jumpered());
    rig.play(c.clicks);
    EXPECT_EQ(rig.updateModeOpened(), c.opens);
    if (c.rows) {
      EXPECT_EQ(rig.flow().gestureCounter(), 0);
    }
    if (c.opens) {
      // Whatever the outcome (the file choice was cancelled here), detection runs again
      // with the gesture forgotten.
      EXPECT_EQ(rig.flow().gestureCounter(), 0);
      EXPECT_TRUE(rig.timers.running(kTimerDetection));
      EXPECT_EQ(rig.timers.period(kTimerDetection), 200);
    }
  }
}

TEST(UpdateGesture, ARowClearsAGestureBegunOnTheEmptyList) {
  GestureRig rig;
  rig.flow();
  rig.play("DR");
  EXPECT_EQ(rig.flow().gestureCounter(), 2);
  rig.attach(SimProgrammerSetup{});
  rig.play("T");
  ASSERT_EQ(rig.flow().view().rows.size(), 1u);
  EXPECT_EQ(rig.flow().gestureCounter(), 2 + 256);
  rig.play("D");
  EXPECT_EQ(rig.flow().gestureCounter(), 0);
  EXPECT_FALSE(rig.updateModeOpened());
}

TEST(UpdateGesture, AJumperedProgrammerFailsItsResetOnceAndTheUpdateRunsFromTheEmptyList) {
  GestureRig rig;
  rig.attach();
  Bytes data;
  rig.chooseFile(FirmwareFile(0x1000 - 4, 4, &data));
  rig.flow();
  rig.play("TTT");
  EXPECT_TRUE(rig.flow().view().rows.empty());
  EXPECT_EQ(rig.prompter.texts(), (std::vector<std::string>{"Can not reset the programmer!"}));

  rig.prompter.clear();
  rig.play("DRD");
  EXPECT_EQ(rig.prompter.texts(), (std::vector<std::string>{kMsgEnterUpdateMode, kMsgUpdated}));
  EXPECT_EQ(rig.dialogs.count(kUpdatingTitle), 1);
  EXPECT_EQ(rig.bench.programmer(0).setup().firmware.size(), 4u);
  EXPECT_EQ(rig.state.currentHandle, kNoHandle);
  // The boot loader link is closed and detection, once back, leaves the programmer alone
  // while it stays plugged in.
  const auto opens = rig.count(TraceEntry::Op::Open);
  rig.play("TT");
  EXPECT_EQ(rig.count(TraceEntry::Op::Open), opens);
  EXPECT_TRUE(rig.timers.running(kTimerDetection));
}

TEST(UpdateGesture, TwoProgrammersAreToldAndDetectionResumes) {
  GestureRig rig;
  rig.attach();
  rig.attach();
  rig.flow();
  rig.prompter.clear();
  rig.play("DRD");
  EXPECT_EQ(rig.prompter.texts(), (std::vector<std::string>{kMsgEnterUpdateMode, kMsgSeveralProgrammers}));
  EXPECT_EQ(rig.dialogs.count(kUpdatingTitle), 0);
  EXPECT_TRUE(rig.timers.running(kTimerDetection));
  EXPECT_EQ(rig.flow().gestureCounter(), 0);
}

}  // namespace
}  // namespace fd::test
