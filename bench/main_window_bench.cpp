// CPU cost of the main window's two timers with eight simulated programmers attached:
// the idle detection tick (every 200 ms) and one gang-run poll of all eight (every 100 ms).
// Virtual time: what is measured is the host's own work, not the programmers' waits.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "NullPorts.h"
#include "app/RunLog.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "flows/main/MainFlow.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"

namespace fd {
namespace {

using bench::NullOpener;
using bench::NullPrompter;
using bench::NullTimers;

// Eight demo-like programmers, each with an image that takes a while to program, in a
// folder of their own, removed at the end.
struct Station {
  Station() : bench(clock), pacer(clock) {
    std::string pattern = (std::filesystem::temp_directory_path() / "flashdock-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    dir = pattern;
    state.appDir = dir.string() + "/";
    RunStartupHeadless(state);
    // The gang runs restarted between the measured ticks would each append to the history
    // and run logs, and the re-detection after them reads the whole run log again: the
    // measured ticks write no log, so the logs are off and the benchmark's length stays
    // that of its ticks.
    SettingsFile settings(state.appDir + kSettingsFileName);
    settings.write(kSectionLog, kKeyAutoSaveLog, "0");
    settings.write(kSectionRunLog, kKeySaveRunLog, "0");
    auto demo = SimBench::demo(clock);
    for (int i = 0; i < 8; ++i) bench.attach(demo->programmer(static_cast<std::size_t>(i % 3)).setup());
    flow = std::make_unique<MainFlow>(MainFlowPorts{state, bench, pacer, prompter, timers, opener, {}});
    flow->open();
  }
  ~Station() {
    flow.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::filesystem::path dir;
  VirtualClock clock;
  SimBench bench;
  ClockPacer pacer;
  NullPrompter prompter;
  NullTimers timers;
  NullOpener opener;
  AppState state;
  std::unique_ptr<MainFlow> flow;
};

void BM_IdleDetectionTick(benchmark::State& st) {
  Station station;
  for (auto _ : st) {
    station.clock.advanceUs(200'000);
    station.flow->onTimer(kTimerDetection);
  }
  // Five ticks a second: the idle window costs 5 x this CPU time per second of a core.
}
BENCHMARK(BM_IdleDetectionTick)->Unit(benchmark::kMicrosecond);

void BM_GangTickEightProgrammers(benchmark::State& st) {
  Station station;
  station.flow->startButton();
  int ticks = 0;
  for (auto _ : st) {
    st.PauseTiming();
    // Restart the run when it has ended so every measured tick polls eight running programmers.
    if (station.flow->runPhase() != RunPhase::Running || ++ticks > 20) {
      if (station.flow->runPhase() == RunPhase::Running) station.flow->startButton();
      station.flow->startButton();
      station.flow->startButton();
      ticks = 0;
    }
    station.clock.advanceUs(100'000);
    st.ResumeTiming();
    station.flow->onTimer(kTimerGangRun);
  }
}
BENCHMARK(BM_GangTickEightProgrammers)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace fd

BENCHMARK_MAIN();
