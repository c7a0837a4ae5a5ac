#pragma once
// A Bridge that passes every call on to another and records it: the operation, the handle,
// the bytes written or read, the line pattern and the status. Tests assert on the entries;
// `--trace FILE` writes each one as a line while the program runs.
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "link/Bridge.h"

namespace fd {

struct TraceEntry {
  enum class Op {
    GetNumDevices, GetProductString, Open, Close, Read, Write, FlushBuffers, SetTimeouts,
    CheckRxQueue, SetBaudRate, SetLineControl, SetFlowControl, GetModemStatus
  };
  Op op = Op::GetNumDevices;
  BridgeHandle handle = kNoHandle;
  int status = 0;
  std::vector<std::uint8_t> bytes{};  // written, or actually read
  std::uint32_t requested = 0;      // bytes asked for (read), or index / value of the call
  std::uint32_t value = 0;          // count, baud, line control, status byte, queue count
  FlowPattern pattern{};
  std::string text{};               // product string

  std::string describe() const;
};

const char* TraceOpName(TraceEntry::Op op);

// The first line of every trace file (`--trace FILE`), so a later run can tell an earlier
// trace, which it may replace, from any other file, which it must not.
inline constexpr const char* kTraceFileHeader = "# flashdock bridge trace";

class TracingBridge final : public Bridge {
public:
  explicit TracingBridge(Bridge& inner);

  // Lines go here as they happen (nullptr: none).
  void setSink(std::ostream* sink) { sink_ = sink; }
  // Keep entries in memory (tests); off for a long-running program.
  void setRecording(bool on) { recording_ = on; }

  const std::vector<TraceEntry>& entries() const { return entries_; }
  void clear() { entries_.clear(); }
  // Entries of one handle, optionally only of one operation.
  std::vector<TraceEntry> entriesFor(BridgeHandle handle) const;
  // All bytes written to a handle, in order, each write as one element.
  std::vector<std::vector<std::uint8_t>> writesTo(BridgeHandle handle) const;

  int BridgeGetNumDevices(std::uint32_t& count) override;
  int BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) override;
  int BridgeOpen(std::uint32_t index, BridgeHandle& handle) override;
  int BridgeClose(BridgeHandle handle) override;
  int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                 std::uint32_t& bytesRead) override;
  int BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                  std::uint32_t& bytesWritten) override;
  int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) override;
  int BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
  int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) override;
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) override;
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) override;
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) override;
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override;

private:
  void record(TraceEntry entry);

  Bridge& inner_;
  std::ostream* sink_ = nullptr;
  bool recording_ = true;
  std::vector<TraceEntry> entries_;
  // Programmers written side by side record from several threads.
  std::mutex recordMutex_;
};

}  // namespace fd
