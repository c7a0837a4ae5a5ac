#include "link/serial/SerialBridge.h"

#include <libserialport.h>

#include <cstdio>

namespace fd {
namespace {

constexpr int kVendorId = 0x2f3a;
constexpr int kProductId = 0x0039;

std::string Hex4(int value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", value & 0xFFFF);
  return buf;
}

}  // namespace

SerialBridge::SerialBridge() = default;

SerialBridge::~SerialBridge() {
  for (auto& [handle, p] : open_) {
    sp_close(p);
    sp_free_port(p);
  }
}

std::vector<SerialBridge::Device> SerialBridge::scan() const {
  std::vector<Device> found;
  sp_port** list = nullptr;
  if (sp_list_ports(&list) != SP_OK) return found;
  for (int i = 0; list[i]; ++i) {
    if (sp_get_port_transport(list[i]) != SP_TRANSPORT_USB) continue;
    int vid = 0, pid = 0;
    if (sp_get_port_usb_vid_pid(list[i], &vid, &pid) != SP_OK) continue;
    if (vid != kVendorId || pid != kProductId) continue;
    const char* product = sp_get_port_usb_product(list[i]);
    found.push_back({sp_get_port_name(list[i]), Hex4(vid), Hex4(pid), product ? product : ""});
  }
  sp_free_port_list(list);
  return found;
}

sp_port* SerialBridge::port(BridgeHandle handle) const {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second;
}

int SerialBridge::BridgeGetNumDevices(std::uint32_t& count) {
  devices_ = scan();
  count = static_cast<std::uint32_t>(devices_.size());
  return kBridgeOk;
}

int SerialBridge::BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) {
  if (devices_.empty()) devices_ = scan();
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
  sp_port* p = nullptr;
  if (sp_get_port_by_name(devices_[index].portName.c_str(), &p) != SP_OK) return kBridgeDeviceNotFound;
  if (sp_open(p, SP_MODE_READ_WRITE) != SP_OK) {
    sp_free_port(p);
    return kBridgeSystemError;
  }
  handle = nextHandle_++;
  open_[handle] = p;
  return kBridgeOk;
}

int SerialBridge::BridgeClose(BridgeHandle handle) {
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  sp_close(p);
  sp_free_port(p);
  open_.erase(handle);
  return kBridgeOk;
}

int SerialBridge::BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                             std::uint32_t& bytesRead) {
  bytesRead = 0;
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const int got = sp_blocking_read(p, buffer, count, readTimeoutMs_);
  if (got < 0) return kBridgeReadError;
  bytesRead = static_cast<std::uint32_t>(got);
  return bytesRead == count ? kBridgeOk : kBridgeReadTimedOut;
}

int SerialBridge::BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t& bytesWritten) {
  bytesWritten = 0;
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const int sent = sp_blocking_write(p, buffer, count, writeTimeoutMs_);
  if (sent < 0) return kBridgeWriteError;
  bytesWritten = static_cast<std::uint32_t>(sent);
  return bytesWritten == count ? kBridgeOk : kBridgeWriteTimedOut;
}

int SerialBridge::BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) {
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  int which = 0;
  if (flushTransmit) which |= SP_BUF_OUTPUT;
  if (flushReceive) which |= SP_BUF_INPUT;
  return which == 0 || sp_flush(p, static_cast<sp_buffer>(which)) == SP_OK ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  readTimeoutMs_ = readMs;
  writeTimeoutMs_ = writeMs;
  return kBridgeOk;
}

int SerialBridge::BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) {
  byteCount = 0;
  queueStatus = 0;
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  const int waiting = sp_input_waiting(p);
  if (waiting < 0) return kBridgeSystemError;
  byteCount = static_cast<std::uint32_t>(waiting);
  queueStatus = waiting > 0 ? 2 : 0;
  return kBridgeOk;
}

int SerialBridge::BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) {
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  return sp_set_baudrate(p, static_cast<int>(baud)) == SP_OK ? kBridgeOk : kBridgeInvalidParameter;
}

int SerialBridge::BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) {
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  // Only 8-N-1 is ever asked for; anything else is refused rather than half applied.
  if (lineControl != kLineControl8N1) return kBridgeInvalidParameter;
  const bool ok = sp_set_bits(p, 8) == SP_OK && sp_set_parity(p, SP_PARITY_NONE) == SP_OK &&
                  sp_set_stopbits(p, 1) == SP_OK && sp_set_flowcontrol(p, SP_FLOWCONTROL_NONE) == SP_OK;
  return ok ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) {
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  // The second code drives the error-request line (RTS), the third the reset line (DTR);
  // 1 holds a line active, 0 inactive.
  const bool ok = sp_set_rts(p, pattern.codes[1] == 1 ? SP_RTS_ON : SP_RTS_OFF) == SP_OK &&
                  sp_set_dtr(p, pattern.codes[2] == 1 ? SP_DTR_ON : SP_DTR_OFF) == SP_OK;
  return ok ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) {
  status = 0;
  sp_port* p = port(handle);
  if (!p) return kBridgeInvalidHandle;
  sp_signal signals{};
  if (sp_get_signals(p, &signals) != SP_OK) return kBridgeSystemError;
  if (signals & SP_SIG_CTS) status |= kResultBit;
  if (signals & SP_SIG_DSR) status |= kBusyBit;
  if (signals & SP_SIG_RI) status |= 0x40;
  if (signals & SP_SIG_DCD) status |= 0x80;
  return kBridgeOk;
}

}  // namespace fd
