// The main window on a production line: the session's counts under the list, the run key
// that a foot switch types, and operator mode.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/RunLog.h"
#include "flows/main/MainFlow.h"
#include "support/MainRig.h"

namespace fd {
namespace {

using test::MainRig;
using test::ReadyProgrammer;

// 01 and 03 succeed, 02 fails its ID check.
class MainFlowLine : public ::testing::Test {
protected:
  void SetUp() override {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.bench.attach(test::WrongIdProgrammer("ZK40G16B", "motor_ctl", 2000));
    rig.bench.attach(ReadyProgrammer("ZK40H128R1", "sensor_v2", 2000));
  }
  void run() {
    rig.flow().startButton();
    rig.runToResult();
    ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  }
  SessionCounts counts() { return rig.flow().sessionCounts(); }
  MainRig rig;
};

TEST(SessionCountsLine, IsTheLineBothProgramsPrint) {
  EXPECT_EQ(SessionCountsLine({}), "Passed: 0  Failed: 0  Total: 0");
  EXPECT_EQ(SessionCountsLine({7, 1}), "Passed: 7  Failed: 1  Total: 8");
  EXPECT_EQ(SessionCountsLine({1234, 56}), "Passed: 1234  Failed: 56  Total: 1290");
}

TEST_F(MainFlowLine, CountsGrowAsEachRunsResultsShowAndResetZeroesThem) {
  // Counted whether or not the run log is kept.
  SettingsFile(rig.dir.path(kSettingsFileName)).write(kSectionRunLog, kKeySaveRunLog, "0");
  rig.flow().open();
  EXPECT_EQ(counts(), (SessionCounts{0, 0}));
  EXPECT_EQ(rig.view().countsLine, "Passed: 0  Failed: 0  Total: 0");

  rig.flow().startButton();
  rig.tick(kTimerGangRun);
  EXPECT_EQ(counts().total(), 0) << "nothing is counted before the results show";
  EXPECT_FALSE(rig.flow().canResetSessionCounts());
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_EQ(counts(), (SessionCounts{2, 1}));
  EXPECT_EQ(rig.view().countsLine, "Passed: 2  Failed: 1  Total: 3");
  EXPECT_FALSE(rig.dir.exists(kRunLogFileName));

  rig.flow().startButton();  // Back counts nothing more
  EXPECT_EQ(counts(), (SessionCounts{2, 1}));
  // The second run adds to the first; an unticked row takes no part and is not counted.
  rig.flow().setChecked(2, false);
  run();
  EXPECT_EQ(counts(), (SessionCounts{3, 2}));
  EXPECT_EQ(rig.view().countsLine, "Passed: 3  Failed: 2  Total: 5");

  ASSERT_TRUE(rig.flow().canResetSessionCounts());  // on the result view too
  rig.flow().resetSessionCounts();
  EXPECT_EQ(counts(), (SessionCounts{0, 0}));
  EXPECT_EQ(rig.view().countsLine, "Passed: 0  Failed: 0  Total: 0");
  rig.flow().startButton();  // Back
  run();
  EXPECT_EQ(counts(), (SessionCounts{1, 1}));
}

TEST_F(MainFlowLine, ResetIsRefusedWhileARunIsRunning) {
  rig.flow().open();
  run();
  rig.flow().startButton();  // Back
  rig.flow().startButton();  // Start
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Running);
  rig.flow().resetSessionCounts();
  rig.runToResult();
  EXPECT_EQ(counts(), (SessionCounts{4, 2}));
}

// A row canceled before it answered, and a row whose start never reached its programmer,
// were not programmed: both count as failed.
TEST(MainFlowCounts, ACanceledRowAndARowThatCouldNotStartCountAsFailed) {
  MainRig rig;
  for (int i = 0; i < 3; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.flow().open();
  SimProgrammer& dead = rig.bench.programmer(2);
  dead.faults().linkLostAfter = dead.bytesMoved() + 2;
  rig.flow().startButton();
  for (int i = 0; i < 3; ++i) rig.tick(kTimerGangRun);
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Running);
  rig.flow().startButton();  // Cancel
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_EQ(rig.flow().sessionCounts(), (SessionCounts{0, 3}));
  EXPECT_EQ(rig.view().countsLine, "Passed: 0  Failed: 3  Total: 3");
}

TEST_F(MainFlowLine, TheRunKeyStartsAndGoesBackButNeverCancels) {
  rig.flow().open();
  rig.flow().runKey();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Running);
  rig.tick(kTimerGangRun);
  // A second press, or a bouncing switch, while the run goes on: the run goes on.
  for (int i = 0; i < 3; ++i) rig.flow().runKey();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Running);
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_TRUE(rig.flow().results()[0].succeeded());
  EXPECT_TRUE(rig.flow().results()[2].succeeded());
  rig.flow().runKey();  // Back
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_EQ(rig.view().startCaption, "&Start");
  rig.flow().runKey();  // the next run
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_TRUE(rig.prompter.messages().empty());
}

TEST_F(MainFlowLine, TheRunKeyMakesStartsChecks) {
  rig.flow().open();
  for (int r = 0; r < 3; ++r) rig.flow().setChecked(r, false);
  rig.flow().runKey();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_THAT(rig.prompter.texts(), ::testing::ElementsAre(kMsgNoProgrammerSelected));
}

TEST(MainFlowRunKey, DoesNothingWhereStartCannotBePressed) {
  MainRig rig;  // nothing attached: Start is disabled
  rig.flow().open();
  ASSERT_FALSE(rig.view().startEnabled);
  rig.tracing.clear();
  rig.flow().runKey();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_TRUE(rig.prompter.messages().empty());
  EXPECT_TRUE(rig.tracing.entries().empty());
}

TEST(MainFlowRunKey, ReadsItsKeyFromTheSettings) {
  MainRig rig;
  EXPECT_EQ(rig.flow().runKeySetting(), "");
  SettingsFile(rig.dir.path(kSettingsFileName)).write(kSectionMainWindow, kKeyRunKey, "F9");
  EXPECT_EQ(rig.flow().runKeySetting(), "F9");
}

// The setting is the desktop's: the flow follows what its ports ask for, so a command
// line working in the same folder keeps every command.
TEST(MainFlowOperatorMode, FollowsItsPortsNotTheSetting) {
  for (const bool asked : {false, true}) {
    MainRig rig;
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    SettingsFile(rig.dir.path(kSettingsFileName)).write(kSectionMainWindow, kKeyOperatorMode, "1");
    rig.operatorMode = asked;
    rig.flow().open();
    EXPECT_EQ(rig.flow().operatorMode(), asked);
    EXPECT_EQ(rig.view().operatorMode, asked);
    rig.flow().selectRow(0);
    rig.flow().offlineSet();
    EXPECT_EQ(rig.prompter.texts().size(), asked ? 0u : 1u) << "Off-line Set reached the window's opening: " << !asked;
  }
}

// Two programmers with one product, the first selected, both ticked: every set-up action
// would be offered outside operator mode.
class MainFlowOperator : public ::testing::Test {
protected:
  void SetUp() override {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.portClock = &rig.clock;
    rig.operatorMode = true;
    rig.flow().open();
    rig.flow().selectRow(0);
    rig.tracing.clear();
  }
  MainRig rig;
};

TEST_F(MainFlowOperator, RefusesTheSetUpActionsUntilTheModeIsLeft) {
  const std::string settingsBefore = rig.dir.read(kSettingsFileName);
  ASSERT_TRUE(rig.flow().operatorMode());
  EXPECT_FALSE(rig.flow().canSetUpTickedLikeSelected());
  EXPECT_FALSE(rig.flow().canLoadFileToTicked());
  rig.flow().offlineSet();
  rig.flow().onlineTest();
  rig.flow().setUpTickedLikeSelected();
  rig.flow().loadFileToTicked();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_TRUE(rig.prompter.messages().empty());
  EXPECT_TRUE(rig.prompter.openChoices().empty()) << "no file is asked for";
  EXPECT_TRUE(rig.tracing.entries().empty()) << "nothing is sent to a programmer";
  // A line operator's work is not refused: the run, its counts, the reset.
  rig.flow().runKey();
  rig.runToResult();
  EXPECT_EQ(rig.flow().sessionCounts(), (SessionCounts{2, 0}));
  EXPECT_TRUE(rig.flow().canResetSessionCounts());
  rig.flow().startButton();  // Back
  rig.flow().selectRow(0);

  rig.flow().leaveOperatorMode();
  EXPECT_FALSE(rig.flow().operatorMode());
  EXPECT_FALSE(rig.view().operatorMode);
  EXPECT_TRUE(rig.flow().canSetUpTickedLikeSelected());
  EXPECT_TRUE(rig.flow().canLoadFileToTicked());
  rig.flow().offlineSet();  // reached: this rig has no Single Operation window to open
  EXPECT_THAT(rig.prompter.texts(), ::testing::ElementsAre(kMsgSingleOperationNotBuilt));
  // For this session only: the settings are as they were.
  EXPECT_EQ(rig.dir.read(kSettingsFileName), settingsBefore);
}

TEST(MainFlowOperatorMode, TheFirmwareUpdateGestureTakesNoStep) {
  for (const bool operatorMode : {false, true}) {
    MainRig rig;  // the empty list, where the gesture is made
    rig.operatorMode = operatorMode;
    rig.flow().open();
    rig.flow().listDoubleClick();
    rig.flow().listRightClick();
    EXPECT_EQ(rig.flow().gestureCounter() != 0, !operatorMode) << operatorMode;
  }
}

}  // namespace
}  // namespace fd
