// The bytes a programmer sends back, into the protocol operations: the first byte picks
// the operation, the rest are the programmer's status lines, queue counts and answers.
#include "FuzzSupport.h"
#include "link/Frames.h"
#include "link/Protocol.h"

using namespace fd;

namespace {
enum Operation : std::uint8_t {
  kInfo, kFetchError, kHandshake, kReadPage, kReset, kConnect, kGang, kErase, kHeader, kReadyForGroup, kCount
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzz::ScriptedBridge bridge(data + 1, size - 1);
  fuzz::NoWaitPacer pacer;
  Protocol protocol(bridge, pacer);
  protocol.setSideBySideWrites(false);
  const OpenedProgrammer opened = protocol.OpenProgrammer(0);
  FUZZ_CHECK(opened.ok());
  const BridgeHandle handle = opened.handle;

  switch (data[0] % kCount) {
    case kInfo: {
      ProgrammerInfo block;
      block.fill(0xEE);
      const Outcome outcome = protocol.ReadProgrammerInfo(handle, block);
      if (!outcome.ok()) {
        // Only a whole block replaces the one held.
        for (const std::uint8_t b : block) FUZZ_CHECK(b == 0xEE);
      }
      break;
    }
    case kFetchError: {
      const Outcome outcome = protocol.FetchProgrammerError(handle);
      FUZZ_CHECK(!outcome.ok());
      break;
    }
    case kHandshake: {
      const auto silent = bridge.take() & 1 ? Protocol::SilentRead::Yes : Protocol::SilentRead::No;
      (void)protocol.CompletionHandshake(handle, 500, silent);
      break;
    }
    case kReadPage: {
      std::uint8_t answer[kReadAnswerSize + 1];
      answer[kReadAnswerSize] = 0x5A;
      const std::uint16_t page = static_cast<std::uint16_t>(bridge.take() | bridge.take() << 8);
      (void)protocol.ReadPage(handle, page, 20, answer);
      FUZZ_CHECK(answer[kReadAnswerSize] == 0x5A);  // nothing past the answer
      break;
    }
    case kReset:
      (void)protocol.ResetProgrammer(handle, bridge.take() & 1);
      break;
    case kConnect: {
      TargetSetup setup;
      setup.typeCode = static_cast<char>('0' + bridge.take() % 6);
      setup.power = bridge.take();
      (void)protocol.ConnectTarget(handle, setup);
      break;
    }
    case kGang:
      if (!protocol.StartGang(handle)) break;
      for (int poll = 0; poll < 64 && !bridge.exhausted(); ++poll) {
        const GangPoll seen = protocol.PollGang(handle);
        if (seen.kind == GangPoll::Kind::Gone || seen.kind == GangPoll::Kind::Error) break;
      }
      break;
    case kErase:
      if (!protocol.SendErase(handle, 0x10)) break;
      for (int poll = 0; poll < 64 && !bridge.exhausted(); ++poll) {
        const EraseState state = protocol.PollErase(handle);
        if (state != EraseState::Busy) break;
      }
      break;
    case kHeader: {
      ProgrammerInfo block{};
      (void)protocol.WriteProgrammerHeader(handle, bridge.take() & 1, block);
      break;
    }
    case kReadyForGroup:
      (void)protocol.WaitReadyForGroup(handle, 20);
      break;
  }
  protocol.CloseProgrammer(handle);
  return 0;
}
