// Data transfers: the off-line load into the store ('D') and on-line programming ('P'),
// paced the way the host's loading window paces them.
#include <gtest/gtest.h>

#include "sim/SimErrors.h"
#include "sim/SimHost.h"

namespace fd::test {
namespace {


using Pages = std::vector<std::pair<std::uint16_t, SimPage>>;

// Pages from 0x040 on, each its own pattern so a swapped or lost page shows.
Pages Numbered(int count) {
  Pages pages;
  for (int k = 0; k < count; ++k) {
    SimPage data;
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(k * 7 + i);
    pages.emplace_back(static_cast<std::uint16_t>(0x040 + k), data);
  }
  return pages;
}

ProgrammerInfo Block(std::size_t pages) {
  ProgrammerInfo b = SimProgrammerSetup::FreshInfo();
  b[info::kTypeCode] = '2';
  b[info::kPower] = kSimPowerNone;
  std::copy(kSimDefaultTargetId.begin(), kSimDefaultTargetId.end(), b.begin() + info::kIdCode);
  const std::string names = "ZK40F8C12   blinky          ";
  std::copy(names.begin(), names.end(), b.begin() + info::kNames);
  b[info::kBlockTable] = 0x40;
  b[info::kBlockTable + 1] = 0x00;
  const std::string time = "240314093012";
  std::copy(time.begin(), time.end(), b.begin() + info::kModifyTime);
  const std::uint32_t size = static_cast<std::uint32_t>(pages * 600);
  for (int i = 0; i < 4; ++i) b[info::kFileSize + i] = static_cast<std::uint8_t>(size >> (8 * i));
  b[info::kPageCount] = static_cast<std::uint8_t>(pages);
  b[info::kPageCount + 1] = static_cast<std::uint8_t>(pages >> 8);
  return b;
}

struct Plan {
  std::size_t framesSent = SIZE_MAX;  // stop sending after this many frames
  bool endMark = true;                // 'H' after a lone last frame
  int corruptFrame = -1;
};

class SimTransferTest : public SimHostTest {
protected:
  SimTransferTest() : SimHostTest(&SimBench::fresh) {}

  // An off-line load as the loading window sends it; "" when the programmer confirmed it,
  // else the step and how it failed.
  std::string load(const ProgrammerInfo& block, const Pages& pages, const Plan& plan = {}) {
    host.write({'D'});
    if (auto o = host.handshakeOutcome(1000); !o.empty()) return "ack: " + o;
    host.write(SimHost::headerFrame(block));
    if (auto o = host.headerOutcome(); !o.empty()) return "header: " + o;
    return transfer(block, pages, plan, 2, 10);
  }

  // An on-line program after the connection, at the pacing of the target's type code.
  std::string program(const Pages& pages, std::uint64_t periodMs, const Plan& plan = {}) {
    host.write({'P'});
    return transfer(Block(pages.size()), pages, plan, 1, periodMs);
  }

  std::string transfer(const ProgrammerInfo& block, const Pages& pages, const Plan& plan, std::size_t group,
                       std::uint64_t periodMs) {
    host.write(SimHost::descriptorFrame(block));
    if (auto o = host.handshakeOutcome(10); !o.empty()) return "descriptor: " + o;
    const std::size_t frames = std::min(plan.framesSent, pages.size());
    std::uint64_t tick = clock.nowUs();
    for (std::size_t i = 0; i < frames; i += group) {
      tick += periodMs * 1000;
      clock.sleepUntilUs(tick);
      const std::string at = "page " + std::to_string(i) + ": ";
      if (!host.waitClear(kBusyBit, 100)) return at + "timed out";
      if (host.waitClear(kResultBit, 2)) return at + "error " + HexText(host.fetchError().value_or(0), 2);
      for (std::size_t k = i; k < std::min(i + group, frames); ++k) {
        Bytes f = SimHost::pageFrame(pages[k].first, pages[k].second);
        if (static_cast<int>(k) == plan.corruptFrame) f[100] ^= 0xFF;
        host.write(f);
      }
      if (plan.endMark && i + 1 == frames && frames == pages.size()) host.write({'H'});
    }
    clock.sleepUntilUs(tick + periodMs * 1000);
    if (auto o = host.handshakeOutcome(100); !o.empty()) return "finish: " + o;
    return "";
  }

  void connect(std::uint8_t type) { ASSERT_EQ(host.connect(type, kSimPowerNone, kSimDefaultTargetId), 0); }

  // 'S' on its own, run to its end; the error code, 0 when it programmed the target.
  int gang() {
    host.write({'L', 0x02});
    host.write({'S'});
    for (int i = 0; i < 100; ++i) {
      host.spinMs(100);
      if (!host.waitClear(kBusyBit, 2)) continue;
      if (host.waitClear(kResultBit, 2)) return host.fetchError().value_or(0xFF);
      const std::uint32_t n = host.queued();
      if (n > 0 && host.read(n).bytes.back() == kSimDoneProgress) return 0;
    }
    return -1;
  }

  void expectDamaged(const ProgrammerInfo& header) {
    const SimProgrammer& p = programmer();
    EXPECT_TRUE(p.storeDamaged());
    EXPECT_FALSE(p.hasImage());
    EXPECT_TRUE(p.image().empty());
    EXPECT_TRUE(std::equal(p.info().begin(), p.info().begin() + info::kHeaderSize, header.begin()))
        << "the header of the load is kept";
    EXPECT_TRUE(std::all_of(p.info().begin() + info::kDescriptor, p.info().end(), [](auto v) { return v == 0xFF; }))
        << "the store tells no file";
  }
};

TEST_F(SimTransferTest, LoadedImageIsWhatTheGangRunProgramsOntoTheTarget) {
  const Pages pages = Numbered(5);
  const ProgrammerInfo block = Block(5);
  programmer().target().memory[0x0A0] = Filled(0x11);  // old contents, gone after the run
  ASSERT_EQ(load(block, pages), "");
  EXPECT_EQ(programmer().info(), block);
  EXPECT_FALSE(programmer().storeDamaged());
  ASSERT_TRUE(programmer().hasImage());
  ASSERT_TRUE(host.reset());
  ASSERT_EQ(gang(), 0);
  SimPages expected(pages.begin(), pages.end());
  EXPECT_EQ(programmer().target().memory, expected);
}

TEST_F(SimTransferTest, StoreIsBusyOncePerGroupOfTwoFrames) {
  const Pages pages = Numbered(3);
  host.write({'D'});
  ASSERT_EQ(host.handshakeOutcome(1000), "");
  host.write(SimHost::headerFrame(Block(3)));
  ASSERT_EQ(host.headerOutcome(), "");
  host.write(SimHost::descriptorFrame(Block(3)));
  ASSERT_EQ(host.handshakeOutcome(10), "");

  host.write(SimHost::pageFrame(pages[0].first, pages[0].second));
  EXPECT_FALSE(host.status() & kBusyBit) << "the first frame of a group only waits for its partner";
  host.write(SimHost::pageFrame(pages[1].first, pages[1].second));
  EXPECT_TRUE(host.status() & kBusyBit) << "a full group goes to the store";
  ASSERT_TRUE(host.waitClear(kBusyBit, 100));

  // The lone last frame: nothing ends before its 'H'.
  host.write(SimHost::pageFrame(pages[2].first, pages[2].second));
  host.spinMs(10);
  EXPECT_FALSE(host.status() & kBusyBit);
  EXPECT_EQ(host.queued(), 0u);
  EXPECT_TRUE(programmer().storeDamaged()) << "not whole yet";
  host.write({'H'});
  EXPECT_TRUE(host.status() & kBusyBit);
  EXPECT_EQ(host.handshakeOutcome(100), "");
  EXPECT_EQ(programmer().image().size(), 3u);
}

class SimDamagedStoreTest;
struct Interruption {
  const char* name;
  std::function<void(SimDamagedStoreTest&)> cut;
};
void PrintTo(const Interruption& c, std::ostream* os) { *os << c.name; }

class SimDamagedStoreTest : public SimTransferTest, public ::testing::WithParamInterface<Interruption> {
public:
  using SimTransferTest::bench;
  using SimTransferTest::host;
  using SimTransferTest::load;

  // 'D', its header and the descriptor of four pages, all accepted.
  void announceFour() {
    host.write({'D'});
    ASSERT_EQ(host.handshakeOutcome(1000), "");
    host.write(SimHost::headerFrame(Block(4)));
    ASSERT_EQ(host.headerOutcome(), "");
    host.write(SimHost::descriptorFrame(Block(4)));
    ASSERT_EQ(host.handshakeOutcome(10), "");
  }
};

TEST_P(SimDamagedStoreTest, LeavesAStoreThatSaysSoAndCannotBeProgrammed) {
  // A good image first, which the cut-off load replaces.
  ASSERT_EQ(load(Block(2), Numbered(2)), "");
  ASSERT_TRUE(programmer().hasImage());

  GetParam().cut(*this);
  ASSERT_TRUE(host.reset());
  expectDamaged(Block(4));

  host.write({'I'});
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  const auto info = host.read(kInfoSize);
  ASSERT_EQ(info.rc, kBridgeOk);
  EXPECT_EQ(info.bytes[info::kFileSize], 0xFF) << "what the list shows as no file";
  ASSERT_TRUE(host.reset());
  EXPECT_EQ(gang(), kSimErrNoImage);

  // A whole load mends it.
  ASSERT_TRUE(host.reset());
  ASSERT_EQ(load(Block(4), Numbered(4)), "");
  EXPECT_FALSE(programmer().storeDamaged());
  EXPECT_TRUE(programmer().hasImage());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimDamagedStoreTest,
    ::testing::Values(
        Interruption{"FewerFramesByTheFinalHandshake",
                     [](SimDamagedStoreTest& t) {
                       EXPECT_EQ(t.load(Block(4), Numbered(4), {.framesSent = 3}), "finish: no answer");
                     }},
        Interruption{"CancelledAfterTheFirstGroup",
                     [](SimDamagedStoreTest& t) {
                       t.announceFour();
                       for (const auto& [page, data] : Numbered(2)) t.host.write(SimHost::pageFrame(page, data));
                     }},
        Interruption{"CancelledRightAfterTheHeader",
                     [](SimDamagedStoreTest& t) {
                       t.host.write({'D'});
                       ASSERT_EQ(t.host.handshakeOutcome(1000), "");
                       t.host.write(SimHost::headerFrame(Block(4)));
                       ASSERT_EQ(t.host.headerOutcome(), "");
                     }},
        Interruption{"UnpluggedMidway",
                     [](SimDamagedStoreTest& t) {
                       t.announceFour();
                       ASSERT_TRUE(t.bench->detach(0));
                       ASSERT_TRUE(t.bench->reattach(0));
                       t.host.open(0);
                     }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTransferTest, OddLoadWithoutEndMarkNeverFinishes) {
  EXPECT_EQ(load(Block(3), Numbered(3), {.endMark = false}), "finish: no answer");
  ASSERT_TRUE(host.reset());
  expectDamaged(Block(3));
}

struct StageFault {
  const char* name;
  SimErrorFault fault;
  const char* outcome;  // where the host's load stops and how
};
void PrintTo(const StageFault& c, std::ostream* os) { *os << c.name; }

class SimLoadFaultTest : public SimTransferTest, public ::testing::WithParamInterface<StageFault> {};

TEST_P(SimLoadFaultTest, StopsTheLoadWhereTheBenchSays) {
  programmer().faults().errors = {GetParam().fault};
  EXPECT_EQ(load(Block(4), Numbered(4)), GetParam().outcome);
}

constexpr auto kError = SimFaultAction::kError;
constexpr auto kAnswer = SimFaultAction::kAnswer;
constexpr auto kNoAnswer = SimFaultAction::kNoAnswer;
constexpr auto kStuck = SimFaultAction::kStuck;
constexpr auto kDelay = SimFaultAction::kDelay;

INSTANTIATE_TEST_SUITE_P(
    Cases, SimLoadFaultTest,
    ::testing::Values(
        StageFault{"StoreWillNotErase", {'D', "erase", 0x22, kError}, "ack: error 22"},
        StageFault{"AckNeverComes", {'D', "erase", 0, kNoAnswer}, "ack: no answer"},
        StageFault{"AckStuck", {'D', "erase", 0, kStuck}, "ack: timed out"},
        StageFault{"HeaderNotWritten", {'D', "header", 0x23, kError}, "header: error 23"},
        StageFault{"HeaderAnswersOddly", {'D', "header", 0x07, kAnswer}, "header: answer 07"},
        StageFault{"DescriptorRefused", {'D', "descriptor", 0x23, kError}, "descriptor: error 23"},
        StageFault{"DescriptorAnswersOddly", {'D', "descriptor", 0x01, kAnswer}, "descriptor: answer 01"},
        StageFault{"DescriptorSlow", {'D', "descriptor", 0, kDelay, 20}, "descriptor: timed out"},
        StageFault{"DescriptorAnswerLost", {'D', "descriptor", 0, kNoAnswer}, "descriptor: no answer"},
        StageFault{"GroupNotWritten", {'D', "page", 0x23, kError}, "page 2: error 23"},
        StageFault{"GroupWriteHangs", {'D', "page", 0, kStuck}, "page 2: timed out"},
        StageFault{"GroupWriteSlow", {'D', "page", 0, kDelay, 300}, "page 2: timed out"},
        StageFault{"GroupWriteABitSlow", {'D', "page", 0, kDelay, 50}, ""},
        StageFault{"FinishFails", {'D', "finish", 0x23, kError}, "finish: error 23"},
        StageFault{"FinishAnswersOddly", {'D', "finish", 0x99, kAnswer}, "finish: answer 99"},
        StageFault{"FinishAnswerLost", {'D', "finish", 0, kNoAnswer}, "finish: no answer"},
        StageFault{"FinishTooSlow", {'D', "finish", 0, kDelay, 500}, "finish: timed out"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimTransferTest, FramesThatFailTheirCrcAreRefusedWith0x12) {
  EXPECT_EQ(load(Block(4), Numbered(4), {.corruptFrame = 1}), "page 2: error 12");
  ASSERT_TRUE(host.reset());
  expectDamaged(Block(4));

  ASSERT_TRUE(host.reset());
  host.write({'D'});
  ASSERT_EQ(host.handshakeOutcome(1000), "");
  host.write(SimHost::headerFrame(Block(4)));
  ASSERT_EQ(host.headerOutcome(), "");
  Bytes descriptor = SimHost::descriptorFrame(Block(4));
  descriptor[5] ^= 0x20;
  host.write(descriptor);
  EXPECT_EQ(host.handshakeOutcome(10), "error 12");
}

TEST_F(SimTransferTest, AnythingButTheEndMarkAfterALoneLastFrameIsOutOfStep) {
  const Pages pages = Numbered(1);
  host.write({'D'});
  ASSERT_EQ(host.handshakeOutcome(1000), "");
  host.write(SimHost::headerFrame(Block(1)));
  ASSERT_EQ(host.headerOutcome(), "");
  host.write(SimHost::descriptorFrame(Block(1)));
  ASSERT_EQ(host.handshakeOutcome(10), "");
  host.write(SimHost::pageFrame(pages[0].first, pages[0].second));
  host.write({'I'});
  EXPECT_EQ(host.handshakeOutcome(100), "error 12");
}

TEST_F(SimTransferTest, EmptyImageLoadsWithTheDescriptorAlone) {
  EXPECT_EQ(load(Block(0), {}), "");
  EXPECT_TRUE(programmer().hasImage());
  EXPECT_TRUE(programmer().image().empty());
}

// ---------------------------------------------------------------- on-line

TEST_F(SimTransferTest, OnlineProgramWritesEachPageAsItArrives) {
  connect('3');
  const Pages pages = Numbered(3);
  host.write({'P'});
  host.write(SimHost::descriptorFrame(Block(3)));
  ASSERT_EQ(host.handshakeOutcome(10), "");
  host.write(SimHost::pageFrame(pages[0].first, pages[0].second));
  EXPECT_TRUE(host.status() & kBusyBit);
  ASSERT_TRUE(host.waitClear(kBusyBit, 100));
  EXPECT_EQ(programmer().target().read(pages[0].first), pages[0].second) << "on the target before the next frame";
  for (std::size_t k = 1; k < 3; ++k) {
    ASSERT_TRUE(host.waitClear(kBusyBit, 100));
    host.write(SimHost::pageFrame(pages[k].first, pages[k].second));
  }
  ASSERT_TRUE(host.waitClear(kBusyBit, 100));
  host.spinMs(50);
  EXPECT_EQ(host.queued(), 0u) << "no end before 'H'";
  host.write({'H'});
  EXPECT_EQ(host.handshakeOutcome(100), "");
  for (const auto& [page, data] : pages) EXPECT_EQ(programmer().target().read(page), data);
  EXPECT_FALSE(programmer().hasImage()) << "nothing goes to the store";
}

struct Pacing {
  std::uint8_t type;
  std::uint64_t periodMs;  // the host's frame period for this type code
};

TEST_F(SimTransferTest, EachTypeCodeIsReadyAtTheHostsFramePeriod) {
  for (const Pacing pacing : {Pacing{'2', 60}, Pacing{'3', 35}, Pacing{'7', 70}}) {
    SCOPED_TRACE(pacing.type);
    ASSERT_TRUE(host.reset());
    connect(pacing.type);
    const Pages pages = Numbered(6);
    host.write({'P'});
    host.write(SimHost::descriptorFrame(Block(pages.size())));
    ASSERT_EQ(host.handshakeOutcome(10), "");
    std::uint64_t tick = clock.nowUs();
    bool readyEveryTick = true;
    bool readyEarlier = true;
    for (const auto& [page, data] : pages) {
      // Halfway to the next tick the page is still being programmed...
      clock.sleepUntilUs(tick + pacing.periodMs * 500);
      readyEarlier = readyEarlier && !(host.status() & kBusyBit);
      // ...and done when the tick comes.
      tick += pacing.periodMs * 1000;
      clock.sleepUntilUs(tick);
      readyEveryTick = readyEveryTick && !(host.status() & kBusyBit);
      ASSERT_TRUE(host.waitClear(kBusyBit, 100));
      host.write(SimHost::pageFrame(page, data));
    }
    host.write({'H'});
    EXPECT_TRUE(readyEveryTick);
    EXPECT_FALSE(readyEarlier);
    clock.sleepUntilUs(tick + pacing.periodMs * 1000);
    EXPECT_EQ(host.handshakeOutcome(100), "");
  }
}

TEST_F(SimTransferTest, OnlineProgramFailures) {
  struct Case {
    const char* name;
    std::function<void(SimProgrammer&)> arrange;
    Pages pages;
    const char* outcome;
  };
  const Case cases[] = {
      {"NotConnected", [](SimProgrammer&) {}, Numbered(2), "descriptor: error 32"},
      {"OutsideTheFlash", [](SimProgrammer&) {}, {{0x300, Filled(0)}}, "finish: error 60"},
      {"FlashWillNotProgram", [](SimProgrammer& p) { p.target().flashFault = SimFlashFault::kProgram; }, Numbered(2),
       "page 1: error 60"},
      {"FlashFailsVerify", [](SimProgrammer& p) { p.target().flashFault = SimFlashFault::kVerify; }, Numbered(2),
       "page 1: error 13"},
      {"InjectedAtPage", [](SimProgrammer& p) { p.faults().errors = {{'P', "page", 0x80}}; }, Numbered(3),
       "page 1: error 80"},
      {"PageHangs", [](SimProgrammer& p) { p.faults().errors = {{'P', "page", 0, kStuck}}; }, Numbered(3),
       "page 1: timed out"},
      {"FinishAnswerLost", [](SimProgrammer& p) { p.faults().errors = {{'P', "finish", 0, kNoAnswer}}; },
       Numbered(1), "finish: no answer"},
      {"NoEndMark", [](SimProgrammer&) {}, Numbered(2), "finish: no answer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(host.reset());
    programmer().setup().target = {};
    programmer().setFaults({});
    c.arrange(programmer());
    if (std::string(c.name) != "NotConnected") connect('2');
    Plan plan;
    plan.endMark = std::string(c.name) != "NoEndMark";
    EXPECT_EQ(program(c.pages, 60, plan), c.outcome);
  }
}

}  // namespace
}  // namespace fd::test
