// The boot loader of a programmer whose update jumpers are set, driven as the firmware
// update drives it: 25,000 baud, the jumper test, lead-in, connect, ID check, three block
// erases and the page programs, each at its own pace.
#include <gtest/gtest.h>

#include "sim/SimBenchFile.h"
#include "sim/SimBootLoader.h"
#include "sim/SimHost.h"

namespace fd::test {
namespace {

using Pages = std::vector<std::pair<std::uint16_t, SimPage>>;

Pages Firmware(std::uint16_t first, int count) {
  Pages pages;
  for (int k = 0; k < count; ++k) {
    SimPage data;
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(0xA0 + k + i);
    pages.emplace_back(static_cast<std::uint16_t>(first + k), data);
  }
  return pages;
}

SimProgrammerSetup Jumpered() {
  SimProgrammerSetup setup;
  setup.updateJumpers = true;
  return setup;
}

// The host of the update, reduced to its bytes, checks and pacing. Tells the message the
// update ends with ("" when it ended without one), "updated" when it went through.
class UpdateHost {
public:
  UpdateHost(SimBench& bench, VirtualClock& clock) : bench_(bench), clock_(clock), pacer_(clock) {}

  std::string run(const Pages& file) {
    std::uint32_t count = 0;
    bench_.BridgeGetNumDevices(count);
    if (count == 0) return "No programmer connected!";
    if (count > 1) return "More than 1 programmers are detected!";
    std::string joined;
    for (std::uint8_t selector : kProductSelectors) {
      std::string text;
      if (bench_.BridgeGetProductString(0, text, selector) != kBridgeOk) return "";
      joined += text;
    }
    if (joined != kProgrammerProductId) return "";
    if (bench_.BridgeOpen(0, handle_) != kBridgeOk) return "";
    const std::string message = session(file);
    bench_.BridgeClose(handle_);
    return message;
  }

  std::vector<int> progress;

private:
  std::string session(const Pages& file) {
    bench_.BridgeSetTimeouts(500, 500);
    if (bench_.BridgeSetBaudRate(handle_, kUpdateBaud) != kBridgeOk) return "";
    if (bench_.BridgeSetLineControl(handle_, kLineControl8N1) != kBridgeOk) return "";
    for (int i = 0; i < 100; ++i) {
      std::uint8_t status = 0;
      bench_.BridgeGetModemStatus(handle_, status);
      if ((status & kBusyBit) == 0) return "Error!\nOn-board jumpers may not connect!";
    }
    // The updating window: one step a tick.
    for (int i = 0; i < 16; ++i) {
      tick(20);
      write({kBootLeadIn});
    }
    tick(20);
    write({kBootConnect});
    tick(20);
    write({kBootIdCheck, 0xDF, 0xFF, 0x0F, 0x07, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3});
    tick(20);
    write({kBootStatusRead});
    tick(20);
    Bytes answer;
    if (!read(3, answer) || answer[0] != kBootConnect) return "Can not connect!";
    if ((answer[2] & 0x0C) != 0x0C) return "ID code not match!";
    const std::uint16_t blocks[3] = {0x0FF0, 0x0FE0, 0x0FC0};
    for (int b = 0; b < 3; ++b) {
      write({kBootBlockErase, static_cast<std::uint8_t>(blocks[b]), static_cast<std::uint8_t>(blocks[b] >> 8),
             kBootEraseConfirm});
      progress.push_back(5 * (b + 1));
      tick(200);
      write({kBootStatusRead});
      tick(200);
      if (!read(2, answer)) return "Can not connect!";
      if ((answer[0] & 0x80) == 0) return "Time out!";
      if (answer[0] & 0x20) return "Block " + std::to_string(b) + " erase error!";
    }
    progress.push_back(20);
    tick(10);
    for (std::size_t k = 0; k < file.size(); ++k) {
      bench_.BridgeFlushBuffers(handle_, 1, 1);
      Bytes frame = {kBootPageProgram, static_cast<std::uint8_t>(file[k].first),
                     static_cast<std::uint8_t>(file[k].first >> 8)};
      frame.insert(frame.end(), file[k].second.begin(), file[k].second.end());
      write(frame);
      pacer_.spin(500000);
      write({kBootStatusRead});
      pacer_.spin(100000);
      if (!read(2, answer)) return "Unknown error!";
      if ((answer[0] & 0x80) == 0) return "Time out!";
      if (answer[0] & 0x10) return "Program error!";
      progress.push_back(static_cast<int>(70 * (k + 1) / file.size() + 30));
    }
    return "updated";
  }

  void tick(std::uint64_t ms) {
    next_ = std::max(next_, clock_.nowUs()) + ms * 1000;
    clock_.sleepUntilUs(next_);
  }
  void write(const Bytes& bytes) {
    std::uint32_t written = 0;
    bench_.BridgeWrite(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  }
  bool read(std::uint32_t count, Bytes& out) {
    out.assign(count, 0);
    std::uint32_t got = 0;
    return bench_.BridgeRead(handle_, out.data(), count, got) == kBridgeOk && got == count;
  }

  SimBench& bench_;
  VirtualClock& clock_;
  ClockPacer pacer_;
  BridgeHandle handle_ = kNoHandle;
  std::uint64_t next_ = 0;
};

class SimBootLoaderTest : public ::testing::Test {
protected:
  SimProgrammer& attach(SimProgrammerSetup setup) {
    bench->attach(std::move(setup));
    return bench->programmer(bench->programmerCount() - 1);
  }
  std::string update(const Pages& file) { return UpdateHost(*bench, clock).run(file); }

  VirtualClock clock;
  std::unique_ptr<SimBench> bench = SimBench::fresh(0, clock);
};

TEST_F(SimBootLoaderTest, GoodUpdateRewritesTheProgrammersOwnFlash) {
  SimProgrammerSetup setup = Jumpered();
  setup.firmware[0xFC5] = Filled(0x01);  // the old firmware, in all three blocks
  setup.firmware[0xFE2] = Filled(0x02);
  setup.firmware[0xFFF] = Filled(0x03);
  SimProgrammer& p = attach(setup);
  const Pages file = Firmware(0xFC0, 64);
  UpdateHost host(*bench, clock);
  const std::uint64_t start = clock.nowUs();
  ASSERT_EQ(host.run(file), "updated");
  EXPECT_EQ(p.setup().firmware, SimPages(file.begin(), file.end()));
  EXPECT_EQ(host.progress.front(), 5);
  EXPECT_EQ(host.progress.back(), 100);
  EXPECT_EQ(host.progress[4 + 31], 30 + 70 * 32 / 64) << "after page 32 of 64";
  // 64 frames of 259 bytes at 25,000 baud are most of it.
  EXPECT_GT(clock.nowUs() - start, 64 * 259 * 400 + 1'000'000u);
  EXPECT_LT(clock.nowUs() - start, 64 * 259 * 400 + 2'500'000u);

  // A bench file written back keeps the new firmware.
  auto again = SimBench::fromJson(bench->toJson(), clock);
  ASSERT_TRUE(again.bench) << again.error;
  EXPECT_EQ(again.bench->programmer(0).setup().firmware, p.setup().firmware);
}

TEST_F(SimBootLoaderTest, FileWithNoPagesLeavesTheBlocksErased) {
  SimProgrammerSetup setup = Jumpered();
  setup.firmware[0xFE2] = Filled(0x02);
  SimProgrammer& p = attach(setup);
  ASSERT_EQ(update({}), "updated");
  EXPECT_TRUE(p.setup().firmware.empty());
}

struct UpdateCase {
  const char* name;
  std::function<void(SimProgrammerSetup&)> arrange;
  const char* message;
};
void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

class SimUpdateFailureTest : public SimBootLoaderTest, public ::testing::WithParamInterface<UpdateCase> {};

TEST_P(SimUpdateFailureTest, EndsWithItsMessage) {
  SimProgrammerSetup setup = Jumpered();
  GetParam().arrange(setup);
  attach(setup);
  EXPECT_EQ(update(Firmware(0xFC0, 4)), GetParam().message);
}

SimBootFaults::Connect ConnectFault(const char* how) {
  return std::string(how) == "silent" ? SimBootFaults::Connect::kSilent : SimBootFaults::Connect::kWrong;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimUpdateFailureTest,
    ::testing::Values(
        UpdateCase{"JumpersNotSet", [](SimProgrammerSetup& s) { s.updateJumpers = false; },
                   "Error!\nOn-board jumpers may not connect!"},
        UpdateCase{"ForeignDevice", [](SimProgrammerSetup& s) { s.usb.product = "Other"; }, ""},
        UpdateCase{"ProductStringUnreadable", [](SimProgrammerSetup& s) { s.faults.refusedCalls = {"productString"}; },
                   ""},
        UpdateCase{"CannotOpen", [](SimProgrammerSetup& s) { s.faults.refusedCalls = {"open"}; }, ""},
        UpdateCase{"BaudRateRefused", [](SimProgrammerSetup& s) { s.faults.refusedCalls = {"baudRate"}; }, ""},
        UpdateCase{"LineControlRefused", [](SimProgrammerSetup& s) { s.faults.refusedCalls = {"lineControl"}; }, ""},
        UpdateCase{"ConnectUnanswered", [](SimProgrammerSetup& s) { s.faults.boot.connect = ConnectFault("silent"); },
                   "Can not connect!"},
        UpdateCase{"ConnectAnsweredWrong",
                   [](SimProgrammerSetup& s) { s.faults.boot.connect = ConnectFault("wrong"); }, "Can not connect!"},
        UpdateCase{"OtherId", [](SimProgrammerSetup& s) { s.bootId = {1, 2, 3, 4, 5, 6, 7}; }, "ID code not match!"},
        UpdateCase{"Block0NotReady",
                   [](SimProgrammerSetup& s) { s.faults.boot.erase[0] = SimBootOutcome::kNotReady; }, "Time out!"},
        UpdateCase{"Block1WillNotErase",
                   [](SimProgrammerSetup& s) { s.faults.boot.erase[1] = SimBootOutcome::kFails; },
                   "Block 1 erase error!"},
        UpdateCase{"Block2WillNotErase",
                   [](SimProgrammerSetup& s) { s.faults.boot.erase[2] = SimBootOutcome::kFails; },
                   "Block 2 erase error!"},
        UpdateCase{"SilentAfterAnErase",
                   [](SimProgrammerSetup& s) { s.faults.boot.erase[2] = SimBootOutcome::kSilent; },
                   "Can not connect!"},
        UpdateCase{"PageWillNotProgram",
                   [](SimProgrammerSetup& s) { s.faults.boot.program[0xFC2] = SimBootOutcome::kFails; },
                   "Program error!"},
        UpdateCase{"PageNeverReady",
                   [](SimProgrammerSetup& s) { s.faults.boot.program[0xFC2] = SimBootOutcome::kNotReady; },
                   "Time out!"},
        UpdateCase{"StatusLostAfterAPage",
                   [](SimProgrammerSetup& s) { s.faults.boot.program[0xFC2] = SimBootOutcome::kSilent; },
                   "Unknown error!"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimBootLoaderTest, PagesOutsideItsOwnFlashDoNotProgram) {
  attach(Jumpered());
  EXPECT_EQ(update(Firmware(0x040, 2)), "Program error!");
}

TEST_F(SimBootLoaderTest, SeveralOrNoDevices) {
  EXPECT_EQ(update(Firmware(0xFC0, 1)), "No programmer connected!");
  attach(Jumpered());
  attach(Jumpered());
  EXPECT_EQ(update(Firmware(0xFC0, 1)), "More than 1 programmers are detected!");
}

TEST_F(SimBootLoaderTest, FirmwareDoesNotRunSoANormalResetFails) {
  attach(Jumpered());
  SimHost host(*bench, clock);
  host.open(0);
  EXPECT_FALSE(host.reset()) << "busy through all 500 polls";
  host.write({'I'});
  host.spinMs(50);
  EXPECT_EQ(host.queued(), 0u) << "nothing at the normal rate";

  // Jumpers off and plugged in again: the firmware answers.
  bench->programmer(0).setup().updateJumpers = false;
  ASSERT_TRUE(bench->detach(0));
  ASSERT_TRUE(bench->reattach(0));
  host.open(0);
  EXPECT_TRUE(host.reset());
}

class SimBootDialogueTest : public SimBootLoaderTest {
protected:
  void SetUp() override {
    attach(Jumpered());
    ASSERT_EQ(bench->BridgeOpen(0, handle), kBridgeOk);
    ASSERT_EQ(bench->BridgeSetBaudRate(handle, kUpdateBaud), kBridgeOk);
    ASSERT_EQ(bench->BridgeSetLineControl(handle, kLineControl8N1), kBridgeOk);
  }
  std::uint64_t write(const Bytes& bytes) {
    std::uint32_t written = 0;
    const std::uint64_t start = clock.nowUs();
    EXPECT_EQ(bench->BridgeWrite(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written),
              kBridgeOk);
    return clock.nowUs() - start;
  }
  Bytes read(std::uint32_t count) {
    Bytes out(count);
    std::uint32_t got = 0;
    bench->BridgeRead(handle, out.data(), count, got);
    out.resize(got);
    return out;
  }
  void connect() {
    write(Bytes(kBootLeadInCount, kBootLeadIn));
    write({kBootConnect});
    ASSERT_EQ(read(1), Bytes{kBootConnect});
    write({kBootIdCheck, 0xDF, 0xFF, 0x0F, 0x07, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3});
  }
  static Bytes PageFrame(std::uint16_t page, std::uint8_t fill) {
    Bytes frame = {kBootPageProgram, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)};
    frame.insert(frame.end(), kSimPageSize, fill);
    return frame;
  }
  BridgeHandle handle = kNoHandle;
};

TEST_F(SimBootDialogueTest, StatusReadBehindAPageIsAnsweredOnceThePageIsProgrammed) {
  connect();
  EXPECT_EQ(write(PageFrame(0xFC0, 0x5A)), 259 * 400u) << "real wire time at 25,000 baud";
  const std::uint64_t frameEnd = clock.nowUs();
  write({kBootStatusRead});
  const Bytes status = read(2);
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[0], kBootReady);
  EXPECT_EQ(status[1], kBootIdPassed);
  EXPECT_GE(clock.nowUs() - frameEnd, simtime::kBootProgramUs + 2 * 400);
  EXPECT_EQ(bench->programmer(0).setup().firmware.at(0xFC0), Filled(0x5A));
}

TEST_F(SimBootDialogueTest, NoConnectWithoutTheLeadInAndNoFlashWorkWithoutTheId) {
  write({kBootConnect});
  EXPECT_TRUE(read(1).empty()) << "the link is not tuned yet";
  write(Bytes(kBootLeadInCount, kBootLeadIn));
  write({kBootConnect});
  ASSERT_EQ(read(1), Bytes{kBootConnect});
  write(PageFrame(0xFC0, 0x00));
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady, 0x00})) << "no ID check yet: the page is ignored";
  write({kBootIdCheck, 0xDF, 0xFF, 0x0F, 0x07, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC4});
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady, kBootIdMismatch}));
  EXPECT_TRUE(bench->programmer(0).setup().firmware.empty());
}

TEST_F(SimBootDialogueTest, ProgrammingFlashThatIsNotErasedFailsUntilTheStatusIsCleared) {
  bench->programmer(0).setup().firmware[0xFC0] = Filled(0x00);
  connect();
  write(PageFrame(0xFC0, 0x11));
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady | kBootProgramFailed, kBootIdPassed}));
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady | kBootProgramFailed, kBootIdPassed})) << "the bit stays";
  write({kBootClearStatus, kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady, kBootIdPassed}));
  // An erase of the block takes its time; the status read behind it waits for it.
  write({kBootBlockErase, 0xC0, 0x0F, kBootEraseConfirm});
  const std::uint64_t sent = clock.nowUs();
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady, kBootIdPassed}));
  EXPECT_GE(clock.nowUs() - sent, simtime::kBootEraseBaseUs + 8 * simtime::kBootErasePerKbUs);
  EXPECT_TRUE(bench->programmer(0).setup().firmware.empty());
}

TEST_F(SimBootDialogueTest, AfterAShortFaultEveryStatusAnswerStopsHalfWayUntilAReset) {
  bench->programmer(0).setup().faults.boot.erase[2] = SimBootOutcome::kShort;
  connect();
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady, kBootIdPassed})) << "whole before the fault strikes";
  write({kBootBlockErase, 0xC0, 0x0F, kBootEraseConfirm});
  write({kBootStatusRead});
  EXPECT_EQ(read(2), Bytes{kBootReady});
  write({kBootStatusRead});
  EXPECT_EQ(read(2), Bytes{kBootReady}) << "and so it stays";
  ASSERT_EQ(bench->BridgeSetFlowControl(handle, kResetLine), kBridgeOk);
  ASSERT_EQ(bench->BridgeSetFlowControl(handle, kLinesReleased), kBridgeOk);
  connect();
  write({kBootStatusRead});
  EXPECT_EQ(read(2), (Bytes{kBootReady, kBootIdPassed}));
}

TEST_F(SimBootDialogueTest, ResetStartsTheDialogueAgain) {
  connect();
  ASSERT_EQ(bench->BridgeSetFlowControl(handle, kResetLine), kBridgeOk);
  ASSERT_EQ(bench->BridgeSetFlowControl(handle, kLinesReleased), kBridgeOk);
  write({kBootStatusRead});
  EXPECT_TRUE(read(2).empty()) << "not connected any more";
}

TEST_F(SimBootDialogueTest, AtTheNormalRateItHearsNoise) {
  ASSERT_EQ(bench->BridgeSetBaudRate(handle, kNormalBaud), kBridgeOk);
  write(Bytes(kBootLeadInCount, kBootLeadIn));
  write({kBootConnect});
  EXPECT_TRUE(read(1).empty());
}

}  // namespace
}  // namespace fd::test
