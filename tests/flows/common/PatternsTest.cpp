// The two shapes every window follows: a modal flow run to its end by a host, and a long
// operation advanced one step a tick with its progress, remaining time and cancel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/common/LongOperation.h"
#include "flows/common/ScriptedHost.h"
#include "link/Clock.h"

namespace fd {
namespace {

using ::testing::ElementsAre;

// Counts to `units` one unit a tick, each tick 10 ms after the last; refuses the close
// box after the third unit, as a window that must not be left half-done would.
class CountingOperation final : public LongOperation {
public:
  CountingOperation(Clock& clock, std::uint64_t units, Clock* stepCost = nullptr)
      : LongOperation(clock, kTimerSubWindow), units_(units), stepCost_(stepCost) {}
  std::string title() const override { return "Counting"; }
  void closeBox() override {
    if (estimate().done() < 3) cancel();
  }
  std::vector<std::uint64_t> ticksAtUs;

private:
  void onOpen() override {
    estimate().begin(units_);
    startSteps(1, 0);
  }
  Next runStep(int step) override {
    ticksAtUs.push_back(clock().nowUs());
    if (cancelRequested()) {
      end(FlowResult::Cancel);
      return {};
    }
    if (stepCost_) static_cast<VirtualClock*>(stepCost_)->advanceUs(4000);  // the step's own exchange
    estimate().advance(static_cast<std::uint64_t>(step));
    if (static_cast<std::uint64_t>(step) == units_) end(FlowResult::Ok);
    return {step + 1, 10, stepCost_ == nullptr};
  }
  std::uint64_t units_;
  Clock* stepCost_;
};

TEST(LongOperation, RunsToTheEndOneStepATickWithProgressAndTime) {
  VirtualClock clock;
  ScriptedHost host(clock);
  CountingOperation op(clock, 5);
  int lastPercent = -1;
  std::vector<int> percents;
  host.afterTick = [&](ModalFlow&) {
    if (op.progress().percent() != lastPercent) percents.push_back(lastPercent = op.progress().percent());
  };
  EXPECT_EQ(host.run(op), FlowResult::Ok);
  EXPECT_THAT(percents, ElementsAre(20, 40, 60, 80, 100));
  EXPECT_THAT(op.ticksAtUs, ElementsAre(0, 10000, 20000, 30000, 40000));
  EXPECT_THAT(host.runs(), ElementsAre("Counting"));
}

TEST(LongOperation, ATimerStoppedForTheStepCountsItsPeriodFromTheStepsEnd) {
  VirtualClock clock;
  ScriptedHost host(clock);
  CountingOperation op(clock, 3, &clock);
  EXPECT_EQ(host.run(op), FlowResult::Ok);
  // Each step costs 4 ms; the next tick comes 10 ms after it ends.
  EXPECT_THAT(op.ticksAtUs, ElementsAre(0, 14000, 28000));
}

TEST(LongOperation, RemainingTimeFollowsThePaceSoFar) {
  VirtualClock clock;
  ProgressEstimate estimate(clock);
  estimate.begin(10);
  EXPECT_FALSE(estimate.remainingMs()) << "nothing to go by before the first unit";
  clock.advanceUs(2'000'000);
  estimate.advance(4);
  ASSERT_TRUE(estimate.remainingMs());
  EXPECT_EQ(*estimate.remainingMs(), 3000u);
  EXPECT_EQ(estimate.percent(), 40);
  estimate.advance(12);  // never past the total
  EXPECT_EQ(estimate.percent(), 100);
  EXPECT_EQ(*estimate.remainingMs(), 0u);
}

TEST(LongOperation, CancelIsTakenAtTheNextTickAndTheCloseBoxCanBeRefused) {
  VirtualClock clock;
  {
    ScriptedHost host(clock);
    int ticks = 0;
    host.interrupted = [&] { return ++ticks == 3; };  // Ctrl-C before the third tick
    CountingOperation op(clock, 10);
    EXPECT_EQ(host.run(op), FlowResult::Cancel);
    EXPECT_EQ(op.progress().done(), 2u);
  }
  {
    ScriptedHost host(clock);
    int ticks = 0;
    host.interrupted = [&] { return ++ticks == 5; };  // too late: the window refuses
    CountingOperation op(clock, 6);
    EXPECT_EQ(host.run(op), FlowResult::Ok);
    EXPECT_EQ(op.progress().done(), 6u);
  }
}

// A window that waits for a click: the script clicks, or the host closes it.
class AskingFlow final : public ModalFlow {
public:
  std::string title() const override { return "Asking"; }
  void answer() { end(FlowResult::Ok); }
  int opened = 0;

private:
  void onOpen() override { ++opened; }
};

TEST(ScriptedHost, AScriptAnswersTheWindowAndWithoutOneItIsClosed) {
  VirtualClock clock;
  ScriptedHost host(clock);
  AskingFlow first;
  EXPECT_EQ(host.run(first), FlowResult::Cancel);
  host.script<AskingFlow>([](AskingFlow& f) { f.answer(); });
  AskingFlow second;
  EXPECT_EQ(host.run(second), FlowResult::Ok);
  EXPECT_EQ(second.opened, 1);
  EXPECT_EQ(host.count("Asking"), 2);
}

TEST(TimerLoop, TicksNeverPileUpBehindASlowHandler) {
  VirtualClock clock;
  TimerLoop timers(clock);
  timers.start(kTimerGangRun, 100);
  timers.start(kTimerDetection, 250);
  std::vector<std::pair<int, std::uint64_t>> fired;
  for (int i = 0; i < 4; ++i) {
    const int id = timers.waitNext();
    fired.emplace_back(id, clock.nowUs() / 1000);
    if (i == 1) clock.advanceUs(300'000);  // a handler that took 300 ms
  }
  EXPECT_THAT(fired, ElementsAre(std::pair<int, std::uint64_t>{kTimerGangRun, 100},
                                 std::pair<int, std::uint64_t>{kTimerGangRun, 200},
                                 std::pair<int, std::uint64_t>{kTimerDetection, 500},
                                 std::pair<int, std::uint64_t>{kTimerGangRun, 500}));
  timers.stopAll();
  EXPECT_EQ(timers.waitNext(), -1);
}

}  // namespace
}  // namespace fd
