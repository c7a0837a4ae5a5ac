// The bench as a bridge: devices, handles, hot-plug, time-outs and a lost link.
#include <gtest/gtest.h>

#include "sim/SimHost.h"

namespace fd::test {
namespace {

class SimBenchTest : public ::testing::Test {
protected:
  std::uint32_t devices() {
    std::uint32_t n = 99;
    EXPECT_EQ(bench->BridgeGetNumDevices(n), kBridgeOk);
    return n;
  }

  VirtualClock clock;
  std::unique_ptr<SimBench> bench = SimBench::fresh(2, clock);
  SimHost host{*bench, clock};
};

TEST_F(SimBenchTest, ProductStringsBySelector) {
  SimProgrammerSetup foreign;
  foreign.usb = {"10c4", "ea60", "Some Other Bridge"};
  bench->attach(foreign);
  std::string joined;
  for (std::uint8_t selector : kProductSelectors) {
    std::string text;
    ASSERT_EQ(bench->BridgeGetProductString(0, text, selector), kBridgeOk);
    joined += text;
  }
  EXPECT_EQ(joined, kProgrammerProductId);
  std::string text;
  ASSERT_EQ(bench->BridgeGetProductString(2, text, 1), kBridgeOk);
  EXPECT_EQ(text, "Some Other Bridge");
  EXPECT_NE(bench->BridgeGetProductString(3, text, 1), kBridgeOk);
  EXPECT_NE(bench->BridgeGetProductString(0, text, 9), kBridgeOk);
}

TEST_F(SimBenchTest, HotPlugChangesTheCountAndKeepsAttachOrder) {
  ASSERT_EQ(devices(), 2u);
  SimProgrammerSetup third;
  third.target.voltage = 3;
  EXPECT_EQ(bench->attach(third), 2u);
  EXPECT_EQ(devices(), 3u);
  ASSERT_TRUE(bench->detach(0));
  EXPECT_EQ(devices(), 2u);
  EXPECT_EQ(bench->slotOfDevice(0), 1u) << "the others move up";
  EXPECT_EQ(bench->slotOfDevice(1), 2u);
  EXPECT_FALSE(bench->deviceIndexOf(0));
  EXPECT_EQ(bench->reattach(0), 2u) << "plugged in again: last in order";
  EXPECT_FALSE(bench->reattach(0)) << "already attached";
  EXPECT_FALSE(bench->detach(7));
}

TEST_F(SimBenchTest, HandlesOfADetachedDeviceFailForeverAndNeverReachAnother) {
  const BridgeHandle old = host.open(0);
  ASSERT_TRUE(bench->detach(0));
  // The other programmer is now device 0; the old handle must not reach it.
  std::uint8_t status = 0;
  EXPECT_EQ(bench->BridgeGetModemStatus(old, status), kBridgeInvalidHandle);
  EXPECT_EQ(host.write({'L', 0x02}), kBridgeInvalidHandle);
  EXPECT_FALSE(bench->programmer(1).selectMark());
  EXPECT_EQ(bench->BridgeSetFlowControl(old, kResetLine), kBridgeInvalidHandle);
  EXPECT_EQ(bench->programmer(1).resetCount(), 0);

  ASSERT_TRUE(bench->reattach(0));
  EXPECT_EQ(bench->BridgeGetModemStatus(old, status), kBridgeInvalidHandle) << "not even after it is back";
  BridgeHandle fresh = kNoHandle;
  ASSERT_EQ(bench->BridgeOpen(1, fresh), kBridgeOk);
  EXPECT_NE(fresh, old) << "handles are never reused";
  EXPECT_EQ(bench->BridgeGetModemStatus(fresh, status), kBridgeOk);
}

TEST_F(SimBenchTest, ClosedHandleFailsAndTheDeviceOpensAgain) {
  const BridgeHandle first = host.open(0);
  BridgeHandle second = kNoHandle;
  EXPECT_NE(bench->BridgeOpen(0, second), kBridgeOk) << "a device opens once at a time";
  ASSERT_EQ(bench->BridgeClose(first), kBridgeOk);
  EXPECT_EQ(bench->BridgeClose(first), kBridgeInvalidHandle);
  std::uint32_t count = 0;
  std::uint32_t queueStatus = 0;
  EXPECT_EQ(bench->BridgeCheckRxQueue(first, count, queueStatus), kBridgeInvalidHandle);
  std::uint8_t buffer[4];
  std::uint32_t got = 7;
  EXPECT_EQ(bench->BridgeRead(first, buffer, 4, got), kBridgeInvalidHandle);
  EXPECT_EQ(got, 0u);
  ASSERT_EQ(bench->BridgeOpen(0, second), kBridgeOk);
  EXPECT_NE(second, first);
  EXPECT_NE(bench->BridgeOpen(5, second), kBridgeOk);
}

TEST_F(SimBenchTest, ShortReadTimesOutInVirtualTime) {
  host.open(0);
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  // Ask for more than will ever come: 89 bytes arrive, then the time-out ends the wait.
  const std::uint64_t start = clock.nowUs();
  const auto r = host.read(100);
  EXPECT_EQ(r.rc, kBridgeReadTimedOut);
  EXPECT_EQ(r.bytes.size(), kInfoSize);
  EXPECT_EQ(clock.nowUs() - start, 500'000u);

  bench->BridgeSetTimeouts(20, 20);
  const std::uint64_t again = clock.nowUs();
  EXPECT_EQ(host.read(1).rc, kBridgeReadTimedOut);
  EXPECT_EQ(clock.nowUs() - again, 20'000u);
}

TEST_F(SimBenchTest, ReadWaitsForAnAnswerStillOnItsWay) {
  host.open(0);
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  const std::uint64_t start = clock.nowUs();
  const auto r = host.read(kInfoSize);  // no polling first
  EXPECT_EQ(r.rc, kBridgeOk);
  EXPECT_EQ(clock.nowUs() - start, simtime::kInfoUs + kInfoSize * 10);
}

TEST_F(SimBenchTest, QueueCountsArrivedBytesAndFlushDropsThem) {
  host.open(0);
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  clock.advanceUs(simtime::kInfoUs + 500);  // 50 bytes on the wire by now
  EXPECT_EQ(host.queued(), 50u);
  ASSERT_EQ(bench->BridgeFlushBuffers(host.handle, 1, 1), kBridgeOk);
  EXPECT_EQ(host.queued(), 0u);
  clock.advanceUs(1000);
  EXPECT_EQ(host.queued(), kInfoSize - 50) << "bytes still on their way arrive after the flush";
}

TEST_F(SimBenchTest, RefusesUnknownLinePatternsAndBaudRates) {
  host.open(0);
  EXPECT_EQ(bench->BridgeSetFlowControl(host.handle, FlowPattern{{1, 0, 0, 0, 0, 0}}), kBridgeInvalidParameter);
  EXPECT_EQ(bench->BridgeSetBaudRate(host.handle, 0), kBridgeInvalidParameter);
  EXPECT_EQ(bench->BridgeSetBaudRate(host.handle, kUpdateBaud), kBridgeOk);
  EXPECT_EQ(bench->programmer(0).baudRate(), kUpdateBaud);
}

TEST_F(SimBenchTest, LinkLostAfterNBytesMakesTheDeviceVanish) {
  bench->programmer(0).faults().linkLostAfter = 5;
  host.open(0);
  ASSERT_TRUE(host.reset());
  EXPECT_EQ(host.write({'L', 0x02}), kBridgeOk);
  std::uint32_t written = 0;
  const Bytes more = {'L', 0x00, 'I', 'I'};
  EXPECT_EQ(bench->BridgeWrite(host.handle, more.data(), 4, written), kBridgeWriteError);
  EXPECT_EQ(written, 3u) << "what fitted went through";
  EXPECT_EQ(devices(), 1u);
  std::uint8_t status = 0;
  EXPECT_EQ(bench->BridgeGetModemStatus(host.handle, status), kBridgeInvalidHandle);
  EXPECT_FALSE(bench->programmer(0).setup().attached);

  // Plugged in again it works: the fault was spent.
  ASSERT_TRUE(bench->reattach(0));
  host.open(1);
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  EXPECT_EQ(host.read(kInfoSize).rc, kBridgeOk);
}

TEST_F(SimBenchTest, LinkLostWhileReading) {
  bench->programmer(0).faults().linkLostAfter = 41;
  host.open(0);
  ASSERT_TRUE(host.reset());
  host.write({'I'});
  ASSERT_TRUE(host.waitClear(kBusyBit, 20));
  const auto r = host.read(kInfoSize);
  EXPECT_EQ(r.rc, kBridgeReadError);
  EXPECT_EQ(r.bytes.size(), 40u);
  EXPECT_EQ(devices(), 1u);
}

TEST_F(SimBenchTest, RefusedCallsFailOnThatDeviceOnly) {
  bench->programmer(0).faults().refusedCalls = {"productString", "baudRate", "lineControl", "lines"};
  std::string text;
  EXPECT_NE(bench->BridgeGetProductString(0, text, 1), kBridgeOk);
  EXPECT_EQ(bench->BridgeGetProductString(1, text, 1), kBridgeOk);
  BridgeHandle h = kNoHandle;
  ASSERT_EQ(bench->BridgeOpen(0, h), kBridgeOk);
  EXPECT_NE(bench->BridgeSetBaudRate(h, kNormalBaud), kBridgeOk);
  EXPECT_NE(bench->BridgeSetLineControl(h, kLineControl8N1), kBridgeOk);
  EXPECT_NE(bench->BridgeSetFlowControl(h, kResetLine), kBridgeOk);
  EXPECT_EQ(bench->programmer(0).resetCount(), 0) << "a refused line change changes nothing";

  bench->programmer(1).faults().refusedCalls = {"open"};
  EXPECT_NE(bench->BridgeOpen(1, h), kBridgeOk);
  EXPECT_EQ(h, kNoHandle);
}

TEST_F(SimBenchTest, WritesTakeTheirWireTime) {
  host.open(0);
  const std::uint64_t start = clock.nowUs();
  host.write(Bytes(260, 0x00));
  EXPECT_EQ(clock.nowUs() - start, 2600u);
}

TEST(SimClock, PacerSpendsVirtualTime) {
  VirtualClock clock(1000);
  ClockPacer pacer(clock);
  pacer.spin(kPollSpin);
  EXPECT_EQ(clock.nowUs(), 2000u);
  pacer.spin(kResetSpin);
  EXPECT_EQ(clock.nowUs(), 102'000u);
  clock.sleepUntilUs(5);
  EXPECT_EQ(clock.nowUs(), 102'000u) << "time never goes back";
  clock.advanceUs(3);
  EXPECT_EQ(clock.nowUs(), 102'003u);
}

}  // namespace
}  // namespace fd::test
