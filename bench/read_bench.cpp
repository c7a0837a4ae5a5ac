// Reading 64 KiB from a simulated programmer on a real-time 1,000,000-baud link, as the
// Read window reads it: one page a timer tick, the timer restarted 10 ms after each page.
// The ceiling that rule allows is 100 ms before the first page, then per page 10 ms plus
// its exchange: the 'R' request on the wire, the busy polls (1 ms apart) while the
// programmer fetches the page, and the 258 bytes of its answer. The run is reported in
// pages per second next to that ceiling and fails below 90 % of it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "flows/common/ScriptedHost.h"
#include "flows/common/WindowProtocol.h"
#include "flows/memory/ReadFlow.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

class SilentPrompter final : public Prompter {
public:
  MsgAnswer message(const std::string&, MsgIcon, const std::string& text, MsgButtons) override {
    if (text == kMsgSaveBeforeClose) return MsgAnswer::No;
    ++shown;
    return MsgAnswer::Ok;
  }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
  int shown = 0;
};

constexpr int kPages = 256;  // 64 KiB
constexpr double kWireByteUs = 10.0;  // 8N1: ten bits a byte at 1,000,000 baud

double CeilingPagesPerSecond() {
  const double busyPollsUs = std::ceil(static_cast<double>(simtime::kReadUs) / 1000.0) * 1000.0;
  const double pageUs = kReadPeriodMs * 1000.0 + 3 * kWireByteUs + busyPollsUs + 258 * kWireByteUs;
  const double totalUs = kReadFirstPeriodMs * 1000.0 + kPages * pageUs;
  return kPages / (totalUs / 1e6);
}

void BM_Read64KiB(benchmark::State& st) {
  RealClock clock;
  SimProgrammerSetup setup;
  setup.target.selfPowered = true;
  setup.target.flash = {{0x040, 256, 16}};
  SimBench bench(clock);
  bench.attach(setup);
  ClockPacer pacer(clock);
  SilentPrompter prompter;
  AppState state;
  state.productNumber = "ZK40BENCH   ";
  state.idCode.fill(0xC3);  // the ID code of a fresh target
  bench.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
  bench.BridgeOpen(0, state.currentHandle);
  bench.BridgeSetBaudRate(state.currentHandle, kNormalBaud);
  bench.BridgeSetLineControl(state.currentHandle, kLineControl8N1);
  Protocol protocol(bench, pacer);
  WindowProtocol link(state, protocol, prompter);
  if (!link.ResetProgrammer(state.currentHandle, 1) || !link.ConnectTarget(state.currentHandle)) {
    st.SkipWithError("the simulated programmer did not connect");
    return;
  }
  state.readStart = 0x04000;
  state.readEnd = 0x13FFF;
  double seconds = 0;
  for (auto _ : st) {
    ScriptedHost host(clock);
    ReadFlow read({state, protocol, prompter, clock, host});
    const auto start = std::chrono::steady_clock::now();
    host.run(read);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!read.complete() || read.data().size() != kPages * 256u || prompter.shown != 0) {
      st.SkipWithError("the read did not complete");
      return;
    }
  }
  const double pagesPerSecond = kPages / seconds;
  const double ceiling = CeilingPagesPerSecond();
  st.counters["pages_per_s"] = pagesPerSecond;
  st.counters["ceiling_pages_per_s"] = ceiling;
  st.counters["of_ceiling"] = pagesPerSecond / ceiling;
  if (pagesPerSecond < 0.9 * ceiling) {
    // The figures go in the message: a failed run prints no counters.
    char why[160];
    std::snprintf(why, sizeof why,
                  "%.1f pages/s, %.1f %% of the ceiling of the read's timer rule (%.1f pages/s): more than 10 %% below it",
                  pagesPerSecond, 100 * pagesPerSecond / ceiling, ceiling);
    st.SkipWithError(why);
  }
}
BENCHMARK(BM_Read64KiB)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace fd

BENCHMARK_MAIN();
