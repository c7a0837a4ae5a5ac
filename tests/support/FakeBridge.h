#pragma once
// A one-device bridge whose every answer a test sets: status bytes in sequence, bytes
// waiting to be read, failing calls. For protocol corner cases the simulated bench does
// not reach easily (a status that never settles, half an answer).
#include <cstring>
#include <functional>
#include <deque>
#include <vector>

#include "link/Bridge.h"

namespace fd::test {

class FakeBridge final : public Bridge {
public:
  std::uint32_t devices = 1;
  std::deque<std::uint8_t> statuses;     // answered in turn; then `idleStatus`
  std::uint8_t idleStatus = kResultBit;  // not busy, last command ended well
  std::deque<std::uint8_t> rx;           // bytes the programmer has sent
  bool failWrites = false;
  bool failFlow = false;
  bool failStatus = false;
  int closes = 0;
  std::vector<std::vector<std::uint8_t>> written;
  // Called after each write, e.g. to queue the answer of a command.
  std::function<void(FakeBridge&, const std::vector<std::uint8_t>&)> onWrite;
  // Called after each line change that worked.
  std::function<void(FakeBridge&)> onFlow;

  int BridgeGetNumDevices(std::uint32_t& count) override { count = devices; return kBridgeOk; }
  int BridgeGetProductString(std::uint32_t, std::string& text, std::uint8_t) override { text.clear(); return kBridgeOk; }
  int BridgeOpen(std::uint32_t index, BridgeHandle& handle) override {
    if (index >= devices) return kBridgeDeviceNotFound;
    handle = ++lastHandle_;
    open_ = handle;
    return kBridgeOk;
  }
  int BridgeClose(BridgeHandle handle) override {
    ++closes;
    if (handle != open_) return kBridgeInvalidHandle;
    open_ = kNoHandle;
    return kBridgeOk;
  }
  int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count, std::uint32_t& bytesRead) override {
    bytesRead = 0;
    if (!valid(handle)) return kBridgeInvalidHandle;
    while (bytesRead < count && !rx.empty()) {
      buffer[bytesRead++] = rx.front();
      rx.pop_front();
    }
    return bytesRead == count ? kBridgeOk : kBridgeReadTimedOut;
  }
  int BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count, std::uint32_t& bytesWritten) override {
    bytesWritten = 0;
    if (!valid(handle)) return kBridgeInvalidHandle;
    if (failWrites) return kBridgeWriteError;
    written.emplace_back(buffer, buffer + count);
    bytesWritten = count;
    if (onWrite) onWrite(*this, written.back());
    return kBridgeOk;
  }
  int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t, std::uint8_t flushReceive) override {
    if (!valid(handle)) return kBridgeInvalidHandle;
    if (flushReceive) rx.clear();
    return kBridgeOk;
  }
  int BridgeSetTimeouts(std::uint32_t, std::uint32_t) override { return kBridgeOk; }
  int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& count, std::uint32_t& queueStatus) override {
    if (!valid(handle)) return kBridgeInvalidHandle;
    count = static_cast<std::uint32_t>(rx.size());
    queueStatus = 0;
    return kBridgeOk;
  }
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t) override { return valid(handle) ? kBridgeOk : kBridgeInvalidHandle; }
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t) override { return valid(handle) ? kBridgeOk : kBridgeInvalidHandle; }
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) override {
    if (!valid(handle)) return kBridgeInvalidHandle;
    if (failFlow) return kBridgeSystemError;
    if (pattern == kErrorRequestLine && errorCode >= 0) rx.push_back(static_cast<std::uint8_t>(errorCode));
    if (onFlow) onFlow(*this);
    return kBridgeOk;
  }
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override {
    if (!valid(handle) || failStatus) return kBridgeSystemError;
    if (statuses.empty()) {
      status = idleStatus;
    } else {
      status = statuses.front();
      statuses.pop_front();
    }
    ++statusReads;
    return kBridgeOk;
  }

  int errorCode = -1;  // sent when the error-request line goes active (-1: nothing)
  int statusReads = 0;

private:
  bool valid(BridgeHandle handle) const { return handle != kNoHandle && handle == open_; }
  BridgeHandle lastHandle_ = 0;
  BridgeHandle open_ = kNoHandle;
};

}  // namespace fd::test
