#pragma once
// The firmware update on a simulated bench in virtual time: the update mode run as the
// main window runs it, its Updating window through a scripted host, every bridge call
// traced, every message recorded. A link in between can bend single answers the bench
// would not give (half an answer, a short write, a status line that drops once).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flows/common/ScriptedHost.h"
#include "flows/update/UpdateFlow.h"
#include "flows/update/UpdateMode.h"
#include "link/BootLoader.h"
#include "link/TracingBridge.h"
#include "sim/SimBench.h"
#include "support/RecordingPrompter.h"
#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd::test {

// Passes every call on, letting a test change the n-th status read, read or write.
class BendingLink final : public Bridge {
public:
  explicit BendingLink(Bridge& inner) : inner_(inner) {}

  std::function<void(int n, std::uint8_t& status)> onStatus;
  // May change the bytes or cut how many came.
  std::function<void(int n, std::uint8_t* buffer, std::uint32_t& got)> onRead;
  // How many of a write's bytes go out (all when empty).
  std::function<std::uint32_t(int n, const std::uint8_t* buffer, std::uint32_t count)> writeLimit;

  int BridgeGetNumDevices(std::uint32_t& count) override { return inner_.BridgeGetNumDevices(count); }
  int BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) override {
    return inner_.BridgeGetProductString(index, text, selector);
  }
  int BridgeOpen(std::uint32_t index, BridgeHandle& handle) override { return inner_.BridgeOpen(index, handle); }
  int BridgeClose(BridgeHandle handle) override { return inner_.BridgeClose(handle); }
  int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& got) override {
    int rc = inner_.BridgeRead(handle, buffer, count, got);
    if (onRead) {
      onRead(++reads_, buffer, got);
      if (got < count) rc = kBridgeReadTimedOut;
    }
    return rc;
  }
  int BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count, std::uint32_t& written) override {
    const std::uint32_t allowed = writeLimit ? writeLimit(++writes_, buffer, count) : count;
    const int rc = inner_.BridgeWrite(handle, buffer, std::min(allowed, count), written);
    return allowed < count ? kBridgeWriteTimedOut : rc;
  }
  int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t t, std::uint8_t r) override {
    return inner_.BridgeFlushBuffers(handle, t, r);
  }
  int BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
    return inner_.BridgeSetTimeouts(readMs, writeMs);
  }
  int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& count, std::uint32_t& queueStatus) override {
    return inner_.BridgeCheckRxQueue(handle, count, queueStatus);
  }
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) override { return inner_.BridgeSetBaudRate(handle, baud); }
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t lc) override {
    return inner_.BridgeSetLineControl(handle, lc);
  }
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) override {
    return inner_.BridgeSetFlowControl(handle, pattern);
  }
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override {
    const int rc = inner_.BridgeGetModemStatus(handle, status);
    if (onStatus) onStatus(++statuses_, status);
    return rc;
  }

private:
  Bridge& inner_;
  int reads_ = 0;
  int writes_ = 0;
  int statuses_ = 0;
};

// `count` pages of firmware from page `first` on, each page's bytes its own, as 32-byte S2
// records after the header and before the termination record.
inline std::string FirmwareFile(std::uint16_t first, int count, Bytes* data = nullptr) {
  const Bytes bytes = RandomBytes(static_cast<std::size_t>(count) * 256, first);
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size(); at += 32) {
    lines.push_back(S2(std::uint32_t{first} * 256 + static_cast<std::uint32_t>(at),
                       Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at) + 32)));
  }
  lines.push_back(kS8);
  if (data) *data = bytes;
  return SFile(lines);
}

inline SimProgrammerSetup Jumpered() {
  SimProgrammerSetup setup;
  setup.updateJumpers = true;
  return setup;
}

struct UpdateRig {
  UpdateRig() : bench(clock), bending(bench), tracing(bending), pacer(clock), dialogs(clock) {}

  SimProgrammer& attach(SimProgrammerSetup setup = Jumpered()) {
    bench.attach(std::move(setup));
    return bench.programmer(bench.programmerCount() - 1);
  }
  // A file in the test's folder, chosen at the next file dialog.
  std::string chooseFile(const std::string& text, const std::string& name = "firmware.mot") {
    dir.write(name, text);
    prompter.chooseOpenNext(dir.path(name));
    return dir.path(name);
  }
  UpdateOutcome run() { return RunUpdateMode(UpdateModePorts{state, tracing, pacer, prompter, dialogs, clock}); }

  // The handle the update opened (the last one opened).
  BridgeHandle bootHandle() const {
    BridgeHandle handle = kNoHandle;
    for (const TraceEntry& e : tracing.entries()) {
      if (e.op == TraceEntry::Op::Open && e.status == kBridgeOk) handle = e.handle;
    }
    return handle;
  }
  std::vector<std::vector<std::uint8_t>> writes() const { return tracing.writesTo(bootHandle()); }
  bool anyEraseSent() const {
    for (const auto& w : writes()) {
      if (w.size() == 4 && w[0] == boot::kBlockErase) return true;
    }
    return false;
  }
  int count(TraceEntry::Op op) const {
    int n = 0;
    for (const TraceEntry& e : tracing.entries()) n += e.op == op ? 1 : 0;
    return n;
  }

  TempDir dir;
  VirtualClock clock;
  SimBench bench;
  BendingLink bending;
  TracingBridge tracing;
  ClockPacer pacer;
  RecordingPrompter prompter;
  ScriptedHost dialogs;
  AppState state;
};

}  // namespace fd::test
