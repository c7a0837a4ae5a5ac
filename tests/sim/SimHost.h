#pragma once
// The host side of the programmer protocol, reduced to what the bench tests need: one
// handle opened as every opening does, status polls with the counted spin between them,
// the completion handshake and the error fetch. All in virtual time.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/Hex.h"
#include "link/Crc16.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"

namespace fd::test {

using Bytes = std::vector<std::uint8_t>;

class SimHost {
public:
  static constexpr int kTimedOut = -1;   // busy bit never cleared
  static constexpr int kNoAnswer = -2;   // no result byte came

  SimHost(SimBench& bench, VirtualClock& clock) : bench_(bench), clock_(clock), pacer_(clock) {}

  // Opens device `index` with the link settings of a programmer.
  BridgeHandle open(std::uint32_t index) {
    BridgeHandle h = kNoHandle;
    EXPECT_EQ(bench_.BridgeOpen(index, h), kBridgeOk);
    bench_.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
    EXPECT_EQ(bench_.BridgeSetBaudRate(h, kNormalBaud), kBridgeOk);
    EXPECT_EQ(bench_.BridgeSetLineControl(h, kLineControl8N1), kBridgeOk);
    handle = h;
    return h;
  }

  int write(const Bytes& bytes) {
    std::uint32_t written = 0;
    return bench_.BridgeWrite(handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  }

  std::uint8_t status() {
    std::uint8_t s = 0xFF;
    EXPECT_EQ(bench_.BridgeGetModemStatus(handle, s), kBridgeOk);
    return s;
  }

  // True as soon as every bit of `mask` reads clear; a spin of 1 ms after each miss.
  bool waitClear(std::uint8_t mask, int polls) {
    for (int i = 0; i < polls; ++i) {
      if ((status() & mask) == 0) return true;
      pacer_.spin(kPollSpin);
    }
    return false;
  }

  struct Read {
    int rc = -1;
    Bytes bytes;
  };
  Read read(std::uint32_t count) {
    Read r;
    r.bytes.resize(count);
    std::uint32_t got = 0;
    r.rc = bench_.BridgeRead(handle, r.bytes.data(), count, got);
    r.bytes.resize(got);
    return r;
  }

  std::uint32_t queued() {
    std::uint32_t count = 0;
    std::uint32_t queueStatus = 0;
    EXPECT_EQ(bench_.BridgeCheckRxQueue(handle, count, queueStatus), kBridgeOk);
    return count;
  }

  // The error code through the error-request line, as the host fetches it.
  std::optional<std::uint8_t> fetchError() {
    bench_.BridgeFlushBuffers(handle, 1, 1);
    EXPECT_EQ(bench_.BridgeSetFlowControl(handle, kErrorRequestLine), kBridgeOk);
    const Read r = read(1);
    if (r.rc != kBridgeOk) return std::nullopt;
    return r.bytes[0];
  }

  // The completion handshake: 0 on success, the programmer's error code, or kTimedOut /
  // kNoAnswer.
  int handshake(int busyLimit) {
    if (!waitClear(kBusyBit, busyLimit)) return kTimedOut;
    if (waitClear(kResultBit, 2)) {
      const auto code = fetchError();
      return code ? *code : kNoAnswer;
    }
    const Read r = read(1);
    if (r.rc != kBridgeOk) return kNoAnswer;
    return r.bytes[0];
  }

  // The same told in words: "" when it passed, else "timed out", "error XX" (the code on
  // the error line), "no answer" or "answer XX" (a result byte other than 0).
  std::string handshakeOutcome(int busyLimit) {
    if (!waitClear(kBusyBit, busyLimit)) return "timed out";
    if (waitClear(kResultBit, 2)) {
      const auto code = fetchError();
      return code ? "error " + HexText(*code, 2) : "error, no code";
    }
    const Read r = read(1);
    if (r.rc != kBridgeOk) return "no answer";
    return r.bytes[0] == 0 ? "" : "answer " + HexText(r.bytes[0], 2);
  }

  // The answer to a header frame: its result byte comes before the result bit is looked at.
  std::string headerOutcome() {
    if (!waitClear(kBusyBit, 200)) return "timed out";
    const Read r = read(1);
    if (waitClear(kResultBit, 2)) {
      const auto code = fetchError();
      return code ? "error " + HexText(*code, 2) : "error, no code";
    }
    if (r.rc != kBridgeOk) return "no answer";
    return r.bytes[0] == 0 ? "" : "answer " + HexText(r.bytes[0], 2);
  }

  // The reset pulse and the wait for the programmer to come back.
  bool reset() {
    if (bench_.BridgeSetFlowControl(handle, kResetLine) != kBridgeOk) return false;
    pacer_.spin(kResetSpin);
    if (bench_.BridgeSetFlowControl(handle, kLinesReleased) != kBridgeOk) return false;
    return waitClear(kBusyBit, 500);
  }

  // 'C' then 'U'; 0 when both pass, else the first failure.
  int connect(std::uint8_t type, std::uint8_t power, const SimIdCode& id) {
    write({'C', type, power});
    if (const int c = handshake(5000); c != 0) return c;
    Bytes u = {'U'};
    u.insert(u.end(), id.begin(), id.end());
    write(u);
    return handshake(2000);
  }

  static Bytes frame(const std::uint8_t* body, std::size_t size) {
    const std::uint16_t crc = Crc16(body, size);
    Bytes f = {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)};
    f.insert(f.end(), body, body + size);
    return f;
  }
  static Bytes headerFrame(const ProgrammerInfo& block) { return frame(block.data(), info::kHeaderSize); }
  static Bytes descriptorFrame(const ProgrammerInfo& block) {
    return frame(block.data() + info::kDescriptor, info::kDescriptorSize);
  }
  static Bytes pageFrame(std::uint16_t page, const SimPage& data) {
    Bytes body = {static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(page >> 8)};
    body.insert(body.end(), data.begin(), data.end());
    return frame(body.data(), body.size());
  }

  void spinMs(std::uint64_t ms) { pacer_.spin(ms * kPollSpin); }

  BridgeHandle handle = kNoHandle;

private:
  SimBench& bench_;
  VirtualClock& clock_;
  ClockPacer pacer_;
};

inline SimPage Filled(std::uint8_t value) {
  SimPage p;
  p.fill(value);
  return p;
}

// A host talking to programmer 0 of a bench, opened and reset before each test.
class SimHostTest : public ::testing::Test {
protected:
  // The bench is made from the fixture's own clock, once that clock exists.
  explicit SimHostTest(std::unique_ptr<SimBench> (*make)(std::size_t, SimClock&), std::size_t count = 1)
      : bench(make(count, clock)), host(*bench, clock) {}
  void SetUp() override {
    host.open(0);
    ASSERT_TRUE(host.reset());
  }
  SimProgrammer& programmer() { return bench->programmer(0); }

  VirtualClock clock;
  std::unique_ptr<SimBench> bench;
  SimHost host;
};

}  // namespace fd::test
