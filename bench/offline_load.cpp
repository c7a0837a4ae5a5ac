// The off-line load of a 512 KiB image, the whole user flash of the largest product
// (ZK40K144L), to one simulated programmer set up for that product, whose link runs at
// 1,000,000 baud, in real time, as the programs run it: the real clock, the pacer spending
// its spins on that clock, the Loading window driven by a timer loop. The page list comes
// from the load-record cache (a first load converts it), so what is measured is the
// transfer: from the descriptor's answer to the programmer's final answer.
//
// The transfer is paced by the window's timer: at most two 260-byte frames a 10 ms tick,
// 200 pages a second. The goal is to stay within 5 % of that ceiling. The link itself could
// carry 1,000,000 / 10 / 260 frames a second; that limit is printed alongside.
//
// Usage: offline_load [REPETITIONS]   (default 3)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchImage.h"
#include "NullPorts.h"
#include "app/HistoryLog.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "flows/common/ScriptedHost.h"
#include "flows/common/WindowProtocol.h"
#include "flows/load/LoadFile.h"
#include "flows/load/LoadingFlow.h"
#include "flows/single/MultiSetup.h"
#include "formats/DeviceDatabase.h"
#include "link/Clock.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

constexpr std::uint32_t kImageBytes = 512u << 10;
constexpr std::uint32_t kImageBase = 0x008000;
constexpr double kCeilingPagesPerSecond = 2.0 / 0.010;
constexpr double kLinkFramesPerSecond = 1000000.0 / 10.0 / 260.0;

// A counting pattern as S2 records of 32 bytes.
void WriteImage(const std::string& path) { bench::WriteCountingImage(path, kImageBase, kImageBytes); }

// Answers the open-file dialog with one file, once: a file the load turns away ends it
// rather than being offered again and again. Errors and warnings go to stderr.
class FilePrompter final : public Prompter {
public:
  explicit FilePrompter(std::string path) : path_(std::move(path)) {}
  MsgAnswer message(const std::string&, MsgIcon icon, const std::string& text, MsgButtons buttons) override {
    if (icon == MsgIcon::Error || icon == MsgIcon::Warning) std::fprintf(stderr, "%s\n", text.c_str());
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
  }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override {
    if (given_) return std::nullopt;
    given_ = true;
    return path_;
  }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }

private:
  std::string path_;
  bool given_ = false;
};

struct Transfer {
  bool ok = false;
  std::uint32_t pages = 0;
  double seconds = 0;
};

class Station {
public:
  Station() : bench_(clock_), pacer_(clock_), protocol_(bench_, pacer_) {
    std::string pattern = (std::filesystem::temp_directory_path() / "flashdock-load-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::exit(1);
    }
    dir_ = pattern + "/";
    state_.appDir = dir_;
    // The shipped device database, copied beside the benchmarks by the build: the load
    // checks the image against the stored product's memory map.
    state_.programDir = ExecutableDir(nullptr);
    RunStartupHeadless(state_);
    image_ = dir_ + "image.mot";
    WriteImage(image_);
    bench_.attach(SimBench::demo(clock_)->programmer(0).setup());
    std::uint32_t count = 0;
    bench_.BridgeGetNumDevices(count);
    bench_.BridgeOpen(0, handle_);
    bench_.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
    bench_.BridgeSetBaudRate(handle_, kNormalBaud);
    bench_.BridgeSetLineControl(handle_, kLineControl8N1);
    state_.currentHandle = handle_;
    state_.currentSn = "01";
    state_.offlineMode = 1;
    // Set up for the product whose user flash the image fills.
    SetupChange change;
    const auto line = FindProductLine(DeviceDatabasePath(state_), ProductKey("ZK40K144L"));
    if (line.ok() && line.value) change.productLine = std::string(*line.value);
    const std::vector<SetupLine> setup = SetUpProgrammers(protocol_, state_, {{"01", handle_}}, change);
    if (!change.productLine || setup.size() != 1 || !setup.front().written) {
      std::fprintf(stderr, "the programmer could not be set up for ZK40K144L\n");
      std::exit(1);
    }
  }
  ~Station() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  Transfer load() {
    FilePrompter prompter(image_);
    WindowProtocol windows(state_, protocol_, prompter);
    windows.ResetProgrammer(handle_, 1);
    windows.ReadProgrammerInfo(handle_);
    SettingsFile settings(dir_ + kSettingsFileName);
    HistoryLog log(dir_ + kHistoryFileName);
    SingleOperationLog single(settings, log);
    ScriptedHost host(clock_);
    int ticks = 0;
    std::chrono::steady_clock::time_point described, finished;
    host.afterTick = [&](ModalFlow& flow) {
      ++ticks;
      const auto now = std::chrono::steady_clock::now();
      if (ticks == 2) described = now;  // convert, then the descriptor
      if (flow.ended()) finished = now;
    };
    ImageOperationPorts ports{state_, windows, prompter, host, clock_, single};
    const ImageOperationResult result = LoadFile(ports);
    return {result.end == ImageOperationResult::End::Done, result.pages,
            std::chrono::duration<double>(finished - described).count()};
  }

private:
  std::string dir_;
  std::string image_;
  RealClock clock_;
  SimBench bench_;
  ClockPacer pacer_;
  Protocol protocol_;
  AppState state_;
  BridgeHandle handle_ = kNoHandle;
};

}  // namespace
}  // namespace fd

int main(int argc, char** argv) {
  const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  fd::Station station;
  // The first load converts the file and fills the cache.
  const fd::Transfer first = station.load();
  if (!first.ok || first.pages != fd::kImageBytes / 256) {
    std::fprintf(stderr, "the first load did not go through (%u pages)\n", first.pages);
    return 1;
  }
  std::vector<double> rates;
  for (int i = 0; i < repetitions; ++i) {
    const fd::Transfer t = station.load();
    if (!t.ok) {
      std::fprintf(stderr, "load %d did not go through\n", i + 1);
      return 1;
    }
    rates.push_back(t.pages / t.seconds);
    std::printf("load %d: %u pages in %.3f s, %.1f pages/s\n", i + 1, t.pages, t.seconds, t.pages / t.seconds);
  }
  std::sort(rates.begin(), rates.end());
  const double median = rates[rates.size() / 2];
  const double share = median / fd::kCeilingPagesPerSecond;
  std::printf("median %.1f pages/s; pacing ceiling %.0f pages/s (%.1f %%); link limit %.0f frames/s (%.1f %%)\n", median,
              fd::kCeilingPagesPerSecond, 100 * share, fd::kLinkFramesPerSecond,
              100 * median / fd::kLinkFramesPerSecond);
  std::printf("goal: within 5 %% of the pacing ceiling: %s\n", share >= 0.95 ? "met" : "missed");
  return share >= 0.95 ? 0 : 1;
}
