#include "link/serial/SerialBridge.h"

#include <cstdio>

namespace fd {
namespace {

std::string Hex4(int value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", value & 0xFFFF);
  return buf;
}

}  // namespace

SerialBridge::SerialBridge() : SerialBridge(SystemSerialPorts()) {}

SerialBridge::SerialBridge(std::unique_ptr<SerialPorts> ports) : ports_(std::move(ports)) {}

SerialBridge::~SerialBridge() = default;

bool SerialBridge::scan(std::vector<Device>& found) const {
  const auto listed = ports_->list();
  if (!listed) return false;
  found.clear();
  for (const SerialPortInfo& info : *listed) {
    if (info.vendorId != kProgrammerUsbVendor || info.productId != kProgrammerUsbProduct) continue;
    found.push_back({info.name, Hex4(info.vendorId), Hex4(info.productId), info.product});
  }
  return true;
}

SerialPort* SerialBridge::port(BridgeHandle handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second.get();
}

int SerialBridge::BridgeGetNumDevices(std::uint32_t& count) {
  count = 0;
  std::vector<Device> found;
  if (!scan(found)) return kBridgeSystemError;
  devices_ = std::move(found);
  scanned_ = true;
  count = static_cast<std::uint32_t>(devices_.size());
  return kBridgeOk;
}

int SerialBridge::BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) {
  if (!scanned_) {
    std::vector<Device> found;
    if (!scan(found)) return kBridgeSystemError;
    devices_ = std::move(found);
    scanned_ = true;
  }
  if (index >= devices_.size()) return kBridgeDeviceNotFound;
  const Device& d = devices_[index];
  switch (selector) {
    case 3: text = d.vendor; break;
    case 4: text = d.product; break;
    case 1: text = d.description; break;
    default: return kBridgeInvalidParameter;
  }
  return kBridgeOk;
}

int SerialBridge::BridgeOpen(std::uint32_t index, BridgeHandle& handle) {
  if (index >= devices_.size()) return kBridgeDeviceNotFound;
  SerialPorts::OpenError error = SerialPorts::OpenError::None;
  std::unique_ptr<SerialPort> opened = ports_->open(devices_[index].portName, error);
  if (!opened) return error == SerialPorts::OpenError::NotFound ? kBridgeDeviceNotFound : kBridgeSystemError;
  // Opening a serial port raises DTR and RTS on most systems, and here they are the reset
  // and error-request lines: left so, the programmer would sit in reset, or be asked for an
  // error code, until the first reset pulse. A port whose lines cannot be set cannot drive
  // a programmer at all.
  if (!opened->setDtr(false) || !opened->setRts(false)) return kBridgeSystemError;
  handle = nextHandle_++;
  open_[handle] = std::move(opened);
  return kBridgeOk;
}

int SerialBridge::BridgeClose(BridgeHandle handle) {
  if (open_.erase(handle) == 0) return kBridgeInvalidHandle;
  return kBridgeOk;
}

int SerialBridge::BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                             std::uint32_t& bytesRead) {
  bytesRead = 0;
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const int got = p->read(buffer, count, readTimeoutMs_);
  if (got < 0) return kBridgeReadError;
  bytesRead = static_cast<std::uint32_t>(got);
  return bytesRead == count ? kBridgeOk : kBridgeReadTimedOut;
}

int SerialBridge::BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t& bytesWritten) {
  bytesWritten = 0;
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const int sent = p->write(buffer, count, writeTimeoutMs_);
  if (sent < 0) return kBridgeWriteError;
  bytesWritten = static_cast<std::uint32_t>(sent);
  return bytesWritten == count ? kBridgeOk : kBridgeWriteTimedOut;
}

int SerialBridge::BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) {
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  return p->flush(flushTransmit != 0, flushReceive != 0) ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  readTimeoutMs_ = readMs;
  writeTimeoutMs_ = writeMs;
  return kBridgeOk;
}

int SerialBridge::BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) {
  byteCount = 0;
  queueStatus = 0;
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const int waiting = p->inputWaiting();
  if (waiting < 0) return kBridgeSystemError;
  byteCount = static_cast<std::uint32_t>(waiting);
  queueStatus = waiting > 0 ? 2 : 0;
  return kBridgeOk;
}

int SerialBridge::BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) {
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  return p->setBaudRate(baud) ? kBridgeOk : kBridgeInvalidParameter;
}

int SerialBridge::BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) {
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  // Only 8-N-1 is ever asked for; anything else is refused rather than half applied.
  if (lineControl != kLineControl8N1) return kBridgeInvalidParameter;
  return p->set8N1() ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) {
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  // The second code drives the error-request line (RTS), the third the reset line (DTR);
  // 1 holds a line active, 0 inactive.
  const bool ok = p->setRts(pattern.codes[1] == 1) && p->setDtr(pattern.codes[2] == 1);
  return ok ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) {
  status = 0;
  SerialPort* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const auto lines = p->inputLines();
  if (!lines) return kBridgeSystemError;
  if (lines->cts) status |= kResultBit;
  if (lines->dsr) status |= kBusyBit;
  if (lines->ri) status |= 0x40;
  if (lines->dcd) status |= 0x80;
  return kBridgeOk;
}

}  // namespace fd
