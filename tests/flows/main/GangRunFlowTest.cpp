// The gang run as a long operation run by a runner (as the command line runs it): Start
// returns once it has ended, a stop request ends it as Cancel would, and its progress
// follows the programmers.
#include "flows/main/GangRunFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/common/ScriptedHost.h"
#include "flows/main/MainFlow.h"
#include "support/MainRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using test::MainRig;
using test::ReadyProgrammer;

class GangRunner : public ::testing::Test {
protected:
  // 01 succeeds, 02 fails its ID check, 03 never finishes unless `stuck` is left out.
  void attach(bool withStuck) {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.bench.attach(test::WrongIdProgrammer("ZK40G16B", "motor_ctl", 2000));
    if (withStuck) {
      auto stuck = ReadyProgrammer("ZK40H128R1", "sensor_v2", 2000);
      stuck.faults.busyAfterCommands = std::string(1, 'S');  // busy for ever after its start
      rig.bench.attach(stuck);
    }
    rig.runner = &host;
    host.afterTick = [this](ModalFlow& flow) {
      ++ticks;
      const auto* run = dynamic_cast<GangRunFlow*>(&flow);
      ASSERT_NE(run, nullptr);
      percents.push_back(run->progress().percent());
      results.push_back(flow.result());
    };
    rig.flow().open();
  }
  MainRig rig;
  ScriptedHost host{rig.clock};
  int ticks = 0;
  std::vector<int> percents;
  std::vector<FlowResult> results;
};

TEST_F(GangRunner, StartReturnsOnceTheRunEndedWithTheResultViewAndProgressToTheEnd) {
  attach(false);
  rig.flow().startButton();
  EXPECT_THAT(host.runs(), ElementsAre("Gang E.P.V"));
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_GT(ticks, 10);  // one poll round a tick, erasing and programming take a while
  // The run's ticks came on the runner's timers, not the window's; detection waits.
  EXPECT_FALSE(rig.timers.running(kTimerGangRun));
  EXPECT_FALSE(rig.timers.running(kTimerDetection));
  EXPECT_EQ(results.back(), FlowResult::Ok);
  // The progress never goes back, and is whole only at the end.
  ASSERT_FALSE(percents.empty());
  for (std::size_t i = 1; i < percents.size(); ++i) EXPECT_LE(percents[i - 1], percents[i]) << i;
  EXPECT_EQ(percents.back(), 100);
  EXPECT_LT(percents.front(), 100);

  const MainView& view = rig.view();
  EXPECT_THAT(view.rows[0].cells, ElementsAre("E.P.V is successfully completed.", "Successful end"));
  EXPECT_THAT(view.rows[1].cells, ElementsAre("Break during ID check!", "ID not match"));
  EXPECT_THAT(rig.flow().resultCodes(), ElementsAre(0x00, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));

  rig.flow().startButton();  // Back
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_THAT(rig.history(), ::testing::HasSubstr("No.02 | ZK40G16B     | motor_ctl       .mot | ID code is not match!"));
}

TEST_F(GangRunner, AStopRequestEndsTheRunAsCancelWouldAndHoldsTheProgrammerStillRunning) {
  attach(true);
  // A signal or a time-out comes once 01 and 02 have ended; 03 would run for ever.
  int stoppedAt = -1;
  host.interrupted = [&] {
    const bool stop = ticks > 0 && !rig.view().rows[0].checked && !rig.view().rows[1].checked;
    if (stop && stoppedAt < 0) stoppedAt = ticks;
    return stop;
  };
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  const MainView& view = rig.view();
  EXPECT_THAT(view.rows[0].cells, ElementsAre("E.P.V is successfully completed.", "Successful end"));
  EXPECT_THAT(view.rows[2].cells, ElementsAre("Break due to clicking cancel!", "Cancel"));
  EXPECT_EQ(view.startCaption, "&Back");
  for (const auto& bar : view.progress) EXPECT_FALSE(bar.visible);
  // Ended by the stop at once: no tick came after it.
  EXPECT_EQ(ticks, stoppedAt);
  // The programmer still running is stopped, not left programming behind a "Cancel".
  EXPECT_TRUE(rig.bench.programmer(2).heldInReset());
  const std::vector<RowResult> rows = rig.flow().results();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_TRUE(rows[0].succeeded());
  EXPECT_FALSE(rows[2].succeeded());
  EXPECT_TRUE(rows[2].started);
}

// In the window, the same run goes on in the list: Start returns at once and the window's
// own timer 130 ticks it.
TEST(GangRunInTheList, StartReturnsAtOnceAndTheWindowsTimerTicksTheRun) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.flow().open();
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_TRUE(rig.timers.running(kTimerGangRun));
  EXPECT_GT(rig.runToResult(), 10);
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_FALSE(rig.timers.running(kTimerGangRun));
  EXPECT_EQ(rig.flow().resultCodes()[0], 0x00);
}

}  // namespace
}  // namespace fd
