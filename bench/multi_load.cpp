// Preparing eight programmers against one, in real time, on the simulated bench as the
// programs run it (the real clock, the pacer spending its spins on that clock, a timer
// loop): the same image loaded into 1 and into 8 programmers at once, and the same off-line
// set-up (product, ID code, power) written to 1 and to 8. The page list comes from the
// load record (a first load converts it), so a load measures the transfer itself. Prints
// the median of each, the absolute times and the ratio eight : one. Goals: the load of 8
// within 1.1 times the load of 1, the set-up of 8 within 1.2 times the set-up of 1.
//
// Usage: multi_load [REPETITIONS] [KIB]   (default 3 repetitions of a 64 KiB image;
// at most 512)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchImage.h"
#include "NullPorts.h"
#include "app/HistoryLog.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "flows/common/TimerLoop.h"
#include "flows/load/MultiLoad.h"
#include "flows/main/MainFlow.h"
#include "flows/single/MultiSetup.h"
#include "formats/DeviceDatabase.h"
#include "link/Clock.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

// The user flash of the product the programmers are set up with (ZK40K144L, 512 KiB).
constexpr std::uint32_t kImageBase = 0x008000;

// A counting pattern as S2 records of 32 bytes.
void WriteImage(const std::string& path, std::uint32_t bytes) { bench::WriteCountingImage(path, kImageBase, bytes); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// N copies of the demo's first programmer on the real clock, detected by a main window.
class Station {
public:
  Station(int programmers, std::uint32_t imageBytes)
      : bench_(clock_), pacer_(clock_), timers_(clock_), protocol_(bench_, pacer_) {
    std::string pattern = (std::filesystem::temp_directory_path() / "flashdock-multi-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    dir_ = pattern + "/";
    state_.appDir = dir_;
    // The shipped device database, copied beside the benchmarks by the build.
    state_.programDir = ExecutableDir(nullptr);
    RunStartupHeadless(state_);
    image_ = dir_ + "image.mot";
    WriteImage(image_, imageBytes);
    const SimProgrammerSetup first = SimBench::demo(clock_)->programmer(0).setup();
    for (int i = 0; i < programmers; ++i) bench_.attach(first);
    flow_ = std::make_unique<MainFlow>(MainFlowPorts{state_, bench_, pacer_, prompter_, timers_, opener_, {}});
    flow_->open();
    timers_.stop(kTimerDetection);
    for (std::size_t r = 0; r < flow_->view().rows.size(); ++r) {
      targets_.push_back({flow_->view().rows[r].sn, flow_->handles()[r]});
    }
    if (targets_.size() != static_cast<std::size_t>(programmers)) {
      std::fprintf(stderr, "detected %zu of %d programmers\n", targets_.size(), programmers);
      std::exit(1);
    }
  }
  ~Station() {
    flow_->close();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  // A whole load: prepare, start, every tick to the end. Seconds; negative when any failed.
  double load() {
    SettingsFile settings(dir_ + kSettingsFileName);
    HistoryLog log(dir_ + kHistoryFileName);
    SingleOperationLog single(settings, log);
    MultiLoadPorts ports{state_, protocol_, timers_, clock_, single, [](const MultiLoadLine&) { return MsgAnswer::Yes; }};
    MultiLoad multi(ports);
    const auto start = std::chrono::steady_clock::now();
    multi.prepare(targets_);
    multi.start(ChosenImage{image_, "image", std::make_shared<SRecordFileSource>(image_)});
    while (multi.running()) {
      const int id = timers_.waitNext();
      if (id < 0) break;
      multi.onTimer(id);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const MultiLoadLine& line : multi.lines()) {
      for (const LoadNote& note : line.notes) {
        if (note.kind != LoadNote::Kind::Info) std::fprintf(stderr, "%s: %s\n", line.sn.c_str(), note.text.c_str());
      }
    }
    return multi.allSucceeded() ? seconds : -1;
  }

  // The off-line set-up of every programmer; seconds, negative when any failed.
  double setup() {
    SetupChange change;
    const auto line = FindProductLine(DeviceDatabasePath(state_), ProductKey("ZK40K144L"));
    if (line.ok() && line.value) change.productLine = std::string(*line.value);
    change.idCode = IdCode{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77};
    change.power = 0x50;
    const auto start = std::chrono::steady_clock::now();
    const std::vector<SetupLine> lines = SetUpProgrammers(protocol_, state_, targets_, change);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool ok = std::all_of(lines.begin(), lines.end(), [](const SetupLine& l) { return l.written; });
    return ok ? seconds : -1;
  }

private:
  std::string dir_;
  std::string image_;
  RealClock clock_;
  SimBench bench_;
  ClockPacer pacer_;
  TimerLoop timers_;
  Protocol protocol_;
  bench::NullPrompter prompter_;
  bench::NullOpener opener_;
  AppState state_;
  std::unique_ptr<MainFlow> flow_;
  std::vector<MultiLoadTarget> targets_;
};

double Measure(int programmers, int repetitions, std::uint32_t imageBytes, bool load) {
  Station station(programmers, imageBytes);
  // Every programmer set up for a 512 KiB part first; the first load converts the image.
  if (load && (station.setup() < 0 || station.load() < 0)) {
    std::fprintf(stderr, "the first load of %d programmers failed\n", programmers);
    std::exit(1);
  }
  std::vector<double> times;
  for (int i = 0; i < repetitions; ++i) {
    const double t = load ? station.load() : station.setup();
    if (t < 0) {
      std::fprintf(stderr, "a %s of %d programmers failed\n", load ? "load" : "set-up", programmers);
      std::exit(1);
    }
    times.push_back(t);
  }
  return Median(times);
}

bool Report(const char* what, double one, double eight, double goal) {
  const double ratio = eight / one;
  const bool met = ratio <= goal;
  std::printf("%-8s  1: %7.3f s   8: %7.3f s   ratio %.3f  (goal <= %.1f: %s)\n", what, one, eight, ratio, goal,
              met ? "met" : "missed");
  return met;
}

}  // namespace
}  // namespace fd

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::uint32_t kib = argc > 2 ? static_cast<std::uint32_t>(std::clamp(std::atoi(argv[2]), 1, 512)) : 64;
  std::printf("median of %d, real time, an image of %u KiB (%u pages)\n", repetitions, kib, kib * 4);
  const double loadOne = fd::Measure(1, repetitions, kib * 1024, true);
  const double loadEight = fd::Measure(8, repetitions, kib * 1024, true);
  const double setupOne = fd::Measure(1, repetitions, 1024, false);
  const double setupEight = fd::Measure(8, repetitions, 1024, false);
  const bool loadMet = fd::Report("load", loadOne, loadEight, 1.1);
  const bool setupMet = fd::Report("set-up", setupOne, setupEight, 1.2);
  return loadMet && setupMet ? 0 : 1;
}
