#pragma once
// A main window's flow on a simulated bench in virtual time, with every bridge call traced,
// every message recorded, every wait counted and the timers fired by hand.
#include <memory>

#include "app/Startup.h"
#include "flows/main/MainFlow.h"
#include "link/TracingBridge.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"
#include "support/ManualTimers.h"
#include "support/RecordingOpener.h"
#include "support/RecordingPrompter.h"
#include "support/SpyPacer.h"
#include "support/TempDir.h"

namespace fd::test {

struct MainRig {
  MainRig() : bench(clock), tracing(bench), pacer(clock) {
    state.appDir = dir.dir();
    // The shipped device database, copied beside the test programs by the build.
    state.programDir = ExecutableDir(nullptr);
    RunStartupHeadless(state);
  }

  MainFlow& flow() {
    if (!flow_) {
      MainFlowPorts ports{state, tracing, pacer, prompter, timers, opener, [this] { return logTime; }, dialogs, portClock,
                          runner};
      ports.operatorMode = operatorMode;
      flow_ = std::make_unique<MainFlow>(std::move(ports));
    }
    return *flow_;
  }
  const MainView& view() { return flow().view(); }

  // One tick of a timer, after its period has passed.
  void tick(int id) {
    clock.advanceUs(static_cast<std::uint64_t>(id == kTimerGangRun ? 100 : 200) * 1000);
    flow().onTimer(id);
  }
  // Run ticks until the result view shows (or the limit runs out); the ticks it took.
  int runToResult(int maxTicks = 400) {
    int ticks = 0;
    while (flow().runPhase() == RunPhase::Running && ticks < maxTicks) {
      tick(kTimerGangRun);
      ++ticks;
    }
    return ticks;
  }
  std::string history() const { return dir.read(kHistoryFileName); }

  TempDir dir;
  VirtualClock clock;
  SimBench bench;
  TracingBridge tracing;
  SpyPacer pacer;
  RecordingPrompter prompter;
  ManualTimers timers;
  RecordingOpener opener;
  AppState state;
  LocalTime logTime{2026, 12, 10, 9, 5, 7};
  // The sub-windows' host; none: Off-line Set and On-line Test say they are not available.
  DialogHost* dialogs = nullptr;
  // Runs the gang run to its end on Start; none: it runs in the list, ticked by hand.
  DialogHost* runner = nullptr;
  // The clock the flow is given (a load of the ticked rows needs one); none by default.
  Clock* portClock = nullptr;
  // Operator mode as the command line asks for it.
  bool operatorMode = false;

private:
  std::unique_ptr<MainFlow> flow_;
};

// A programmer set up with a product and an image, ready for a gang run.
SimProgrammerSetup ReadyProgrammer(const std::string& mcu, const std::string& file, std::uint32_t size);
// The same, with a target whose ID code is not the programmer's: its run fails the ID check.
SimProgrammerSetup WrongIdProgrammer(const std::string& mcu, const std::string& file, std::uint32_t size);

}  // namespace fd::test
