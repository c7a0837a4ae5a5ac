// What eight programmers cost against one, in real time, on the simulated bench as the
// programs run it: the real clock, the pacer spending its spins on that clock, the main
// window's flow driven by a timer loop. Two measurements, each for 1 and for 8 identical
// programmers (copies of the demo's first one):
//   detection   the window opening: open, reset and read every programmer
//   gang cycle  Start, the run to the result view, Back (gang record and re-detection)
//   back        Back alone, from the result view to the list shown again
// Prints the median of each and the ratio eight : one. A production line is paced by the
// cycle, so the goal is a ratio near 1: detection within 1.2, the gang cycle within 1.1.
//
// Usage: gang_scaling [REPETITIONS]   (default 3)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NullPorts.h"
#include "app/Startup.h"
#include "flows/common/TimerLoop.h"
#include "flows/main/MainFlow.h"
#include "link/Clock.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

// A folder of its own for the settings and the history log, removed at the end.
class ScratchDir {
public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "flashdock-scaling-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string appDir() const { return path_.string() + "/"; }

private:
  std::filesystem::path path_;
};

// N programmers on the real clock, and a main window over them.
class Station {
public:
  explicit Station(int programmers) : bench_(clock_), pacer_(clock_), timers_(clock_) {
    state_.appDir = dir_.appDir();
    RunStartupHeadless(state_);
    const auto demo = SimBench::demo(clock_);
    const SimProgrammerSetup first = demo->programmer(0).setup();
    for (int i = 0; i < programmers; ++i) bench_.attach(first);
  }

  // A fresh window each time: a window opens once.
  MainFlow& openWindow() {
    flow_ = std::make_unique<MainFlow>(MainFlowPorts{state_, bench_, pacer_, prompter_, timers_, opener_, {}});
    flow_->open();
    return *flow_;
  }
  void closeWindow() {
    flow_->close();
    timers_.stopAll();
    flow_.reset();
  }
  // Start, every timer tick until the result view, Back; `backSeconds` gets Back's share.
  bool gangCycle(double& backSeconds) {
    MainFlow& flow = *flow_;
    flow.startButton();
    while (flow.runPhase() == RunPhase::Running) {
      const int id = timers_.waitNext();
      if (id < 0) return false;
      flow.onTimer(id);
    }
    const std::vector<RowResult> results = flow.results();
    const bool allGood = std::all_of(results.begin(), results.end(),
                                     [](const RowResult& r) { return !r.taking || r.succeeded(); });
    const auto back = std::chrono::steady_clock::now();
    flow.startButton();  // Back
    backSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - back).count();
    return allGood && flow.runPhase() == RunPhase::Idle;
  }
  MainFlow& flow() { return *flow_; }

private:
  ScratchDir dir_;
  RealClock clock_;
  SimBench bench_;
  ClockPacer pacer_;
  TimerLoop timers_;
  bench::NullPrompter prompter_;
  bench::NullOpener opener_;
  AppState state_;
  std::unique_ptr<MainFlow> flow_;
};

double Seconds(const std::function<void()>& what) {
  const auto start = std::chrono::steady_clock::now();
  what();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Detection(int programmers, int repetitions) {
  Station station(programmers);
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    times.push_back(Seconds([&] { station.openWindow(); }));
    if (station.flow().view().rows.size() != static_cast<std::size_t>(programmers)) {
      std::fprintf(stderr, "detection of %d found %zu programmers\n", programmers, station.flow().view().rows.size());
      std::exit(1);
    }
    station.closeWindow();
  }
  return Median(times);
}

struct CycleTimes {
  double cycle = 0;
  double back = 0;
};

CycleTimes GangCycle(int programmers, int repetitions) {
  Station station(programmers);
  std::vector<double> times;
  std::vector<double> backs;
  for (int i = 0; i < repetitions; ++i) {
    station.openWindow();
    bool ok = false;
    double back = 0;
    times.push_back(Seconds([&] { ok = station.gangCycle(back); }));
    backs.push_back(back);
    if (!ok || station.flow().view().rows.size() != static_cast<std::size_t>(programmers)) {
      std::fprintf(stderr, "the gang cycle of %d programmers did not end well\n", programmers);
      std::exit(1);
    }
    station.closeWindow();
  }
  return {Median(times), Median(backs)};
}

void Report(const char* what, double one, double eight, double goal) {
  const double ratio = eight / one;
  std::printf("%-11s  1: %7.3f s   8: %7.3f s   ratio %.3f", what, one, eight, ratio);
  if (goal > 0) std::printf("  (goal <= %.1f: %s)", goal, ratio <= goal ? "met" : "missed");
  std::printf("\n");
}

}  // namespace
}  // namespace fd

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::printf("median of %d, real time\n", repetitions);
  const double detectOne = fd::Detection(1, repetitions);
  const double detectEight = fd::Detection(8, repetitions);
  fd::Report("detection", detectOne, detectEight, 1.2);
  const fd::CycleTimes gangOne = fd::GangCycle(1, repetitions);
  const fd::CycleTimes gangEight = fd::GangCycle(8, repetitions);
  fd::Report("gang cycle", gangOne.cycle, gangEight.cycle, 1.1);
  fd::Report("back", gangOne.back, gangEight.back, 0);
  return 0;
}
