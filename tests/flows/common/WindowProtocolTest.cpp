// The protocol as the windows use it: the bytes each operation sends, and the messages it
// shows on the way.
#include "flows/common/WindowProtocol.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/Crc16.h"
#include "link/TracingBridge.h"
#include "support/FakeBridge.h"
#include "support/RecordingPrompter.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;
using Op = TraceEntry::Op;

class CountingPacer final : public Pacer {
public:
  void spin(std::uint64_t iterations) override {
    total += iterations;
    ++calls;
  }
  std::uint64_t total = 0;
  int calls = 0;
};

// One programmer behind a fake bridge, every call traced.
class ProtocolTest : public ::testing::Test {
protected:
  ProtocolTest() : tracing(fake), link(tracing, pacer), protocol(state, link, prompter) {
    fake.BridgeOpen(0, handle);
    state.productNumber = "ZK40F8C12   ";
    state.mcuTypeCode = '3';
    state.powerSet = 0x50;
    state.idCode = {1, 2, 3, 4, 5, 6, 7};
  }

  std::vector<TraceEntry> ops(Op op) const {
    std::vector<TraceEntry> out;
    for (const auto& e : tracing.entries()) {
      if (e.op == op) out.push_back(e);
    }
    return out;
  }

  test::FakeBridge fake;
  TracingBridge tracing;
  CountingPacer pacer;
  test::RecordingPrompter prompter;
  AppState state;
  Protocol link;
  WindowProtocol protocol;
  BridgeHandle handle = kNoHandle;
};

TEST_F(ProtocolTest, ResetPulsesTheLineWaitsForIdleAndSendsTheMark) {
  fake.statuses = {kBusyBit, kBusyBit, kResultBit};
  state.targetConnected = 1;
  ASSERT_EQ(protocol.ResetProgrammer(handle, 1), 1);

  const auto flows = ops(Op::SetFlowControl);
  ASSERT_EQ(flows.size(), 2u);
  EXPECT_EQ(flows[0].pattern, kResetLine);
  EXPECT_EQ(flows[1].pattern, kLinesReleased);
  EXPECT_EQ(ops(Op::GetModemStatus).size(), 3u);
  EXPECT_EQ(pacer.total, kResetSpin + 2 * kPollSpin);  // the pulse, then one spin per busy read
  EXPECT_THAT(fake.written, ElementsAre(Bytes{'L', 0x02}));
  EXPECT_EQ(state.targetConnected, 0);
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(ProtocolTest, ResetGivesUpAfter500BusyReads) {
  fake.idleStatus = kBusyBit;
  state.targetConnected = 1;
  EXPECT_EQ(protocol.ResetProgrammer(handle, 1), 0);
  EXPECT_EQ(fake.statusReads, 500);
  EXPECT_TRUE(fake.written.empty());  // no mark after a failed reset
  EXPECT_EQ(state.targetConnected, 1);
  ASSERT_EQ(prompter.messages().size(), 1u);
  EXPECT_EQ(prompter.messages()[0].caption, "ERROR");
  EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Error);
  EXPECT_EQ(prompter.messages()[0].text, "Can not reset the programmer!");
}

TEST_F(ProtocolTest, ResetFailsWhenTheLineCannotBeDriven) {
  fake.failFlow = true;
  EXPECT_EQ(protocol.ResetProgrammer(handle, 0), 0);
  EXPECT_THAT(prompter.texts(), ElementsAre("Can not reset the programmer!"));
}

TEST_F(ProtocolTest, ErrorCodesShowTheirMessageAndResetTheProgrammer) {
  const struct {
    int code;
    const char* text;
  } cases[] = {
      {0x12, "Verify error of communication between PC and the programmer!"},
      {0x13, "Program the target with verify error!"},
      {0x22, "Can not erase the on-board external flash!"},
      {0x23, "Can not write to the on-board external flash!"},
      {0x32, "No target is connected!"},
      {0x70, "No target is connected!"},
      {0x33, "Target is not powered!"},
      {0x34, "Detected power is not match to the setting value!"},
      {0x35, "Can not set the new baud rate to the target!"},
      {0x40, "ID code is not match!"},
      {0x50, "Can not erase the target!"},
      {0x60, "Program to the target end with error!"},
      {0x80, "Target power is short cut!"},
      {0x55, "Unknown error!"},
      {0xFF, "Unknown error!"},
      {-1, "Unknown error!"},  // the code never arrives
  };
  for (const auto& c : cases) {
    prompter.clear();
    tracing.clear();
    fake.errorCode = c.code;
    fake.rx = {0xAA};  // stale bytes: flushed before the code is asked for
    EXPECT_EQ(protocol.ShowProgrammerError(handle), 1) << c.code;
    EXPECT_THAT(prompter.texts(), ElementsAre(c.text)) << c.code;
    const auto flows = ops(Op::SetFlowControl);
    ASSERT_GE(flows.size(), 3u);
    EXPECT_EQ(flows[0].pattern, kErrorRequestLine);
    EXPECT_EQ(flows[1].pattern, kResetLine);  // the reset also releases the request line
    EXPECT_EQ(tracing.entries()[0].op, Op::FlushBuffers);
  }
}

TEST_F(ProtocolTest, ConnectTargetWritesOneBytePerWriteThenTheIdCode) {
  fake.onWrite = [](test::FakeBridge& f, const Bytes& bytes) {
    // Each command answers once its last parameter is in.
    if (bytes == Bytes{0x50} || bytes == Bytes{1, 2, 3, 4, 5, 6, 7}) f.rx.push_back(0);
  };
  state.targetConnected = 0;
  ASSERT_EQ(protocol.ConnectTarget(handle), 1);
  EXPECT_THAT(fake.written, ElementsAre(Bytes{'L'}, Bytes{0x02}, Bytes{'C'}, Bytes{'3'}, Bytes{0x50}, Bytes{'U'},
                                        Bytes{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(state.targetConnected, 1);
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(ProtocolTest, ConnectTargetWithoutProductSendsNothing) {
  for (const char* product : {"Not select", "Not select  "}) {
    state.productNumber = product;
    EXPECT_EQ(protocol.ConnectTarget(handle), 0);
  }
  EXPECT_TRUE(tracing.entries().empty());
  ASSERT_EQ(prompter.messages().size(), 2u);
  EXPECT_EQ(prompter.messages()[0].caption, "WARNING");
  EXPECT_EQ(prompter.messages()[0].icon, MsgIcon::Warning);
  EXPECT_EQ(prompter.messages()[0].text, "No product is selected.");
}

TEST_F(ProtocolTest, ConnectTargetFetchesTheErrorWhenTheResultBitIsClear) {
  fake.idleStatus = 0;  // not busy, result bit clear: an error waits
  fake.errorCode = 0x40;
  state.targetConnected = 1;
  EXPECT_EQ(protocol.ConnectTarget(handle), 0);
  EXPECT_THAT(prompter.texts(), ElementsAre("ID code is not match!"));
}

TEST_F(ProtocolTest, HandshakeTimeOutAndBadResultByte) {
  fake.idleStatus = kBusyBit | kResultBit;
  EXPECT_EQ(protocol.CompletionHandshake(handle, 5000, Protocol::SilentRead::Yes), 0);
  EXPECT_EQ(fake.statusReads, 5000);
  EXPECT_THAT(prompter.texts(), ElementsAre("Time out error!"));

  prompter.clear();
  fake.idleStatus = kResultBit;
  fake.rx = {0x07};
  EXPECT_EQ(protocol.CompletionHandshake(handle, 10, Protocol::SilentRead::Yes), 0);
  EXPECT_THAT(prompter.texts(), ElementsAre("Unknown error!"));

  prompter.clear();  // no result byte at all: silent or not, as the caller says
  EXPECT_EQ(protocol.CompletionHandshake(handle, 10, Protocol::SilentRead::Yes), 0);
  EXPECT_TRUE(prompter.messages().empty());
  EXPECT_EQ(protocol.CompletionHandshake(handle, 10, Protocol::SilentRead::No), 0);
  EXPECT_THAT(prompter.texts(), ElementsAre("Unknown error!"));
}

TEST_F(ProtocolTest, ReadProgrammerInfoFillsTheBlock) {
  ProgrammerInfo block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
  fake.onWrite = [&](test::FakeBridge& f, const Bytes& bytes) {
    if (bytes == Bytes{'I'}) f.rx.insert(f.rx.end(), block.begin(), block.end());
  };
  fake.statuses = {kBusyBit, kBusyBit};
  ASSERT_EQ(protocol.ReadProgrammerInfo(handle), 1);
  EXPECT_EQ(state.programmerInfo, block);
  const auto reads = ops(Op::Read);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].requested, 89u);
}

TEST_F(ProtocolTest, FailedInfoReadClosesTheHandleAndLaterCallsFailCleanly) {
  state.programmerInfo.fill(0x11);
  fake.onWrite = [](test::FakeBridge& f, const Bytes&) { f.rx.assign(40, 0x22); };  // half a block
  EXPECT_EQ(protocol.ReadProgrammerInfo(handle), 0);
  EXPECT_EQ(fake.closes, 1);
  EXPECT_TRUE(prompter.messages().empty());
  ProgrammerInfo untouched;
  untouched.fill(0x11);
  EXPECT_EQ(state.programmerInfo, untouched);  // half a block never replaces the old one

  // The closed handle now fails every call, without crashing or touching another device.
  const std::size_t writesBefore = fake.written.size();
  EXPECT_NE(link.WriteSelectMark(handle, kMarkSelected), kBridgeOk);
  EXPECT_EQ(protocol.ReadProgrammerInfo(handle), 0);
  EXPECT_EQ(protocol.ResetProgrammer(handle, 1), 0);
  EXPECT_EQ(fake.written.size(), writesBefore);
}

TEST_F(ProtocolTest, HeaderFrameSendsCrcLowByteFirstAheadOfThe71Bytes) {
  for (std::size_t i = 0; i < info::kHeaderSize; ++i) state.programmerInfo[i] = static_cast<std::uint8_t>(0x30 + i);
  const std::uint16_t crc = Crc16(state.programmerInfo.data(), info::kHeaderSize);
  fake.onWrite = [](test::FakeBridge& f, const Bytes& bytes) {
    if (bytes.size() == 1 || bytes.size() == info::kHeaderSize) f.rx.push_back(0);
  };
  for (int dataFollows : {0, 1}) {
    fake.written.clear();
    ASSERT_EQ(protocol.WriteProgrammerHeader(handle, dataFollows), 1);
    ASSERT_EQ(fake.written.size(), 3u);
    EXPECT_EQ(fake.written[0], Bytes{static_cast<std::uint8_t>(dataFollows ? 'D' : 'B')});
    EXPECT_EQ(fake.written[1], (Bytes{static_cast<std::uint8_t>(crc & 0xFF), static_cast<std::uint8_t>(crc >> 8)}));
    EXPECT_EQ(fake.written[2], Bytes(state.programmerInfo.begin(), state.programmerInfo.begin() + 71));
  }
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(ProtocolTest, HeaderRejectedByTheProgrammerShowsItsError) {
  // The command is accepted; after the frame the result bit reads clear with 0x12 waiting.
  int frames = 0;
  fake.onWrite = [&](test::FakeBridge& f, const Bytes& bytes) {
    if (bytes.size() == 1) f.rx.push_back(0);
    if (bytes.size() == info::kHeaderSize) {
      ++frames;
      f.idleStatus = 0;
    }
  };
  fake.errorCode = 0x12;
  EXPECT_EQ(protocol.WriteProgrammerHeader(handle, 0), 0);
  EXPECT_EQ(frames, 1);
  EXPECT_THAT(prompter.texts(), ElementsAre("Verify error of communication between PC and the programmer!"));
}

TEST_F(ProtocolTest, WaitStatusLineSpinsOnlyBetweenUnsatisfiedPolls) {
  fake.statuses = {kBusyBit, kBusyBit, 0};
  EXPECT_EQ(link.WaitStatusLine(handle, kBusyBit, 3), 1);
  EXPECT_EQ(pacer.calls, 2);
  fake.idleStatus = kBusyBit;
  EXPECT_EQ(link.WaitStatusLine(handle, kBusyBit, 20), 0);
  EXPECT_EQ(pacer.calls, 22);
}

}  // namespace
}  // namespace fd
