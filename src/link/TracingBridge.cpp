#include "link/TracingBridge.h"

#include <sstream>

#include "formats/Hex.h"

namespace fd {

const char* TraceOpName(TraceEntry::Op op) {
  switch (op) {
    case TraceEntry::Op::GetNumDevices: return "GetNumDevices";
    case TraceEntry::Op::GetProductString: return "GetProductString";
    case TraceEntry::Op::Open: return "Open";
    case TraceEntry::Op::Close: return "Close";
    case TraceEntry::Op::Read: return "Read";
    case TraceEntry::Op::Write: return "Write";
    case TraceEntry::Op::FlushBuffers: return "FlushBuffers";
    case TraceEntry::Op::SetTimeouts: return "SetTimeouts";
    case TraceEntry::Op::CheckRxQueue: return "CheckRxQueue";
    case TraceEntry::Op::SetBaudRate: return "SetBaudRate";
    case TraceEntry::Op::SetLineControl: return "SetLineControl";
    case TraceEntry::Op::SetFlowControl: return "SetFlowControl";
    case TraceEntry::Op::GetModemStatus: return "GetModemStatus";
  }
  return "?";
}

namespace {

std::string LineName(const FlowPattern& p) {
  if (p == kLinesReleased) return "released";
  if (p == kResetLine) return "reset";
  if (p == kErrorRequestLine) return "error-request";
  std::string out;
  for (int i = 0; i < 6; ++i) out += (i ? "," : "") + std::to_string(p.codes[i]);
  return out;
}

}  // namespace

std::string TraceEntry::describe() const {
  std::ostringstream out;
  out << TraceOpName(op);
  if (op != Op::GetNumDevices && op != Op::SetTimeouts && op != Op::GetProductString && op != Op::Open) {
    out << " h" << handle;
  }
  switch (op) {
    case Op::GetNumDevices: out << " count=" << value; break;
    case Op::GetProductString: out << " index=" << requested << " selector=" << value << " \"" << text << '"'; break;
    case Op::Open: out << " index=" << requested << " -> h" << handle; break;
    case Op::Read: out << " want=" << requested << " got=" << bytes.size() << (bytes.empty() ? "" : " [") << HexBytes(bytes.data(), bytes.size(), " ") << (bytes.empty() ? "" : "]"); break;
    case Op::Write: out << " [" << HexBytes(bytes.data(), bytes.size(), " ") << "] sent=" << value; break;
    case Op::FlushBuffers: break;
    case Op::SetTimeouts: out << " " << requested << "," << value << " ms"; break;
    case Op::CheckRxQueue: out << " queued=" << value; break;
    case Op::SetBaudRate: out << " " << value; break;
    case Op::SetLineControl: out << " 0x" << std::hex << value << std::dec; break;
    case Op::SetFlowControl: out << " " << LineName(pattern); break;
    case Op::GetModemStatus:
      out << " 0x" << HexText(value, 2) << ((value & kBusyBit) ? " busy" : "") << ((value & kResultBit) ? " ok" : "");
      break;
    case Op::Close: break;
  }
  out << " => " << status;
  return out.str();
}

TracingBridge::TracingBridge(Bridge& inner) : inner_(inner) {}

void TracingBridge::record(TraceEntry entry) {
  const std::lock_guard lock(recordMutex_);
  if (sink_) *sink_ << entry.describe() << '\n' << std::flush;
  if (recording_) entries_.push_back(std::move(entry));
}

std::vector<TraceEntry> TracingBridge::entriesFor(BridgeHandle handle) const {
  std::vector<TraceEntry> out;
  for (const auto& e : entries_) {
    if (e.handle == handle) out.push_back(e);
  }
  return out;
}

std::vector<std::vector<std::uint8_t>> TracingBridge::writesTo(BridgeHandle handle) const {
  std::vector<std::vector<std::uint8_t>> out;
  for (const auto& e : entries_) {
    if (e.handle == handle && e.op == TraceEntry::Op::Write) out.push_back(e.bytes);
  }
  return out;
}

int TracingBridge::BridgeGetNumDevices(std::uint32_t& count) {
  const int status = inner_.BridgeGetNumDevices(count);
  record({.op = TraceEntry::Op::GetNumDevices, .status = status, .value = count});
  return status;
}

int TracingBridge::BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) {
  const int status = inner_.BridgeGetProductString(index, text, selector);
  record({.op = TraceEntry::Op::GetProductString, .status = status, .requested = index, .value = selector, .text = text});
  return status;
}

int TracingBridge::BridgeOpen(std::uint32_t index, BridgeHandle& handle) {
  const int status = inner_.BridgeOpen(index, handle);
  record({.op = TraceEntry::Op::Open, .handle = status == kBridgeOk ? handle : kNoHandle, .status = status, .requested = index});
  return status;
}

int TracingBridge::BridgeClose(BridgeHandle handle) {
  const int status = inner_.BridgeClose(handle);
  record({.op = TraceEntry::Op::Close, .handle = handle, .status = status});
  return status;
}

int TracingBridge::BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t& bytesRead) {
  bytesRead = 0;
  const int status = inner_.BridgeRead(handle, buffer, count, bytesRead);
  const std::uint32_t shown = bytesRead <= count ? bytesRead : count;
  record({.op = TraceEntry::Op::Read, .handle = handle, .status = status,
          .bytes = std::vector<std::uint8_t>(buffer, buffer + shown), .requested = count});
  return status;
}

int TracingBridge::BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                               std::uint32_t& bytesWritten) {
  bytesWritten = 0;
  const int status = inner_.BridgeWrite(handle, buffer, count, bytesWritten);
  record({.op = TraceEntry::Op::Write, .handle = handle, .status = status,
          .bytes = std::vector<std::uint8_t>(buffer, buffer + count), .requested = count, .value = bytesWritten});
  return status;
}

int TracingBridge::BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) {
  const int status = inner_.BridgeFlushBuffers(handle, flushTransmit, flushReceive);
  record({.op = TraceEntry::Op::FlushBuffers, .handle = handle, .status = status});
  return status;
}

int TracingBridge::BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  const int status = inner_.BridgeSetTimeouts(readMs, writeMs);
  record({.op = TraceEntry::Op::SetTimeouts, .status = status, .requested = readMs, .value = writeMs});
  return status;
}

int TracingBridge::BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) {
  byteCount = 0;
  const int status = inner_.BridgeCheckRxQueue(handle, byteCount, queueStatus);
  record({.op = TraceEntry::Op::CheckRxQueue, .handle = handle, .status = status, .value = byteCount});
  return status;
}

int TracingBridge::BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) {
  const int status = inner_.BridgeSetBaudRate(handle, baud);
  record({.op = TraceEntry::Op::SetBaudRate, .handle = handle, .status = status, .value = baud});
  return status;
}

int TracingBridge::BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) {
  const int status = inner_.BridgeSetLineControl(handle, lineControl);
  record({.op = TraceEntry::Op::SetLineControl, .handle = handle, .status = status, .value = lineControl});
  return status;
}

int TracingBridge::BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) {
  const int status = inner_.BridgeSetFlowControl(handle, pattern);
  record({.op = TraceEntry::Op::SetFlowControl, .handle = handle, .status = status, .pattern = pattern});
  return status;
}

int TracingBridge::BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) {
  status = 0;
  const int result = inner_.BridgeGetModemStatus(handle, status);
  record({.op = TraceEntry::Op::GetModemStatus, .handle = handle, .status = result, .value = status});
  return result;
}

}  // namespace fd
