// The command protocol of one simulated programmer, driven through the bridge.
#include <gtest/gtest.h>

#include "sim/SimErrors.h"
#include "sim/SimHost.h"

namespace fd::test {
namespace {


class SimProtocolTest : public SimHostTest {
protected:
  SimProtocolTest() : SimHostTest(&SimBench::fresh) {}
};

TEST_F(SimProtocolTest, ResetHoldsBusyAndRecoversWithResultBitSet) {
  const int before = programmer().resetCount();
  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kResetLine), kBridgeOk);
  clock.advanceUs(5'000'000);
  EXPECT_TRUE(host.status() & kBusyBit) << "held in reset keeps it busy";
  // Driving the line again while it is held is one reset, not two.
  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kResetLine), kBridgeOk);
  EXPECT_EQ(programmer().resetCount(), before + 1);
  EXPECT_TRUE(programmer().heldInReset());

  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kLinesReleased), kBridgeOk);
  EXPECT_TRUE(host.status() & kBusyBit) << "still busy right after release";
  const std::uint64_t released = clock.nowUs();
  ASSERT_TRUE(host.waitClear(kBusyBit, 500));
  const std::uint64_t recovery = clock.nowUs() - released;
  EXPECT_GE(recovery, simtime::kResetRecoveryUs - 1000);
  EXPECT_LE(recovery, simtime::kResetRecoveryUs + 1000);
  EXPECT_TRUE(host.status() & kResultBit);
}

TEST_F(SimProtocolTest, ResetDropsAnswerInFlightErrorAndMark) {
  host.write({'L', 0x02});
  host.write({'C', '2', 0x30});  // 5 V target: the power does not match
  ASSERT_EQ(host.handshake(5000), kSimErrPowerMismatch);
  EXPECT_EQ(programmer().latchedError(), kSimErrPowerMismatch) << "only a reset clears the latch";
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  ASSERT_TRUE(host.reset());
  EXPECT_EQ(host.queued(), 0u);
  EXPECT_EQ(host.read(1).rc, kBridgeReadTimedOut) << "the 'I' answer died with the reset";
  EXPECT_FALSE(programmer().selectMark());
  EXPECT_EQ(programmer().latchedError(), 0);
}

TEST_F(SimProtocolTest, InfoComesAfterAShortBusyPeriodAtWireSpeed) {
  SimProgrammerSetup setup;
  setup.info[info::kTypeCode] = '2';
  setup.info[info::kNames] = 'Z';
  bench->programmer(0).setup().info = setup.info;

  host.write({'I'});
  EXPECT_TRUE(host.status() & kBusyBit);
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  const std::uint64_t idle = clock.nowUs();
  const auto r = host.read(kInfoSize);
  ASSERT_EQ(r.rc, kBridgeOk);
  EXPECT_TRUE(std::equal(r.bytes.begin(), r.bytes.end(), setup.info.begin()));
  // 10 bits a byte at 1,000,000 baud.
  EXPECT_LE(clock.nowUs() - idle, kInfoSize * 10);
}

TEST_F(SimProtocolTest, AShortInfoAnswerStopsPartWayAndNothingMoreComes) {
  programmer().faults().errors.push_back({'I', "info", 0, SimFaultAction::kShort, 0, 40});
  host.write({'I'});
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  EXPECT_FALSE(host.waitClear(kResultBit, 2)) << "it reports success";
  const auto r = host.read(kInfoSize);
  EXPECT_EQ(r.rc, kBridgeReadTimedOut);
  ASSERT_EQ(r.bytes.size(), 40u);
  EXPECT_TRUE(std::equal(r.bytes.begin(), r.bytes.end(), programmer().info().begin()));
  EXPECT_EQ(host.read(1).rc, kBridgeReadTimedOut);
}

TEST_F(SimProtocolTest, SelectMarkNeedsNoAnswerAndKeepsTheStatus) {
  const std::uint8_t before = host.status();
  host.write({'L', 0x02});
  EXPECT_TRUE(programmer().selectMark());
  host.write({'L', 0x07});
  EXPECT_TRUE(programmer().selectMark()) << "an unknown mark value changes nothing";
  host.write({'L'});
  host.write({0x00});  // parameters may come in a write of their own
  EXPECT_FALSE(programmer().selectMark());
  EXPECT_EQ(host.status(), before);
  EXPECT_EQ(host.queued(), 0u);
}

struct ConnectCase {
  const char* name;
  bool present;
  bool selfPowered;
  int voltage;
  std::uint8_t type;
  std::uint8_t power;
  SimIdCode id;
  int expected;
};
void PrintTo(const ConnectCase& c, std::ostream* os) { *os << c.name; }


class SimConnectTest : public SimProtocolTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(SimConnectTest, AnswersWithTheFirstProblemFound) {
  const ConnectCase& c = GetParam();
  SimTarget& t = programmer().target();
  t.present = c.present;
  t.selfPowered = c.selfPowered;
  t.voltage = c.voltage;
  EXPECT_EQ(host.connect(c.type, c.power, c.id), c.expected);
  EXPECT_EQ(programmer().targetConnected(), c.expected == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SimConnectTest,
    ::testing::Values(
        ConnectCase{"Ok", true, true, 5, '2', kSimPowerNone, kSimDefaultTargetId, 0},
        ConnectCase{"UnknownTypeAccepted", true, true, 5, 0xFF, kSimPowerNone, kSimDefaultTargetId, 0},
        ConnectCase{"ProgrammerSupplies3V", true, false, 3, '2', kSimPower3V, kSimDefaultTargetId, 0},
        ConnectCase{"NoTarget", false, true, 5, '2', kSimPowerNone, kSimDefaultTargetId, kSimErrNoTarget},
        ConnectCase{"NoTargetBeatsPower", false, false, 5, '2', kSimPower3V, kSimDefaultTargetId, kSimErrNoTarget},
        ConnectCase{"NotPowered", true, false, 5, '2', kSimPowerNone, kSimDefaultTargetId, kSimErrNotPowered},
        ConnectCase{"ThreeVoltsOnFiveVoltTarget", true, true, 5, '2', kSimPower3V, kSimDefaultTargetId,
                    kSimErrPowerMismatch},
        ConnectCase{"FiveVoltsOnThreeVoltTarget", true, false, 3, '2', kSimPower5V, kSimDefaultTargetId,
                    kSimErrPowerMismatch},
        ConnectCase{"PowerCodeFromNoSetup", true, true, 5, '2', 0xFF, kSimDefaultTargetId, kSimErrPowerMismatch},
        ConnectCase{"IdMismatch", true, true, 5, '2', kSimPowerNone, {1, 2, 3, 4, 5, 6, 7}, kSimErrId}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimProtocolTest, ErrorCodeComesOncePerActivationAndCommandsWaitForReset) {
  programmer().target().present = false;
  host.write({'C', '2', 0x00});
  ASSERT_TRUE(host.waitClear(kBusyBit, 5000));
  EXPECT_FALSE(host.status() & kResultBit);
  EXPECT_EQ(host.queued(), 0u) << "a failed command answers no byte";

  EXPECT_EQ(host.fetchError(), kSimErrNoTarget);
  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kErrorRequestLine), kBridgeOk);
  EXPECT_EQ(host.read(1).rc, kBridgeReadTimedOut) << "holding the line does not repeat the code";
  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kLinesReleased), kBridgeOk);
  EXPECT_EQ(host.fetchError(), kSimErrNoTarget) << "a new activation gives it again";

  // Until it is reset the programmer takes no command.
  ASSERT_EQ(bench->BridgeSetFlowControl(host.handle, kLinesReleased), kBridgeOk);
  host.write({'I'});
  EXPECT_EQ(host.read(1).rc, kBridgeReadTimedOut);
  ASSERT_TRUE(host.reset());
  EXPECT_EQ(host.fetchError(), std::nullopt) << "nothing latched after a reset: no byte at all";
}

TEST_F(SimProtocolTest, InjectedFaultAnswersTheChosenCode) {
  programmer().faults().errors.push_back({'C', "connect", 0x35});
  EXPECT_EQ(host.connect('2', kSimPowerNone, kSimDefaultTargetId), 0x35);
}

// ---------------------------------------------------------------- header and data transfer

ProgrammerInfo SomeHeader() {
  ProgrammerInfo b = SimProgrammerSetup::FreshInfo();
  b[info::kTypeCode] = '2';
  b[info::kPower] = kSimPower5V;
  for (std::size_t i = 0; i < info::kIdCodeSize; ++i) b[info::kIdCode + i] = static_cast<std::uint8_t>(0x10 + i);
  const std::string names = "ZK40F8C12   demo            ";
  std::copy(names.begin(), names.end(), b.begin() + info::kNames);
  return b;
}

TEST_F(SimProtocolTest, HeaderWithGoodCrcIsStoredAndDescriptorKept) {
  ProgrammerInfo before = programmer().info();
  before[info::kFileSize] = 0x12;  // something to keep
  programmer().setup().info = before;
  const ProgrammerInfo header = SomeHeader();

  host.write({'B'});
  ASSERT_EQ(host.handshake(1000), 0);
  host.write(SimHost::headerFrame(header));
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  const auto answer = host.read(1);
  ASSERT_EQ(answer.rc, kBridgeOk);
  EXPECT_EQ(answer.bytes[0], 0x00);
  EXPECT_FALSE(host.waitClear(kResultBit, 2));

  const ProgrammerInfo& stored = programmer().info();
  EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + info::kHeaderSize, header.begin()));
  EXPECT_TRUE(std::equal(stored.begin() + info::kDescriptor, stored.end(), before.begin() + info::kDescriptor));
}

TEST_F(SimProtocolTest, HeaderWithBadCrcIsRefusedWith0x12) {
  const ProgrammerInfo before = programmer().info();
  host.write({'B'});
  ASSERT_EQ(host.handshake(1000), 0);
  Bytes frame = SimHost::headerFrame(SomeHeader());
  frame[10] ^= 0x01;
  host.write(frame);
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  // The answer byte comes first (it carries the code), then the result bit tells it failed.
  const auto answer = host.read(1);
  ASSERT_EQ(answer.rc, kBridgeOk);
  EXPECT_EQ(answer.bytes[0], kSimErrCrc);
  EXPECT_TRUE(host.waitClear(kResultBit, 2));
  EXPECT_EQ(host.fetchError(), kSimErrCrc);
  EXPECT_EQ(programmer().info(), before);
}

// A whole off-line load as the host sends it: 'D', header, descriptor, page frames two
// at a time, 'H' after a lone last frame, the final handshake.
class SimLoadTest : public SimProtocolTest, public ::testing::WithParamInterface<int> {
protected:
  static ProgrammerInfo Block(int pages) {
    ProgrammerInfo b = SomeHeader();
    const std::string time = "240314093012";
    std::copy(time.begin(), time.end(), b.begin() + info::kModifyTime);
    b[info::kFileSize] = 0x39;
    b[info::kFileSize + 1] = 0x30;
    b[info::kFileSize + 2] = 0;
    b[info::kFileSize + 3] = 0;
    b[info::kPageCount] = static_cast<std::uint8_t>(pages);
    b[info::kPageCount + 1] = 0;
    return b;
  }
  // Returns the final handshake's result.
  int load(const ProgrammerInfo& block, int pages, int corruptFrame = -1) {
    host.write({'D'});
    if (int c = host.handshake(1000); c != 0) return c;
    host.write(SimHost::headerFrame(block));
    if (!host.waitClear(kBusyBit, 200)) return SimHost::kTimedOut;
    if (host.read(1).bytes != Bytes{0}) return SimHost::kNoAnswer;
    host.write(SimHost::descriptorFrame(block));
    if (!host.waitClear(kBusyBit, 10) || host.waitClear(kResultBit, 2)) return SimHost::kTimedOut;
    if (host.read(1).bytes != Bytes{0}) return SimHost::kNoAnswer;
    for (int i = 0; i < pages; i += 2) {
      host.spinMs(10);  // the load's timer tick
      if (!host.waitClear(kBusyBit, 100)) return SimHost::kTimedOut;
      if (host.waitClear(kResultBit, 2)) return host.fetchError().value_or(SimHost::kNoAnswer);
      for (int k = i; k < std::min(i + 2, pages); ++k) {
        Bytes f = SimHost::pageFrame(static_cast<std::uint16_t>(0x100 + k), Filled(static_cast<std::uint8_t>(k)));
        if (k == corruptFrame) f[100] ^= 0xFF;
        host.write(f);
      }
      if (i == pages - 1) host.write({'H'});  // a lone last frame
    }
    host.spinMs(10);
    return host.handshake(100);
  }
};

TEST_P(SimLoadTest, StoresEveryPageAndTheDescriptor) {
  const int pages = GetParam();
  const ProgrammerInfo block = Block(pages);
  ASSERT_EQ(load(block, pages), 0);
  EXPECT_EQ(programmer().info(), block);
  ASSERT_EQ(programmer().image().size(), static_cast<std::size_t>(pages));
  for (int k = 0; k < pages; ++k) {
    EXPECT_EQ(programmer().image().at(static_cast<std::uint16_t>(0x100 + k)), Filled(static_cast<std::uint8_t>(k)));
  }
  EXPECT_TRUE(programmer().hasImage());
  EXPECT_EQ(host.queued(), 0u) << "no stray answer bytes";
}

INSTANTIATE_TEST_SUITE_P(PageCounts, SimLoadTest, ::testing::Values(0, 1, 4, 5));

TEST_F(SimLoadTest, BadPageFrameFailsWith0x12AndLeavesNoImage) {
  SimProgrammer& p = programmer();
  p.setup().image[0x40] = Filled(0xAA);  // an older image, about to be replaced
  EXPECT_EQ(load(Block(4), 4, 1), kSimErrCrc);
  EXPECT_TRUE(p.image().empty());
  EXPECT_FALSE(p.hasImage());
}

// A noisy line spoils every frame of one kind on its way: the programmer refuses the first
// such frame with 0x12, as a frame the host got wrong.
TEST_F(SimLoadTest, FramesSpoiltOnTheLineAreRefusedWith0x12) {
  for (const SimFrameKind kind : {SimFrameKind::kDescriptor, SimFrameKind::kPage}) {
    ASSERT_TRUE(host.reset());
    programmer().faults().corruptFrames = kind;
    EXPECT_EQ(load(Block(4), 4), kind == SimFrameKind::kPage ? kSimErrCrc : SimHost::kTimedOut)
        << "a descriptor refused shows as a failure before its answer";
    EXPECT_EQ(programmer().latchedError(), kSimErrCrc);
    EXPECT_FALSE(programmer().hasImage());
  }
  ASSERT_TRUE(host.reset());
  programmer().faults().corruptFrames = SimFrameKind::kHeader;
  const ProgrammerInfo before = programmer().info();
  host.write({'B'});
  ASSERT_EQ(host.handshake(1000), 0);
  host.write(SimHost::headerFrame(SomeHeader()));
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  EXPECT_EQ(host.read(1).bytes, Bytes{kSimErrCrc});
  EXPECT_EQ(programmer().info(), before);
  programmer().faults().corruptFrames = SimFrameKind::kNone;
  ASSERT_TRUE(host.reset());
  EXPECT_EQ(load(Block(4), 4), 0) << "the line is clean again";
}

TEST_F(SimLoadTest, InterruptedLoadLeavesNoImageThatCouldBeProgrammed) {
  const ProgrammerInfo block = Block(4);
  host.write({'D'});
  ASSERT_EQ(host.handshake(1000), 0);
  host.write(SimHost::headerFrame(block));
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  host.read(1);
  host.write(SimHost::descriptorFrame(block));
  ASSERT_TRUE(host.waitClear(kBusyBit, 10));
  host.read(1);
  host.write(SimHost::pageFrame(0x100, Filled(1)));
  ASSERT_TRUE(host.reset());  // the user cancels
  EXPECT_FALSE(programmer().hasImage());
  EXPECT_EQ(programmer().info()[info::kFileSize], 0xFF) << "the store shows no file";
  EXPECT_EQ(programmer().info()[info::kTypeCode], '2') << "the new header is kept";
}

TEST_F(SimLoadTest, StoreThatCannotBeErasedAnswers0x22) {
  programmer().faults().errors.push_back({'D', "erase", kSimErrStoreErase});
  host.write({'D'});
  EXPECT_EQ(host.handshake(1000), kSimErrStoreErase);
}

// ---------------------------------------------------------------- on-line commands

class SimOnlineTest : public SimProtocolTest {
protected:
  void SetUp() override {
    SimProtocolTest::SetUp();
    ASSERT_EQ(host.connect('2', kSimPowerNone, kSimDefaultTargetId), 0);
  }
};

TEST_F(SimOnlineTest, ReadSendsCrcThenThePage) {
  programmer().target().memory[0x050] = Filled(0x3C);
  host.write({'R', 0x50, 0x00});
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  ASSERT_FALSE(host.waitClear(kResultBit, 2));
  const auto crc = host.read(2);
  const auto data = host.read(256);
  ASSERT_EQ(crc.rc, kBridgeOk);
  ASSERT_EQ(data.rc, kBridgeOk);
  EXPECT_EQ(data.bytes, Bytes(256, 0x3C));
  EXPECT_EQ(crc.bytes[0] | crc.bytes[1] << 8, Crc16(data.bytes.data(), 256));
}

TEST_F(SimOnlineTest, ReadOfAnErasedPageGivesFF) {
  host.write({'R', 0x51, 0x00});
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  host.read(2);
  EXPECT_EQ(host.read(256).bytes, Bytes(256, 0xFF));
}

TEST_F(SimOnlineTest, CorruptedReadCrcFault) {
  programmer().faults().corruptReadCrc = true;
  host.write({'R', 0x50, 0x00});
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  const auto crc = host.read(2);
  const auto data = host.read(256);
  EXPECT_NE(crc.bytes[0] | crc.bytes[1] << 8, Crc16(data.bytes.data(), 256));
}

TEST_F(SimOnlineTest, AShortReadAnswerStopsPartWay) {
  programmer().target().memory[0x050] = Filled(0x3C);
  programmer().faults().errors.push_back({'R', "read", 0, SimFaultAction::kShort, 0, 130});
  host.write({'R', 0x50, 0x00});
  ASSERT_TRUE(host.waitClear(kBusyBit, 200));
  const auto crc = host.read(2);
  const auto data = host.read(256);
  ASSERT_EQ(crc.rc, kBridgeOk);
  EXPECT_EQ(data.rc, kBridgeReadTimedOut);
  EXPECT_EQ(data.bytes, Bytes(128, 0x3C)) << "the CRC and 128 bytes of the page";
}

TEST_F(SimOnlineTest, BlockEraseClearsOnlyThatBlock) {
  SimTarget& t = programmer().target();  // 4 KB blocks from page 0x040
  t.memory[0x04F] = Filled(1);
  t.memory[0x050] = Filled(2);
  t.memory[0x05F] = Filled(3);
  t.memory[0x060] = Filled(4);
  host.write({'E', 0x50, 0x00});
  EXPECT_EQ(host.handshake(1), SimHost::kTimedOut) << "an erase takes a while";
  EXPECT_EQ(host.handshake(1000), 0);
  EXPECT_EQ(t.memory.count(0x04F), 1u);
  EXPECT_EQ(t.memory.count(0x050), 0u);
  EXPECT_EQ(t.memory.count(0x05F), 0u);
  EXPECT_EQ(t.memory.count(0x060), 1u);
}

TEST_F(SimOnlineTest, EraseFailures) {
  host.write({'E', 0x00, 0x30});  // page 0x3000: no flash there
  EXPECT_EQ(host.handshake(1000), kSimErrTargetErase);
  ASSERT_TRUE(host.reset());
  programmer().target().flashFault = SimFlashFault::kErase;
  ASSERT_EQ(host.connect('2', kSimPowerNone, kSimDefaultTargetId), 0);
  host.write({'E', 0x50, 0x00});
  EXPECT_EQ(host.handshake(1000), kSimErrTargetErase);
}

TEST_F(SimProtocolTest, TargetCommandsNeedAConnectionFirst) {
  for (const Bytes& command : {Bytes{'R', 0x50, 0x00}, Bytes{'E', 0x50, 0x00}}) {
    host.write(command);
    EXPECT_EQ(host.handshake(1000), kSimErrNoTarget) << command[0];
    ASSERT_TRUE(host.reset());
  }
  host.write({'C', '2', 0x00});
  ASSERT_EQ(host.handshake(5000), 0);
  host.write({'R', 0x50, 0x00});
  EXPECT_EQ(host.handshake(1000), kSimErrId) << "connected but the ID never checked";
}

TEST_F(SimOnlineTest, OnlineProgrammingWritesEachFrameToTheTarget) {
  ProgrammerInfo block = SimProgrammerSetup::FreshInfo();
  block[info::kPageCount] = 3;
  block[info::kPageCount + 1] = 0;
  host.write({'P'});
  host.write(SimHost::descriptorFrame(block));
  ASSERT_TRUE(host.waitClear(kBusyBit, 10));
  ASSERT_FALSE(host.waitClear(kResultBit, 2));
  ASSERT_EQ(host.read(1).bytes, Bytes{0});
  for (std::uint16_t k = 0; k < 3; ++k) {
    host.spinMs(35);
    ASSERT_TRUE(host.waitClear(kBusyBit, 100));
    ASSERT_FALSE(host.waitClear(kResultBit, 2));
    host.write(SimHost::pageFrame(static_cast<std::uint16_t>(0x0F0 + k), Filled(static_cast<std::uint8_t>(0x70 + k))));
  }
  host.write({'H'});
  host.spinMs(35);
  EXPECT_EQ(host.handshake(100), 0);
  for (std::uint16_t k = 0; k < 3; ++k) {
    EXPECT_EQ(programmer().target().memory.at(static_cast<std::uint16_t>(0x0F0 + k)),
              Filled(static_cast<std::uint8_t>(0x70 + k)));
  }
}

TEST_F(SimOnlineTest, OnlineProgrammingOutsideTheFlashFailsWith0x60) {
  ProgrammerInfo block = SimProgrammerSetup::FreshInfo();
  block[info::kPageCount] = 1;
  block[info::kPageCount + 1] = 0;
  host.write({'P'});
  host.write(SimHost::descriptorFrame(block));
  ASSERT_TRUE(host.waitClear(kBusyBit, 10));
  host.read(1);
  host.write(SimHost::pageFrame(0x300, Filled(0)));
  host.write({'H'});
  EXPECT_EQ(host.handshake(100), kSimErrProgram);
}

// ---------------------------------------------------------------- link and stalls

TEST_F(SimProtocolTest, WrongBaudRateOrFramingIsNoise) {
  for (const bool wrongBaud : {true, false}) {
    ASSERT_EQ(bench->BridgeSetBaudRate(host.handle, wrongBaud ? kUpdateBaud : kNormalBaud), kBridgeOk);
    ASSERT_EQ(bench->BridgeSetLineControl(host.handle, wrongBaud ? kLineControl8N1 : 0x0810), kBridgeOk);
    host.write({'L', 0x02, 'I'});
    EXPECT_FALSE(host.status() & kBusyBit);
    EXPECT_FALSE(programmer().selectMark());
    EXPECT_EQ(host.read(1).rc, kBridgeReadTimedOut);
  }
  ASSERT_EQ(bench->BridgeSetBaudRate(host.handle, kNormalBaud), kBridgeOk);
  ASSERT_EQ(bench->BridgeSetLineControl(host.handle, kLineControl8N1), kBridgeOk);
  host.write({'I'});
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  EXPECT_EQ(host.read(kInfoSize).rc, kBridgeOk);
}

TEST_F(SimProtocolTest, UnknownCommandBytesAreIgnored) {
  host.write({0x00, 0x7F, 'H', 'Z', 0xFF});
  EXPECT_FALSE(host.status() & kBusyBit);
  host.write({'I'});
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  EXPECT_EQ(host.read(kInfoSize).rc, kBridgeOk);
}

TEST_F(SimProtocolTest, BusyForeverAfterACommandLastsUntilReset) {
  programmer().faults().busyAfterCommands = "C";
  host.write({'C', '2', 0x00});
  EXPECT_EQ(host.handshake(5000), SimHost::kTimedOut);
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  EXPECT_TRUE(host.waitClear(kBusyBit, 20)) << "other commands still work";
}

TEST_F(SimProtocolTest, BusyForeverAfterReset) {
  programmer().faults().busyAfterReset = true;
  EXPECT_FALSE(host.reset());
  programmer().faults().busyAfterReset = false;
  EXPECT_TRUE(host.reset());
}

}  // namespace
}  // namespace fd::test
