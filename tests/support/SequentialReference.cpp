#include "support/SequentialReference.h"

#include "link/Protocol.h"

namespace fd::test {

bool SequentialReset(Bridge& bridge, Pacer& pacer, BridgeHandle handle, int sendMark) {
  if (bridge.BridgeSetFlowControl(handle, kResetLine) != kBridgeOk) return false;
  pacer.spin(kResetSpin);
  if (bridge.BridgeSetFlowControl(handle, kLinesReleased) != kBridgeOk) return false;
  bool idle = false;
  for (int i = 0; i < 500 && !idle; ++i) {
    std::uint8_t status = 0;
    idle = bridge.BridgeGetModemStatus(handle, status) == kBridgeOk && (status & kBusyBit) == 0;
    if (!idle) pacer.spin(kPollSpin);
  }
  if (!idle) return false;
  if (sendMark != 1) return true;
  const std::uint8_t mark[2] = {kCmdSelect, kMarkSelected};
  std::uint32_t written = 0;
  return bridge.BridgeWrite(handle, mark, 2, written) == kBridgeOk;
}

bool SequentialInfoRead(Bridge& bridge, Pacer& pacer, BridgeHandle handle, ProgrammerInfo& block) {
  bridge.BridgeFlushBuffers(handle, 1, 1);
  const std::uint8_t command = kCmdInfo;
  std::uint32_t moved = 0;
  bool ok = bridge.BridgeWrite(handle, &command, 1, moved) == kBridgeOk && moved == 1;
  bool idle = false;
  for (int i = 0; ok && i < 20 && !idle; ++i) {
    std::uint8_t status = 0;
    idle = bridge.BridgeGetModemStatus(handle, status) == kBridgeOk && (status & kBusyBit) == 0;
    if (!idle) pacer.spin(kPollSpin);
  }
  ProgrammerInfo read{};
  ok = ok && idle && bridge.BridgeRead(handle, read.data(), kInfoSize, moved) == kBridgeOk && moved == kInfoSize;
  if (!ok) {
    bridge.BridgeClose(handle);
    return false;
  }
  block = read;
  return true;
}

namespace {

void WriteMark(Bridge& bridge, BridgeHandle handle, std::uint8_t mark) {
  const std::uint8_t frame[2] = {kCmdSelect, mark};
  std::uint32_t written = 0;
  bridge.BridgeWrite(handle, frame, 2, written);
}

}  // namespace

void SequentialMainWindow::detect(int selectedRow) {
  std::uint32_t count = 0;
  bridge_.BridgeGetNumDevices(count);
  for (BridgeHandle h : handles) {
    if (h != kNoHandle) bridge_.BridgeClose(h);
  }
  handles.clear();
  for (std::uint32_t index = 0; index < count; ++index) {
    BridgeHandle h = kNoHandle;
    if (bridge_.BridgeOpen(index, h) != kBridgeOk) continue;
    bridge_.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
    if (bridge_.BridgeSetBaudRate(h, kNormalBaud) != kBridgeOk ||
        bridge_.BridgeSetLineControl(h, kLineControl8N1) != kBridgeOk) {
      bridge_.BridgeClose(h);
      continue;
    }
    if (!SequentialReset(bridge_, pacer_, h, 0)) {
      messages.push_back(kMsgCannotReset);
      bridge_.BridgeClose(h);
      continue;
    }
    WriteMark(bridge_, h, kMarkCleared);
    ProgrammerInfo block{};
    if (!SequentialInfoRead(bridge_, pacer_, h, block)) continue;
    handles.push_back(h);
  }
  if (!handles.empty()) {
    if (selectedRow < 0 || selectedRow >= static_cast<int>(handles.size())) selectedRow = 0;
    WriteMark(bridge_, handles[static_cast<std::size_t>(selectedRow)], kMarkSelected);
  }
}

void SequentialMainWindow::recordResets(const std::vector<int>& ticked) {
  for (std::size_t r = 0; r < handles.size(); ++r) {
    if (r >= ticked.size() || !ticked[r]) continue;
    if (!SequentialReset(bridge_, pacer_, handles[r], 0)) continue;
    ProgrammerInfo block{};
    if (!SequentialInfoRead(bridge_, pacer_, handles[r], block)) handles[r] = kNoHandle;
  }
}

void SequentialMainWindow::close() {
  for (BridgeHandle& h : handles) {
    if (h == kNoHandle) continue;
    if (!SequentialReset(bridge_, pacer_, h, 0)) messages.push_back(kMsgCannotReset);
    WriteMark(bridge_, h, kMarkCleared);
    bridge_.BridgeClose(h);
    h = kNoHandle;
  }
}

std::vector<std::string> TraceOf(const TracingBridge& tracing, BridgeHandle handle) {
  std::vector<std::string> lines;
  for (const TraceEntry& e : tracing.entriesFor(handle)) lines.push_back(e.describe());
  return lines;
}

}  // namespace fd::test
