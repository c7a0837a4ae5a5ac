// The firmware update through the programmer's boot loader: the update mode's checks, the
// Updating window's dialogue byte by byte, its failures and their messages, the pages it
// programs and what the bench keeps of them.
#include <gtest/gtest.h>

#include "support/ManualTimers.h"
#include "flows/update/UpdateRig.h"

namespace fd::test {
namespace {

using Op = TraceEntry::Op;
using Write = std::vector<std::uint8_t>;

class UpdateTest : public ::testing::Test {
protected:
  std::vector<std::string> texts() const { return rig.prompter.texts(); }
  UpdateRig rig;
};

// ---- The update mode --------------------------------------------------------------------

TEST_F(UpdateTest, NoDeviceAndSeveralDevicesAreToldAndNothingIsOpened) {
  EXPECT_EQ(rig.run(), UpdateOutcome::NoDevice);
  EXPECT_EQ(texts(), (std::vector<std::string>{kMsgEnterUpdateMode, kMsgNoProgrammerConnected}));

  rig.prompter.clear();
  rig.attach();
  rig.attach();
  EXPECT_EQ(rig.run(), UpdateOutcome::SeveralDevices);
  EXPECT_EQ(texts(), (std::vector<std::string>{kMsgEnterUpdateMode, kMsgSeveralProgrammers}));
  EXPECT_EQ(rig.count(Op::Open), 0);
  EXPECT_EQ(rig.prompter.messages()[0].caption, kCaptionUpdate);
  EXPECT_EQ(rig.prompter.messages()[0].icon, MsgIcon::None);
  EXPECT_EQ(rig.prompter.messages()[1].caption, kCaptionError);
}

// OK is never answered by silence: each way out before anything is sent is said.
TEST_F(UpdateTest, AnotherDeviceIsLeftAloneAndSaidSo) {
  SimProgrammerSetup other = Jumpered();
  other.usb.product = "Quorvel Flashdocks";
  rig.attach(other);
  EXPECT_EQ(rig.run(), UpdateOutcome::NotProgrammer);
  EXPECT_EQ(texts(), (std::vector<std::string>{kMsgEnterUpdateMode, kMsgUpdateNotProgrammer}));
  EXPECT_EQ(rig.prompter.messages()[1].caption, kCaptionError);
  EXPECT_EQ(rig.count(Op::Open), 0);
  EXPECT_EQ(rig.count(Op::GetProductString), 3);
}

TEST(UpdateModeTest, AProgrammerThatCannotBeOpenedOrSetUpIsClosedAndSaidSo) {
  const struct {
    const char* refused;
    UpdateOutcome outcome;
    const char* text;
    int closes;  // a link opened and then refused its settings is closed again
  } cases[] = {
      {"open", UpdateOutcome::CannotOpen, kMsgUpdateCannotOpen, 0},
      {"baudRate", UpdateOutcome::LinkSettings, kMsgUpdateLinkSettings, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.refused);
    UpdateRig rig;
    SimProgrammerSetup setup = Jumpered();
    setup.faults.refusedCalls = {c.refused};
    rig.attach(setup);
    EXPECT_EQ(rig.run(), c.outcome);
    EXPECT_EQ(rig.prompter.texts(), (std::vector<std::string>{kMsgEnterUpdateMode, c.text}));
    EXPECT_EQ(rig.count(Op::Close), c.closes);
    EXPECT_EQ(rig.state.currentHandle, kNoHandle);
  }
}

TEST_F(UpdateTest, JumperTestReadsTheStatusLineAHundredTimes) {
  struct Case {
    const char* name;
    bool jumpers;
    int dropAt;  // the status read that shows bit 0x20 clear (0: none)
    int reads;
    UpdateOutcome outcome;
  };
  for (const Case& c : {Case{"jumpers set", true, 0, 100, UpdateOutcome::Canceled},
                        Case{"no jumpers", false, 0, 1, UpdateOutcome::Jumpers},
                        Case{"drops on the last read", true, 100, 100, UpdateOutcome::Jumpers}}) {
    SCOPED_TRACE(c.name);
    UpdateRig r;
    SimProgrammerSetup setup;
    setup.updateJumpers = c.jumpers;
    r.attach(setup);
    r.bending.onStatus = [&](int n, std::uint8_t& status) {
      if (n == c.dropAt) status &= static_cast<std::uint8_t>(~kBusyBit);
    };
    EXPECT_EQ(r.run(), c.outcome);  // the file choice is cancelled when the test gets there
    EXPECT_EQ(r.count(Op::GetModemStatus), c.reads);
    EXPECT_EQ(r.count(Op::Close), 1);
    const auto shown = r.prompter.texts();
    EXPECT_EQ(std::count(shown.begin(), shown.end(), std::string(kMsgJumpers)), c.outcome == UpdateOutcome::Jumpers);
    // Nothing reaches the boot loader before the window runs.
    EXPECT_TRUE(r.writes().empty());
  }
}

// ---- A good update ------------------------------------------------------------------------

TEST_F(UpdateTest, GoodUpdateSendsEachBootLoaderCommandExactly) {
  SimProgrammer& programmer = rig.attach();
  Bytes data;
  rig.chooseFile(FirmwareFile(0x1000 - 2, 2, &data));
  ASSERT_EQ(rig.run(), UpdateOutcome::Updated);

  const BridgeHandle h = rig.bootHandle();
  std::vector<Write> expected(16, Write{0x00});
  expected.push_back({0xB0});
  expected.push_back({0xF5, 0xDF, 0xFF, 0x0F, 0x07, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3});
  expected.push_back({0x70});
  for (const Write& erase : {Write{0x20, 0xF0, 0x0F, 0xD0}, Write{0x20, 0xE0, 0x0F, 0xD0}, Write{0x20, 0xC0, 0x0F, 0xD0}}) {
    expected.push_back(erase);
    expected.push_back({0x70});
  }
  for (int k = 0; k < 2; ++k) {
    Write frame = {0x41, static_cast<std::uint8_t>(0xFE + k), 0x0F};
    frame.insert(frame.end(), data.begin() + 256 * k, data.begin() + 256 * (k + 1));
    expected.push_back(frame);
    expected.push_back({0x70});
  }
  EXPECT_EQ(rig.tracing.writesTo(h), expected);

  // The link: the update's rate and framing, every page after a flush of both buffers.
  std::vector<std::string> calls;
  for (const TraceEntry& e : rig.tracing.entriesFor(h)) {
    if (e.op == Op::SetBaudRate) {
      EXPECT_EQ(e.value, kUpdateBaud);
    }
    if (e.op == Op::SetLineControl) {
      EXPECT_EQ(e.value, kLineControl8N1);
    }
    if (e.op == Op::Read) calls.push_back("read " + std::to_string(e.requested));
    if (e.op == Op::FlushBuffers) calls.push_back("flush");
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"read 3", "read 2", "read 2", "read 2", "flush", "read 2", "flush",
                                             "read 2"}));
  EXPECT_EQ(rig.count(Op::Close), 1);
  EXPECT_EQ(rig.state.currentHandle, kNoHandle);
  EXPECT_EQ(texts(), (std::vector<std::string>{kMsgEnterUpdateMode, kMsgUpdated}));
  EXPECT_EQ(rig.prompter.last()->caption, kCaptionInfo);
  EXPECT_EQ(rig.prompter.openChoices().at(0).title, "Select program file");
  EXPECT_EQ(programmer.setup().firmware.size(), 2u);
}

TEST_F(UpdateTest, SixtyFourPagesFillTheFlashWithProgressAfterEachPage) {
  SimProgrammerSetup setup = Jumpered();
  // The old firmware is in every block; none of it may survive.
  setup.firmware[0xFC5] = SimPage{};
  setup.firmware[0xFE2] = SimPage{};
  setup.firmware[0xFFF] = SimPage{};
  rig.attach(setup);
  Bytes data;
  rig.chooseFile(FirmwareFile(0xFC0, 64, &data));
  std::vector<std::pair<std::size_t, int>> shown;  // pages written, progress
  rig.dialogs.afterTick = [&](ModalFlow& flow) {
    const auto& update = static_cast<UpdateFlow&>(flow);
    if (shown.empty() || shown.back() != std::make_pair(update.pagesWritten(), update.view().progress)) {
      shown.emplace_back(update.pagesWritten(), update.view().progress);
    }
  };
  ASSERT_EQ(rig.run(), UpdateOutcome::Updated);

  std::vector<std::pair<std::size_t, int>> expected = {{0, 0}, {0, 5}, {0, 10}, {0, 15}, {0, 20}};
  for (std::size_t k = 1; k <= 64; ++k) expected.emplace_back(k, static_cast<int>(30 + 70 * k / 64));
  EXPECT_EQ(shown, expected);
  EXPECT_EQ(shown.back().second, 100);

  // The programmer's flash holds the file, and a bench file written back keeps it.
  SimPages written;
  for (int k = 0; k < 64; ++k) {
    SimPage page;
    std::copy(data.begin() + 256 * k, data.begin() + 256 * (k + 1), page.begin());
    written[static_cast<std::uint16_t>(0xFC0 + k)] = page;
  }
  EXPECT_EQ(rig.bench.programmer(0).setup().firmware, written);
  const std::string saved = rig.bench.toJson();
  SimBenchLoad again = SimBench::fromJson(saved, rig.clock);
  ASSERT_TRUE(again.bench) << again.error;
  EXPECT_EQ(again.bench->programmer(0).setup().firmware, written);
  EXPECT_TRUE(again.bench->programmer(0).setup().updateJumpers);
}

TEST_F(UpdateTest, AFileWithoutDataOrWithoutTheLastPageIsRefusedBeforeAnyErase) {
  // Either would erase the programmer's firmware and leave it without any; without the last
  // page the boot loader's own ID check would read erased flash for good.
  const struct {
    const char* name;
    std::string file;
    std::string message;
  } cases[] = {
      {"header only", SFile({}), kNoDataText},
      {"no data records", SFile({kS8}), kNoDataText},
      {"all but the last page", FirmwareFile(0xFC0, 63), kMsgNoLastFirmwarePage},
      {"S3 records without the last page", SFile({test::S3(0xFE000, Counting(16)), kS8}), kMsgNoLastFirmwarePage},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateRig r;
    SimProgrammerSetup setup = Jumpered();
    setup.firmware[0xFC5] = SimPage{};
    r.attach(setup);
    r.chooseFile(c.file);
    r.prompter.chooseOpenNext(std::nullopt);
    EXPECT_EQ(r.run(), UpdateOutcome::Canceled);
    EXPECT_EQ(r.prompter.texts(), (std::vector<std::string>{kMsgEnterUpdateMode, c.message, kMsgUpdateCanceled}));
    EXPECT_EQ(r.prompter.messages()[1].caption, kCaptionError);
    EXPECT_TRUE(r.writes().empty());
    EXPECT_EQ(r.bench.programmer(0).setup().firmware.count(0xFC5), 1u);
  }
  // S3 records that bring the last page go in.
  UpdateRig s3;
  s3.attach();
  s3.chooseFile(SFile({test::S3(0xFFF00, Counting(16)), kS8}));
  EXPECT_EQ(s3.run(), UpdateOutcome::Updated);
  EXPECT_EQ(s3.bench.programmer(0).setup().firmware.count(0xFFF), 1u);
}

// The update timer's period after each step: the lead-in writes, the erases, programming.
TEST(UpdatePacing, EachStepSetsTheNextTicksPeriod) {
  UpdateRig rig;
  rig.attach();
  rig.chooseFile(FirmwareFile(0x1000 - 2, 2));
  rig.bench.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
  BridgeHandle handle = kNoHandle;
  ASSERT_EQ(rig.bench.BridgeOpen(0, handle), kBridgeOk);
  rig.bench.BridgeSetBaudRate(handle, kUpdateBaud);
  rig.bench.BridgeSetLineControl(handle, kLineControl8N1);

  UpdateFlow flow(UpdateFlowPorts{rig.bench, rig.pacer, rig.prompter, rig.clock}, handle);
  ManualTimers timers;
  flow.open(timers);
  std::vector<int> periods = {timers.period(kTimerUpdate)};
  while (!flow.ended() && periods.size() < 40) {
    rig.clock.advanceUs(static_cast<std::uint64_t>(periods.back()) * 1000);
    flow.onTimer(kTimerUpdate);
    periods.push_back(flow.ended() ? -1 : timers.period(kTimerUpdate));
  }
  std::vector<int> expected = {0};
  expected.insert(expected.end(), 20, 20);   // after the file and steps 0 to 18
  expected.insert(expected.end(), 6, 200);   // after steps 19 to 24
  expected.push_back(10);                    // after step 25
  expected.push_back(0);                     // after the first page
  expected.push_back(-1);                    // the second page ends the window
  EXPECT_EQ(periods, expected);
  EXPECT_EQ(flow.result(), FlowResult::Ok);
  EXPECT_FALSE(timers.running(kTimerUpdate));
}

// ---- Failures -----------------------------------------------------------------------------

struct BootFault {
  const char* name;
  std::function<void(SimProgrammerSetup&)> fault;
  const char* message;
  bool erased;  // an erase went out before the failure
};

TEST_F(UpdateTest, EveryBootLoaderFailureEndsTheWindowWithItsMessage) {
  using Outcome = SimBootOutcome;
  const std::vector<BootFault> cases = {
      {"no answer to connect", [](auto& s) { s.faults.boot.connect = SimBootFaults::Connect::kSilent; },
       "Can not connect!", false},
      {"wrong answer to connect", [](auto& s) { s.faults.boot.connect = SimBootFaults::Connect::kWrong; },
       "Can not connect!", false},
      {"another ID", [](auto& s) { s.bootId[6] = 0x00; }, "ID code not match!", false},
      {"block 0 not erased", [](auto& s) { s.faults.boot.erase[0] = Outcome::kFails; }, "Block 0 erase error!", true},
      {"block 1 not erased", [](auto& s) { s.faults.boot.erase[1] = Outcome::kFails; }, "Block 1 erase error!", true},
      {"block 2 not erased", [](auto& s) { s.faults.boot.erase[2] = Outcome::kFails; }, "Block 2 erase error!", true},
      {"erase never ready", [](auto& s) { s.faults.boot.erase[1] = Outcome::kNotReady; }, "Time out!", true},
      {"silent after erase", [](auto& s) { s.faults.boot.erase[0] = Outcome::kSilent; }, "Can not connect!", true},
      {"page not programmed", [](auto& s) { s.faults.boot.program[0xFFE] = Outcome::kFails; }, "Program error!", true},
      {"page never ready", [](auto& s) { s.faults.boot.program[0xFFD] = Outcome::kNotReady; }, "Time out!", true},
      {"silent while programming", [](auto& s) { s.faults.boot.program[0xFFD] = Outcome::kSilent; },
       "Unknown error!", true},
  };
  for (const BootFault& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateRig r;
    SimProgrammerSetup setup = Jumpered();
    setup.firmware[0xFC8] = SimPage{};
    c.fault(setup);
    r.attach(setup);
    r.chooseFile(FirmwareFile(0x1000 - 3, 3));
    EXPECT_EQ(r.run(), UpdateOutcome::Canceled);
    EXPECT_EQ(r.prompter.texts(), (std::vector<std::string>{kMsgEnterUpdateMode, c.message, kMsgUpdateCanceled}));
    EXPECT_EQ(r.prompter.messages()[1].caption, kCaptionError);
    EXPECT_EQ(r.prompter.messages()[1].icon, MsgIcon::Error);
    EXPECT_EQ(r.anyEraseSent(), c.erased);
    // Without an erase the old firmware is untouched.
    if (!c.erased) {
      EXPECT_EQ(r.bench.programmer(0).setup().firmware.count(0xFC8), 1u);
    }
    EXPECT_EQ(r.count(Op::Close), 1);
  }
}

// Answers the bench never gives: half of one, a changed byte, a write cut short.
struct LinkFault {
  const char* name;
  int read;      // the read to bend (1: the connect answer, 2 to 4: the erases, 5...: pages)
  int keep;      // bytes of it that arrive
  int setThird;  // a value for the third byte (-1: as it came)
  int shortWrite;  // the write cut by one byte (0: none)
  const char* message;
};

TEST_F(UpdateTest, ShortOrWrongAnswersNeverPassForAnUpdate) {
  // Writes: 16 lead-in, connect, ID check, status read, then erase and status read three
  // times: the first page frame is write 26.
  const std::vector<LinkFault> cases = {
      {"connect answer two bytes short", 1, 1, -1, 0, "Can not connect!"},
      {"connect answer one byte short", 1, 2, -1, 0, "Can not connect!"},
      {"ID bits 0x08 only", 1, 3, 0x08, 0, "ID code not match!"},
      {"no erase status at all", 2, 0, -1, 0, "Can not connect!"},
      {"half an erase status", 3, 1, -1, 0, "Time out!"},
      {"half the last erase status", 4, 1, -1, 0, "Time out!"},
      {"half a page status", 6, 1, -1, 0, "Unknown error!"},
      {"no page status", 5, 0, -1, 0, "Unknown error!"},
      {"page frame one byte short", 0, 0, -1, 26, "Unknown error!"},
      {"second page frame short", 0, 0, -1, 28, "Unknown error!"},
  };
  for (const LinkFault& c : cases) {
    SCOPED_TRACE(c.name);
    UpdateRig r;
    r.attach();
    r.chooseFile(FirmwareFile(0x1000 - 3, 3));
    r.bending.onRead = [&](int n, std::uint8_t* buffer, std::uint32_t& got) {
      if (n != c.read) return;
      if (c.setThird >= 0 && got >= 3) buffer[2] = static_cast<std::uint8_t>(c.setThird);
      got = std::min<std::uint32_t>(got, static_cast<std::uint32_t>(c.keep));
    };
    r.bending.writeLimit = [&](int n, const std::uint8_t*, std::uint32_t count) {
      return n == c.shortWrite ? count - 1 : count;
    };
    EXPECT_EQ(r.run(), UpdateOutcome::Canceled);
    EXPECT_EQ(r.prompter.texts(), (std::vector<std::string>{kMsgEnterUpdateMode, c.message, kMsgUpdateCanceled}));
  }
}

TEST_F(UpdateTest, AFileWithPagesOutsideTheErasedBlocksIsRefusedBeforeAnythingIsSent) {
  SimProgrammerSetup setup = Jumpered();
  setup.firmware[0xFC8] = SimPage{};
  rig.attach(setup);
  // Page 0xFBF lies just below the three blocks.
  rig.chooseFile(SFile({S2(0xFBF00, Counting(16)), S2(0xFC000, Counting(16)), kS8}), "low.mot");
  rig.prompter.chooseOpenNext(std::nullopt);
  EXPECT_EQ(rig.run(), UpdateOutcome::Canceled);
  EXPECT_EQ(texts(), (std::vector<std::string>{
                         kMsgEnterUpdateMode,
                         "Selected file has data at 0xFBF00, outside the programmer's flash (0xFC000 to 0xFFFFF)!",
                         kMsgUpdateCanceled}));
  EXPECT_EQ(rig.prompter.openChoices().size(), 2u);  // the choice again, then cancelled
  EXPECT_TRUE(rig.writes().empty());
  EXPECT_EQ(rig.bench.programmer(0).setup().firmware.count(0xFC8), 1u);

  // A good file at the second choice goes in.
  UpdateRig second;
  second.attach();
  second.chooseFile(SFile({S2(0x10000, Counting(16)), kS8}), "high.mot");
  second.chooseFile(FirmwareFile(0xFFF, 1));
  EXPECT_EQ(second.run(), UpdateOutcome::Updated);
}

TEST_F(UpdateTest, TheCloseBoxCancelsUntilTheFirstEraseAndIsRefusedAfterIt) {
  // Closed at once: taken at the first tick after the file, nothing sent.
  rig.attach();
  rig.chooseFile(FirmwareFile(0x1000 - 2, 2));
  rig.dialogs.interrupted = [] { return true; };
  EXPECT_EQ(rig.run(), UpdateOutcome::Canceled);
  EXPECT_TRUE(rig.writes().empty());
  EXPECT_EQ(texts().back(), kMsgUpdateCanceled);

  // Closed again and again once the first erase went out: the update goes on to its end.
  UpdateRig late;
  late.attach();
  late.chooseFile(FirmwareFile(0x1000 - 2, 2));
  late.dialogs.interrupted = [&late] { return late.anyEraseSent(); };
  EXPECT_EQ(late.run(), UpdateOutcome::Updated);
  EXPECT_EQ(late.bench.programmer(0).setup().firmware.size(), 2u);
  EXPECT_EQ(late.prompter.texts().back(), kMsgUpdated);
}

}  // namespace
}  // namespace fd::test
