#include "link/Protocol.h"

#include "link/Frames.h"

#include <thread>

namespace fd {
namespace {
// Status reads a programmer gets to come out of reset.
constexpr int kResetPolls = 500;
// Status reads a programmer gets to answer 'I'.
constexpr int kInfoPolls = 20;
}  // namespace

Protocol::Protocol(Bridge& bridge, Pacer& pacer) : bridge_(bridge), pacer_(pacer) {}

bool Protocol::WaitStatusLine(BridgeHandle handle, std::uint8_t mask, int polls) {
  for (int i = 0; i < polls; ++i) {
    std::uint8_t status = 0;
    // A failed status read counts as a poll that did not see the bits clear.
    if (bridge_.BridgeGetModemStatus(handle, status) == kBridgeOk && (status & mask) == 0) return true;
    pacer_.spin(kPollSpin);
  }
  return false;
}

bool Protocol::WriteBytes(BridgeHandle handle, const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t written = 0;
  return bridge_.BridgeWrite(handle, bytes, count, written) == kBridgeOk && written == count;
}

bool Protocol::ReadBytes(BridgeHandle handle, std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t got = 0;
  return bridge_.BridgeRead(handle, bytes, count, got) == kBridgeOk && got == count;
}

int Protocol::WriteSelectMark(BridgeHandle handle, std::uint8_t mark) {
  const std::uint8_t frame[2] = {kCmdSelect, mark};
  std::uint32_t written = 0;
  return bridge_.BridgeWrite(handle, frame, 2, written);
}

std::vector<bool> Protocol::WaitBusyClear(const std::vector<BridgeHandle>& handles, std::vector<std::size_t> waiting,
                                          int polls) {
  // One read of each busy programmer per round, so a slow one never delays the others'
  // reads; the pause between rounds is paid once, and only while someone is still busy.
  std::vector<bool> ready(handles.size(), false);
  std::vector<int> reads(handles.size(), 0);
  while (!waiting.empty()) {
    std::vector<std::size_t> stillBusy;
    for (const std::size_t i : waiting) {
      std::uint8_t status = 0;
      // A failed status read counts as a read that still showed the programmer busy.
      if (bridge_.BridgeGetModemStatus(handles[i], status) == kBridgeOk && (status & kBusyBit) == 0) {
        ready[i] = true;
      } else if (++reads[i] < polls) {
        stillBusy.push_back(i);
      }
    }
    waiting.swap(stillBusy);
    if (!waiting.empty()) pacer_.spin(kPollSpin);
  }
  return ready;
}

Outcome Protocol::ResetProgrammer(BridgeHandle handle, int sendMark) {
  return ResetProgrammers({handle}, sendMark).front();
}

std::vector<Outcome> Protocol::ResetProgrammers(const std::vector<BridgeHandle>& handles, int sendMark) {
  const std::size_t count = handles.size();
  std::vector<bool> driven(count, false);
  bool anyDriven = false;
  for (std::size_t i = 0; i < count; ++i) {
    driven[i] = bridge_.BridgeSetFlowControl(handles[i], kResetLine) == kBridgeOk;
    anyDriven = anyDriven || driven[i];
  }
  // Every line is held for at least the whole pulse, the first one driven a little longer.
  if (anyDriven) pacer_.spin(kResetSpin);
  std::vector<std::size_t> released;
  for (std::size_t i = 0; i < count; ++i) {
    if (driven[i] && bridge_.BridgeSetFlowControl(handles[i], kLinesReleased) == kBridgeOk) released.push_back(i);
  }

  const std::vector<bool> ready = WaitBusyClear(handles, released, kResetPolls);

  std::vector<Outcome> outcomes;
  outcomes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    bool ok = ready[i];
    if (ok && sendMark == 1) ok = WriteSelectMark(handles[i], kMarkSelected) == kBridgeOk;
    outcomes.push_back(ok ? Outcome::Success() : Outcome::Error(Outcome::Failure::CannotReset, kMsgCannotReset));
  }
  return outcomes;
}

std::optional<std::uint8_t> Protocol::ReadErrorCode(BridgeHandle handle) {
  bridge_.BridgeFlushBuffers(handle, 1, 1);
  if (bridge_.BridgeSetFlowControl(handle, kErrorRequestLine) != kBridgeOk) return std::nullopt;
  std::uint8_t code = 0;
  if (!ReadBytes(handle, &code, 1)) return std::nullopt;
  return code;
}

Outcome Protocol::FetchProgrammerError(BridgeHandle handle) {
  const std::optional<std::uint8_t> code = ReadErrorCode(handle);
  Outcome outcome = Outcome::Error(code ? Outcome::Failure::ProgrammerError : Outcome::Failure::UnreadableError,
                                   code ? ProgrammerErrorText(*code) : std::string(kMsgUnknownError));
  outcome.code = code.value_or(0);
  if (code) fetchedCodes_[handle] = *code;
  const Outcome reset = ResetProgrammer(handle, 0);
  outcome.resetOk = reset.ok();
  outcome.notices.insert(outcome.notices.end(), reset.notices.begin(), reset.notices.end());
  return outcome;
}

std::optional<std::uint8_t> Protocol::lastErrorCode(BridgeHandle handle) const {
  const auto found = fetchedCodes_.find(handle);
  if (found == fetchedCodes_.end()) return std::nullopt;
  return found->second;
}

void Protocol::forgetErrorCode(BridgeHandle handle) { fetchedCodes_.erase(handle); }

Outcome Protocol::CompletionHandshake(BridgeHandle handle, int busyLimit, SilentRead silentRead) {
  if (!WaitStatusLine(handle, kBusyBit, busyLimit)) return Outcome::Error(Outcome::Failure::TimeOut, kMsgTimeOut);
  return HandshakeResult(handle, silentRead);
}

std::vector<Outcome> Protocol::CompletionHandshakes(const std::vector<BridgeHandle>& handles, int busyLimit,
                                                    SilentRead silentRead) {
  const std::vector<bool> ready = WaitNotBusy(handles, busyLimit);
  std::vector<std::size_t> idle;
  for (std::size_t i = 0; i < handles.size(); ++i) {
    if (ready[i]) idle.push_back(i);
  }
  std::vector<Outcome> outcomes = HandshakeResults(handles, idle, silentRead);
  for (std::size_t i = 0; i < handles.size(); ++i) {
    if (!ready[i]) outcomes[i] = Outcome::Error(Outcome::Failure::TimeOut, kMsgTimeOut);
  }
  return outcomes;
}

std::vector<bool> Protocol::WaitNotBusy(const std::vector<BridgeHandle>& handles, int polls) {
  std::vector<std::size_t> all;
  for (std::size_t i = 0; i < handles.size(); ++i) all.push_back(i);
  return WaitBusyClear(handles, all, polls);
}

Outcome Protocol::ConnectTarget(BridgeHandle handle, const TargetSetup& setup) {
  bridge_.BridgeFlushBuffers(handle, 1, 1);
  const std::uint8_t connect[5] = {kCmdSelect, kMarkSelected, kCmdConnect, static_cast<std::uint8_t>(setup.typeCode),
                                   setup.power};
  for (std::uint8_t byte : connect) {
    if (!WriteBytes(handle, &byte, 1)) return Outcome::Silent();
  }
  Outcome step = CompletionHandshake(handle, 5000, SilentRead::Yes);
  if (!step.ok()) return step;
  const std::uint8_t id = kCmdIdCode;
  if (!WriteBytes(handle, &id, 1)) return Outcome::Silent();
  if (!WriteBytes(handle, setup.idCode.data(), static_cast<std::uint32_t>(setup.idCode.size()))) return Outcome::Silent();
  return CompletionHandshake(handle, 2000, SilentRead::Yes);
}

Outcome Protocol::ReadProgrammerInfo(BridgeHandle handle, ProgrammerInfo& block) {
  std::vector<ProgrammerInfo> blocks{block};
  const Outcome outcome = ReadProgrammerInfos({handle}, blocks).front();
  block = blocks.front();
  return outcome;
}

std::vector<Outcome> Protocol::ReadProgrammerInfos(const std::vector<BridgeHandle>& handles,
                                                   std::vector<ProgrammerInfo>& blocks) {
  const std::size_t count = handles.size();
  blocks.resize(count);
  std::vector<std::size_t> asked;
  const std::uint8_t command = kCmdInfo;
  for (std::size_t i = 0; i < count; ++i) {
    bridge_.BridgeFlushBuffers(handles[i], 1, 1);
    if (WriteBytes(handles[i], &command, 1)) asked.push_back(i);
  }
  const std::vector<bool> ready = WaitBusyClear(handles, asked, kInfoPolls);
  std::vector<Outcome> outcomes;
  outcomes.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    ProgrammerInfo read{};
    if (!ready[i] || !ReadBytes(handles[i], read.data(), kInfoSize)) {
      bridge_.BridgeClose(handles[i]);
      outcomes.push_back(Outcome::Silent());
      continue;
    }
    // Only a whole block replaces the one the caller holds; half a block would mislead.
    blocks[i] = read;
    outcomes.push_back(Outcome::Success());
  }
  return outcomes;
}

Outcome Protocol::WriteProgrammerHeader(BridgeHandle handle, int dataFollows, const ProgrammerInfo& block) {
  return WriteProgrammerHeaders({handle}, dataFollows, {block}).front();
}

std::vector<bool> Protocol::ResultBitsClear(const std::vector<BridgeHandle>& handles,
                                           const std::vector<std::size_t>& which) {
  std::vector<bool> clear(handles.size(), false);
  std::vector<std::size_t> waiting = which;
  for (int poll = 0; poll < 2 && !waiting.empty(); ++poll) {
    std::vector<std::size_t> stillSet;
    for (const std::size_t i : waiting) {
      std::uint8_t status = 0;
      // A failed status read counts as a read that did not see the bit clear.
      if (bridge_.BridgeGetModemStatus(handles[i], status) == kBridgeOk && (status & kResultBit) == 0) {
        clear[i] = true;
      } else {
        stillSet.push_back(i);
      }
    }
    waiting.swap(stillSet);
    if (!waiting.empty()) pacer_.spin(kPollSpin);
  }
  return clear;
}

std::vector<Outcome> Protocol::HandshakeResults(const std::vector<BridgeHandle>& handles,
                                                const std::vector<std::size_t>& which, SilentRead silentRead) {
  std::vector<Outcome> outcomes(handles.size(), Outcome::Success());
  const std::vector<bool> errorWaiting = ResultBitsClear(handles, which);
  for (const std::size_t i : which) {
    if (errorWaiting[i]) {
      outcomes[i] = FetchProgrammerError(handles[i]);
      continue;
    }
    std::uint8_t result = 0;
    if (!ReadBytes(handles[i], &result, 1)) {
      outcomes[i] = silentRead == SilentRead::No ? Outcome::Error(Outcome::Failure::Link, kMsgUnknownError)
                                                 : Outcome::Silent();
    } else if (result != 0) {
      outcomes[i] = Outcome::Error(Outcome::Failure::BadResult, kMsgUnknownError);
    }
  }
  return outcomes;
}

Outcome Protocol::HandshakeResult(BridgeHandle handle, SilentRead silentRead) {
  // A result bit that reads clear on either poll means an error code is waiting.
  return HandshakeResults({handle}, {0}, silentRead).front();
}

std::vector<Outcome> Protocol::WriteProgrammerHeaders(const std::vector<BridgeHandle>& handles, int dataFollows,
                                                      const std::vector<ProgrammerInfo>& blocks) {
  const std::size_t count = handles.size();
  std::vector<Outcome> outcomes(count, Outcome::Success());
  const std::uint8_t command = dataFollows ? kCmdHeaderData : kCmdHeader;
  std::vector<std::size_t> asked;
  for (std::size_t i = 0; i < count; ++i) {
    bridge_.BridgeFlushBuffers(handles[i], 1, 1);
    if (WriteBytes(handles[i], &command, 1)) {
      asked.push_back(i);
    } else {
      outcomes[i] = Outcome::Silent();
    }
  }
  // The command's handshake: busy clear within 1000 reads, then its result.
  const std::vector<bool> took = WaitBusyClear(handles, asked, 1000);
  std::vector<std::size_t> idle;
  for (const std::size_t i : asked) {
    if (took[i]) {
      idle.push_back(i);
    } else {
      outcomes[i] = Outcome::Error(Outcome::Failure::TimeOut, kMsgTimeOut);
    }
  }
  const std::vector<Outcome> answered = HandshakeResults(handles, idle, SilentRead::Yes);
  std::vector<std::size_t> framed;
  std::vector<WriteBatch> frames;
  for (const std::size_t i : idle) {
    outcomes[i] = answered[i];
    if (!outcomes[i].ok()) continue;
    const HeaderFrame frame = MakeHeaderFrame(blocks[i].data());
    frames.push_back({handles[i], {{frame.begin(), frame.begin() + 2}, {frame.begin() + 2, frame.begin() + 2 + kHeaderBytes}}});
    framed.push_back(i);
  }
  // The frames take their time on the line: each programmer's goes out beside the others'.
  const std::vector<std::size_t> written = WriteSideBySide(frames);
  std::vector<std::size_t> sent;
  for (std::size_t k = 0; k < framed.size(); ++k) {
    if (written[k] < frames[k].writes.size()) {
      outcomes[framed[k]] = Outcome::Silent();
      continue;
    }
    sent.push_back(framed[k]);
  }
  const std::vector<bool> stored = WaitBusyClear(handles, sent, 200);
  // Each result byte, then the result bits of all of them together.
  std::vector<std::size_t> answering;
  std::vector<std::uint8_t> results(count, 0);
  std::vector<bool> gotResults(count, false);
  for (const std::size_t i : sent) {
    if (!stored[i]) {
      outcomes[i] = Outcome::Error(Outcome::Failure::TimeOut, kMsgTimeOut);
      continue;
    }
    gotResults[i] = ReadBytes(handles[i], &results[i], 1);
    answering.push_back(i);
  }
  const std::vector<bool> errorWaiting = ResultBitsClear(handles, answering);
  for (const std::size_t i : answering) {
    const std::uint8_t result = results[i];
    const bool gotResult = gotResults[i];
    if (errorWaiting[i]) {
      outcomes[i] = FetchProgrammerError(handles[i]);
      continue;
    }
    // A missing result byte with the result bit set says nothing about what was stored;
    // it fails without a message, as the other silent reads of a command do.
    if (!gotResult) {
      outcomes[i] = Outcome::Silent();
    } else if (result != 0) {
      outcomes[i] = Outcome::Error(Outcome::Failure::BadResult, kMsgUnknownError);
    }
  }
  return outcomes;
}

std::vector<GroupReady> Protocol::WaitReadyForGroups(const std::vector<BridgeHandle>& handles, int polls) {
  std::vector<GroupReady> ready(handles.size(), GroupReady::TimedOut);
  std::vector<int> reads(handles.size(), 0);
  std::vector<std::size_t> waiting;
  for (std::size_t i = 0; i < handles.size(); ++i) {
    if (polls > 0) waiting.push_back(i);
  }
  while (!waiting.empty()) {
    std::vector<std::size_t> stillBusy;
    for (const std::size_t i : waiting) {
      std::uint8_t status = 0;
      // A failed read counts as a poll that did not see the programmer idle.
      if (bridge_.BridgeGetModemStatus(handles[i], status) == kBridgeOk && (status & kBusyBit) == 0) {
        // The result bit of this very read and of one more at once, as for one programmer.
        std::uint8_t again = 0;
        const bool error = (status & kResultBit) == 0 ||
                           (bridge_.BridgeGetModemStatus(handles[i], again) == kBridgeOk && (again & kResultBit) == 0);
        ready[i] = error ? GroupReady::Error : GroupReady::Yes;
      } else if (++reads[i] < polls) {
        stillBusy.push_back(i);
      }
    }
    waiting.swap(stillBusy);
    if (!waiting.empty()) pacer_.spin(kPollSpin);
  }
  return ready;
}

std::vector<std::size_t> Protocol::WriteSideBySide(const std::vector<WriteBatch>& batches) {
  std::vector<std::size_t> done(batches.size(), 0);
  const auto writeOne = [this, &batches, &done](std::size_t i) {
    for (const std::vector<std::uint8_t>& bytes : batches[i].writes) {
      if (!WriteBytes(batches[i].handle, bytes.data(), static_cast<std::uint32_t>(bytes.size()))) return;
      ++done[i];
    }
  };
  std::vector<std::size_t> busy;
  for (std::size_t i = 0; i < batches.size(); ++i) {
    if (!batches[i].writes.empty()) busy.push_back(i);
  }
  if (!sideBySide_ || busy.size() < 2) {
    for (const std::size_t i : busy) writeOne(i);
    return done;
  }
  // Each programmer's writes on a thread of their own; this thread takes the first. Only
  // the bridge's write runs there: no pacer, no prompter, nothing of the caller's.
  std::vector<std::thread> others;
  others.reserve(busy.size() - 1);
  for (std::size_t k = 1; k < busy.size(); ++k) others.emplace_back(writeOne, busy[k]);
  writeOne(busy.front());
  for (std::thread& t : others) t.join();
  return done;
}

}  // namespace fd
