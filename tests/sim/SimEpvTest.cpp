// 'S': the Erase-Program-Verify run of the stored image, followed as the gang run polls.
#include <gtest/gtest.h>

#include <functional>

#include "sim/SimErrors.h"
#include "sim/SimHost.h"

namespace fd::test {
namespace {

struct Outcome {
  Bytes bytes;                      // every progress byte, in order
  std::optional<std::uint8_t> error;
  bool busyWhileStreaming = false;  // busy read set after the first progress byte
  std::uint64_t endUs = 0;
  bool ended = false;
};

// Starts 'S' and polls every 100 ms the way the gang run does, until the run ends.
Outcome RunEpv(SimHost& host, VirtualClock& clock, std::uint64_t limitUs = 20'000'000) {
  Outcome out;
  host.write({'L', 0x02});
  host.write({'S'});
  const std::uint64_t start = clock.nowUs();
  while (clock.nowUs() - start < limitUs) {
    host.spinMs(100);
    if (!host.waitClear(kBusyBit, 2)) {
      out.busyWhileStreaming = out.busyWhileStreaming || !out.bytes.empty();
      continue;
    }
    if (host.waitClear(kResultBit, 2)) {
      // Keep what came before the failure (the gang run itself flushes it unread).
      const auto rest = host.read(host.queued());
      out.bytes.insert(out.bytes.end(), rest.bytes.begin(), rest.bytes.end());
      out.error = host.fetchError();
      out.ended = true;
      break;
    }
    const std::uint32_t n = host.queued();
    if (n == 0) continue;
    const auto r = host.read(std::min<std::uint32_t>(n, 128));
    out.bytes.insert(out.bytes.end(), r.bytes.begin(), r.bytes.end());
    if (r.bytes.back() == kSimDoneProgress) {
      out.ended = true;
      break;
    }
  }
  out.endUs = clock.nowUs() - start;
  return out;
}

class SimEpvTest : public SimHostTest {
protected:
  SimEpvTest() : SimHostTest([](std::size_t, SimClock& c) { return SimBench::demo(c); }) {}
};

TEST_F(SimEpvTest, StreamsEraseThenRisingPercentagesThenHundred) {
  const Outcome out = RunEpv(host, clock);
  ASSERT_TRUE(out.ended);
  ASSERT_FALSE(out.error);
  EXPECT_FALSE(out.busyWhileStreaming) << "the status line shows idle between progress bytes";

  std::size_t erase = 0;
  while (erase < out.bytes.size() && out.bytes[erase] == kSimEraseProgress) ++erase;
  EXPECT_EQ(erase, simtime::kEpvEraseUs / simtime::kEpvEraseTickUs);
  Bytes expected;
  for (int k = 1; k <= 100; ++k) expected.push_back(static_cast<std::uint8_t>(k));
  EXPECT_EQ(Bytes(out.bytes.begin() + static_cast<long>(erase), out.bytes.end()), expected);

  const std::uint64_t planned = simtime::EpvDurationUs(programmer().image().size());
  EXPECT_GE(out.endUs, planned);
  EXPECT_LT(out.endUs, planned + 120'000) << "seen at the first poll after it ended";

  for (const auto& [page, data] : programmer().image()) EXPECT_EQ(programmer().target().read(page), data);
  EXPECT_TRUE(host.status() & kResultBit);
}

TEST_F(SimEpvTest, ResetStopsARunningJob) {
  host.write({'S'});
  host.spinMs(600);
  ASSERT_TRUE(programmer().epvRunning());
  ASSERT_TRUE(host.reset());
  EXPECT_FALSE(programmer().epvRunning());
  host.spinMs(5000);
  EXPECT_EQ(host.queued(), 0u);
  EXPECT_TRUE(host.status() & kResultBit);
  EXPECT_EQ(programmer().latchedError(), 0);
}

TEST_F(SimEpvTest, HeldInResetAfterTheRunItStaysQuiet) {
  ASSERT_FALSE(RunEpv(host, clock).error);
  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kResetLine), kBridgeOk);
  host.spinMs(1000);
  EXPECT_TRUE(host.status() & kBusyBit);
  EXPECT_EQ(host.queued(), 0u);
}

struct FailureCase {
  const char* name;
  std::function<void(SimProgrammer&)> arrange;
  std::uint8_t code;
  bool erased;          // 'e' bytes came before the failure
  int lastPercent;      // highest percentage seen; 0 for none
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }


class SimEpvFailureTest : public SimEpvTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SimEpvFailureTest, EndsWithItsCodeOnTheErrorLine) {
  const FailureCase& c = GetParam();
  c.arrange(programmer());
  const Outcome out = RunEpv(host, clock);
  ASSERT_TRUE(out.ended);
  EXPECT_EQ(out.error, c.code);
  const bool erased = std::find(out.bytes.begin(), out.bytes.end(), kSimEraseProgress) != out.bytes.end();
  EXPECT_EQ(erased, c.erased);
  int last = 0;
  for (std::uint8_t b : out.bytes) {
    if (b != kSimEraseProgress) last = b;
  }
  EXPECT_EQ(last, c.lastPercent);
  EXPECT_FALSE(programmer().epvRunning());
}

SimErrorFault Fault(const char* stage, std::uint8_t code) { return {'S', stage, code}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, SimEpvFailureTest,
    ::testing::Values(
        FailureCase{"NothingStored",
                    [](SimProgrammer& p) { p.setup().info = SimProgrammerSetup::FreshInfo(); }, kSimErrNoImage,
                    false, 0},
        FailureCase{"ImageIncomplete", [](SimProgrammer& p) { p.setup().image.erase(p.setup().image.begin()); },
                    kSimErrNoImage, false, 0},
        FailureCase{"NoTarget", [](SimProgrammer& p) { p.target().present = false; }, kSimErrNoTarget, false, 0},
        FailureCase{"NotPowered",
                    [](SimProgrammer& p) {
                      p.setup().info[info::kPower] = kSimPowerNone;
                      p.target().selfPowered = false;
                    },
                    kSimErrNotPowered, false, 0},
        FailureCase{"PowerMismatch", [](SimProgrammer& p) { p.target().voltage = 3; }, kSimErrPowerMismatch,
                    false, 0},
        FailureCase{"IdMismatch", [](SimProgrammer& p) { p.target().id[6] ^= 1; }, kSimErrId, false, 0},
        FailureCase{"TargetWillNotErase", [](SimProgrammer& p) { p.target().flashFault = SimFlashFault::kErase; },
                    kSimErrTargetErase, true, 0},
        FailureCase{"TargetWillNotProgram",
                    [](SimProgrammer& p) { p.target().flashFault = SimFlashFault::kProgram; }, kSimErrProgram, true,
                    40},
        FailureCase{"TargetFailsVerify", [](SimProgrammer& p) { p.target().flashFault = SimFlashFault::kVerify; },
                    kSimErrVerify, true, 99},
        FailureCase{"ImageOutsideTheFlash",
                    [](SimProgrammer& p) { p.target().flash = {{0x0F0, 16, 16}}; },
                    kSimErrProgram, true, 0},
        FailureCase{"InjectedAtConnect", [](SimProgrammer& p) { p.faults().errors = {Fault("connect", 0x35)}; },
                    0x35, false, 0},
        FailureCase{"InjectedAtId", [](SimProgrammer& p) { p.faults().errors = {Fault("id", 0x40)}; }, 0x40, false,
                    0},
        FailureCase{"InjectedAtErase", [](SimProgrammer& p) { p.faults().errors = {Fault("erase", 0x50)}; }, 0x50,
                    true, 0},
        FailureCase{"InjectedShortCutWhileProgramming",
                    [](SimProgrammer& p) { p.faults().errors = {Fault("program", 0x80)}; }, 0x80, true, 40},
        FailureCase{"InjectedAtVerify", [](SimProgrammer& p) { p.faults().errors = {Fault("verify", 0x13)}; },
                    0x13, true, 99}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimEpvTest, BusyForeverRunNeverReportsAnything) {
  programmer().faults().busyAfterCommands = "S";
  const Outcome out = RunEpv(host, clock, 10'000'000);
  EXPECT_FALSE(out.ended);
  EXPECT_TRUE(out.bytes.empty());
}

TEST_F(SimEpvTest, ARunThatGoesSilentStaysIdleWithoutEndUntilAReset) {
  programmer().faults().errors.push_back({'S', "program", 0, SimFaultAction::kNoAnswer});
  const Outcome out = RunEpv(host, clock, 20'000'000);
  EXPECT_FALSE(out.ended);
  EXPECT_FALSE(out.busyWhileStreaming);
  EXPECT_EQ(out.bytes.back(), 40) << "the progress stops where the run went silent";
  EXPECT_TRUE(programmer().epvRunning());
  EXPECT_EQ(programmer().latchedError(), 0);
  ASSERT_TRUE(host.reset());
  EXPECT_FALSE(programmer().epvRunning());
}

TEST(SimDemoBench, GangRunOnAllThreeSucceedsWithinSeconds) {
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  std::uint32_t count = 0;
  bench->BridgeGetNumDevices(count);
  ASSERT_EQ(count, 3u);
  std::vector<std::unique_ptr<SimHost>> hosts;
  for (std::uint32_t i = 0; i < count; ++i) {
    hosts.push_back(std::make_unique<SimHost>(*bench, clock));
    hosts.back()->open(i);
    ASSERT_TRUE(hosts.back()->reset());
    hosts.back()->write({'L', 0x02});
    hosts.back()->write({'S'});
  }
  std::vector<std::optional<std::uint64_t>> done(count);
  const std::uint64_t start = clock.nowUs();
  while (clock.nowUs() - start < 10'000'000 && std::any_of(done.begin(), done.end(), [](auto& d) { return !d; })) {
    hosts[0]->spinMs(100);
    for (std::uint32_t i = 0; i < count; ++i) {
      SimHost& h = *hosts[i];
      if (done[i] || !h.waitClear(kBusyBit, 2)) continue;
      ASSERT_FALSE(h.waitClear(kResultBit, 2)) << "programmer " << i << " failed: " << int(*h.fetchError());
      const std::uint32_t n = h.queued();
      if (n > 0 && h.read(n).bytes.back() == kSimDoneProgress) done[i] = clock.nowUs() - start;
    }
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    ASSERT_TRUE(done[i]) << "programmer " << i;
    EXPECT_GT(*done[i], 2'500'000u);
    EXPECT_LT(*done[i], 5'000'000u);
  }
  EXPECT_LT(*done[0], *done[2]) << "the bigger image takes longer";
}

}  // namespace
}  // namespace fd::test
