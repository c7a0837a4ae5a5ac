#include "link/serial/SerialBridge.h"

#include "formats/Hex.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fd {
namespace {

std::string Hex4(int value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04x", value & 0xFFFF);
  return buf;
}

bool ParseHex4(const std::string& text, int& value) {
  if (text.empty() || text.size() > 4 || !IsAllHex(text)) return false;
  value = static_cast<int>(std::strtol(text.c_str(), nullptr, 16));
  return true;
}

// The real path and device number of a port given by the user; false when it is no
// character device.
bool Resolve(const std::string& path, std::string& real, std::uint64_t& device) {
  std::error_code ec;
  real = std::filesystem::canonical(path, ec).string();
  if (ec) return false;
  struct stat st {};
  if (::stat(real.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return false;
  device = st.st_rdev;
  return true;
}

}  // namespace

bool ParseUsbId(const std::string& text, UsbId& id) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return false;
  return ParseHex4(text.substr(0, colon), id.vendor) && ParseHex4(text.substr(colon + 1), id.product);
}

SerialBridge::SerialBridge(SerialBridgeOptions options) : SerialBridge(SystemSerialPorts(), std::move(options)) {}

SerialBridge::SerialBridge(std::unique_ptr<SerialPorts> ports, SerialBridgeOptions options)
    : ports_(std::move(ports)), options_(std::move(options)) {
  if (options_.lockDir.empty()) options_.lockDir = PortLock::defaultDir();
}

SerialBridge::~SerialBridge() = default;

bool SerialBridge::ours(const SerialPortInfo& info) const {
  if (info.vendorId == kProgrammerUsbVendor && info.productId == kProgrammerUsbProduct) return true;
  for (const UsbId& id : options_.extraIds) {
    if (info.vendorId == id.vendor && info.productId == id.product) return true;
  }
  return false;
}

bool SerialBridge::scan(std::vector<Device>& found, std::string* error) {
  const auto listed = ports_->list();
  found.clear();
  auto add = [&](const SerialPortInfo& info) {
    for (const Device& d : found) {
      if (d.info.name == info.name) return;  // the same programmer picked twice
    }
    found.push_back({info, Hex4(info.vendorId), Hex4(info.productId), info.product, false});
  };
  // A picked programmer that is gone keeps its place and its count: the ones after it must
  // not move up into its row, and the count shows that one is missing.
  auto addGone = [&](const std::string& value) {
    SerialPortInfo info;
    info.name = value;
    found.push_back({info, "", "", "", true});
  };
  if (options_.choices.empty()) {
    if (!listed) return false;
    // A socket's row is its own, attached or not: the programmers after it keep theirs.
    for (const std::string& path : options_.socketMap) {
      const auto at = std::find_if(listed->begin(), listed->end(),
                                   [&](const SerialPortInfo& info) { return ours(info) && info.usbPath == path; });
      if (at != listed->end()) {
        add(*at);
      } else {
        addGone("USB port " + path);
      }
    }
    for (const SerialPortInfo& info : *listed) {
      if (!ours(info)) continue;
      const bool mapped = std::find(options_.socketMap.begin(), options_.socketMap.end(), info.usbPath) !=
                          options_.socketMap.end();
      if (!mapped) add(info);
    }
    return true;
  }
  // Only the programmers picked, in the order given: the others are never opened.
  if (!listed && error == nullptr) return false;
  // The list itself, never a copy: a port matched below is used after its loop.
  const std::vector<SerialPortInfo> none;
  const std::vector<SerialPortInfo>& ports = listed ? *listed : none;
  for (const PortChoice& choice : options_.choices) {
    if (choice.kind == PortChoice::Kind::UsbSerial) {
      bool matched = false;
      for (const SerialPortInfo& info : ports) {
        if (ours(info) && info.usbSerial == choice.value) {
          add(info);
          matched = true;
          break;
        }
      }
      if (!matched && error != nullptr) {
        *error = "No programmer with the USB serial number \"" + choice.value + "\" is attached.";
        return false;
      }
      if (!matched) addGone(choice.value);
      continue;
    }
    std::string real;
    std::uint64_t device = 0;
    if (!Resolve(choice.value, real, device)) {
      if (error != nullptr) {
        *error = "The port " + choice.value + " does not exist.";
        return false;
      }
      addGone(choice.value);
      continue;
    }
    const SerialPortInfo* match = nullptr;
    for (const SerialPortInfo& info : ports) {
      if (info.name == real || (info.deviceNumber != 0 && info.deviceNumber == device)) match = &info;
    }
    if (match != nullptr && ours(*match)) {
      add(*match);
      continue;
    }
    if (match == nullptr) {
      if (const auto emulated = ports_->describeOther(real)) {
        add(*emulated);
        continue;
      }
    }
    if (error != nullptr) {
      *error = "The port " + choice.value + " is not a programmer's port (USB id " + Hex4(kProgrammerUsbVendor) + ":" +
               Hex4(kProgrammerUsbProduct) + " or one given with --usb-id) nor one of the programmer emulator.";
      return false;
    }
    addGone(choice.value);
  }
  return true;
}

bool SerialBridge::checkChoices(std::string& error) {
  if (options_.choices.empty()) return true;
  std::vector<Device> found;
  if (!scan(found, &error)) return false;
  devices_ = std::move(found);
  scanned_ = true;
  return true;
}

std::vector<SerialDeviceRow> SerialBridge::rows() const {
  std::vector<SerialDeviceRow> rows;
  for (const Device& d : devices_) {
    const auto note = notes_.find(d.info.name);
    rows.push_back({d.info.name, d.info.usbPath, d.info.usbSerial, note == notes_.end() ? "" : note->second});
  }
  return rows;
}

std::optional<SerialDeviceRow> SerialBridge::rowOf(BridgeHandle handle) const {
  const auto it = open_.find(handle);
  if (it == open_.end()) return std::nullopt;
  return it->second.row;
}

void SerialBridge::say(const std::string& port, const std::string& reason, const std::string& sentence) {
  notes_[port] = reason;
  if (said_.insert(port + "\n" + sentence).second && notice_) notice_(sentence);
}

SerialBridge::Open* SerialBridge::open(BridgeHandle handle) {
  const auto it = open_.find(handle);
  return it == open_.end() ? nullptr : &it->second;
}

int SerialBridge::BridgeGetNumDevices(std::uint32_t& count) {
  count = 0;
  std::vector<Device> found;
  if (!scan(found, nullptr)) return kBridgeSystemError;
  devices_ = std::move(found);
  scanned_ = true;
  count = static_cast<std::uint32_t>(devices_.size());
  return kBridgeOk;
}

int SerialBridge::BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) {
  if (!scanned_) {
    std::uint32_t count = 0;
    if (BridgeGetNumDevices(count) != kBridgeOk) return kBridgeSystemError;
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
  const SerialPortInfo& info = devices_[index].info;
  const std::string& name = info.name;
  if (devices_[index].gone) {
    notes_[name] = "gone";
    return kBridgeDeviceNotFound;
  }
  // The lock comes first: opening alone would already pulse the lines of a programmer
  // another process is working with.
  PortLock lock;
  long holder = 0;
  switch (lock.take(options_.lockDir, info.deviceNumber, holder)) {
    case PortLock::Result::Taken: break;
    case PortLock::Result::Busy: {
      const std::string who = holder > 0 ? "process " + std::to_string(holder) : "another process";
      say(name, "in use by " + who, "The programmer on " + name + " is in use by " + who + ".");
      return kBridgeSystemError;
    }
    case PortLock::Result::Failed:
      say(name, "no lock", "Can not take the lock of the port " + name + " in " + options_.lockDir +
                               "; the port is not opened.");
      return kBridgeSystemError;
  }
  SerialPorts::OpenError error = SerialPorts::OpenError::None;
  std::unique_ptr<SerialPort> opened = ports_->open(name, error);
  if (!opened) {
    switch (error) {
      case SerialPorts::OpenError::NotFound:
        notes_[name] = "gone";
        return kBridgeDeviceNotFound;
      case SerialPorts::OpenError::PermissionDenied:
        say(name, "permission denied",
            "Can not open the programmer's port " + name +
                ": permission denied. The udev rule 60-flashdock.rules gives the logged-in user and the group "
                "dialout access to it (see \"Real programmers on Linux\" in the user's manual).");
        break;
      case SerialPorts::OpenError::Busy:
        say(name, "busy", "The port " + name + " is held exclusively by another program.");
        break;
      default:
        say(name, "can not open", "Can not open the programmer's port " + name + ".");
        break;
    }
    return kBridgeSystemError;
  }
  // Opening a serial port raises DTR and RTS on most systems, and here they are the reset
  // and error-request lines: left so, the programmer would sit in reset, or be asked for an
  // error code, until the first reset pulse. A port whose lines cannot be set cannot drive
  // a programmer at all.
  if (!opened->setDtr(false) || !opened->setRts(false)) return kBridgeSystemError;
  notes_.erase(name);
  handle = nextHandle_++;
  open_[handle] = Open{std::move(lock), std::move(opened), name, {name, info.usbPath, info.usbSerial, ""}};
  return kBridgeOk;
}

int SerialBridge::BridgeClose(BridgeHandle handle) {
  const auto it = open_.find(handle);
  if (it == open_.end()) return kBridgeInvalidHandle;
  // The port is closed before its lock is let go.
  it->second.port.reset();
  open_.erase(it);
  return kBridgeOk;
}

int SerialBridge::BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                             std::uint32_t& bytesRead) {
  bytesRead = 0;
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  const SerialIo io = o->port->read(buffer, count, readTimeoutMs_);
  bytesRead = io.moved;
  if (io.failed) return kBridgeReadError;
  return bytesRead == count ? kBridgeOk : kBridgeReadTimedOut;
}

int SerialBridge::BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                              std::uint32_t& bytesWritten) {
  bytesWritten = 0;
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  const SerialIo io = o->port->write(buffer, count, writeTimeoutMs_);
  bytesWritten = io.moved;
  if (io.failed) return kBridgeWriteError;
  return bytesWritten == count ? kBridgeOk : kBridgeWriteTimedOut;
}

int SerialBridge::BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) {
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  return o->port->flush(flushTransmit != 0, flushReceive != 0) ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  readTimeoutMs_ = readMs;
  writeTimeoutMs_ = writeMs;
  return kBridgeOk;
}

int SerialBridge::BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) {
  byteCount = 0;
  queueStatus = 0;
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  const int waiting = o->port->inputWaiting();
  if (waiting < 0) return kBridgeSystemError;
  byteCount = static_cast<std::uint32_t>(waiting);
  queueStatus = waiting > 0 ? 2 : 0;
  return kBridgeOk;
}

int SerialBridge::BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) {
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  if (baud == 0) return kBridgeInvalidParameter;
  const std::uint32_t actual = o->port->setBaudRate(baud);
  if (actual == 0) return kBridgeInvalidParameter;
  const std::uint64_t off = actual > baud ? actual - baud : baud - actual;
  if (off * 100 > std::uint64_t{baud} * kBaudTolerancePercent) {
    say(o->name, "rate " + std::to_string(actual),
        "The port " + o->name + " runs at " + std::to_string(actual) + " baud when asked for " + std::to_string(baud) +
            "; its driver can not set the programmer's rate.");
    return kBridgeInvalidParameter;
  }
  return kBridgeOk;
}

int SerialBridge::BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) {
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  // Only 8-N-1 is ever asked for; anything else is refused rather than half applied.
  if (lineControl != kLineControl8N1) return kBridgeInvalidParameter;
  return o->port->set8N1() ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) {
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  // The second code drives the error-request line (RTS), the third the reset line (DTR);
  // 1 holds a line active, 0 inactive. A line is released before the other is raised, so
  // a change never holds both at once.
  const bool rts = pattern.codes[1] == 1;
  const bool dtr = pattern.codes[2] == 1;
  const bool ok = rts ? o->port->setDtr(dtr) && o->port->setRts(rts) : o->port->setRts(rts) && o->port->setDtr(dtr);
  return ok ? kBridgeOk : kBridgeSystemError;
}

int SerialBridge::BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) {
  status = 0;
  Open* o = open(handle);
  if (!o) return kBridgeInvalidHandle;
  const auto lines = o->port->inputLines();
  if (!lines) return kBridgeSystemError;
  if (lines->cts) status |= kResultBit;
  if (lines->dsr) status |= kBusyBit;
  if (lines->ri) status |= 0x40;
  if (lines->dcd) status |= 0x80;
  return kBridgeOk;
}

}  // namespace fd
