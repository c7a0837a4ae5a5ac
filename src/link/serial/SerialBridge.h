#pragma once
// The bridge over real USB-serial programmers. A programmer is a USB serial port with the
// programmer's vendor and product id (or one the user adds), found in sysfs without opening
// anything, or a pseudo-terminal of the programmer emulator named with --port.
//
// Every port is locked (PortLock) before it is opened; a port another process holds is
// never opened, and its device says so in ports().
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/Bridge.h"
#include "link/serial/PortLock.h"
#include "link/serial/SerialPorts.h"

namespace fd {

inline constexpr int kProgrammerUsbVendor = 0x2f3a;
inline constexpr int kProgrammerUsbProduct = 0x0039;
// A rate the driver rounds by more than this many percent cannot talk to the programmer.
inline constexpr std::uint32_t kBaudTolerancePercent = 2;

struct UsbId {
  int vendor = 0;
  int product = 0;
  bool operator==(const UsbId&) const = default;
};

// One programmer the user picked: by its port (any name of the tty) or its USB serial number.
struct PortChoice {
  enum class Kind { Port, UsbSerial };
  Kind kind = Kind::Port;
  std::string value;
};

struct SerialBridgeOptions {
  std::vector<UsbId> extraIds{};       // --usb-id: programmers with other ids
  std::vector<PortChoice> choices{};   // --port / --usb-serial; empty: every programmer
  std::string lockDir{};               // "" = PortLock::defaultDir()
  // Without choices: row N is the programmer on the USB port path socketMap[N-1]; one not
  // attached keeps its row (it cannot be opened). Programmers on other USB ports follow.
  // Empty: every programmer, by USB port path.
  std::vector<std::string> socketMap{};
};

// One device of the bridge, as of the last count.
struct SerialDeviceRow {
  std::string port;       // the tty's path
  std::string usbPath;    // "" for an emulator's pseudo-terminal
  std::string usbSerial;  // "" when the device has none
  std::string note;       // why it could not be opened the last time, "" otherwise
};

// "VID:PID" in hex ("2f3a:0039"); false for anything else.
bool ParseUsbId(const std::string& text, UsbId& id);

class SerialBridge final : public Bridge {
public:
  // On the system's serial ports.
  explicit SerialBridge(SerialBridgeOptions options = {});
  // On `ports` (tests).
  explicit SerialBridge(std::unique_ptr<SerialPorts> ports, SerialBridgeOptions options = {});
  ~SerialBridge() override;
  SerialBridge(const SerialBridge&) = delete;
  SerialBridge& operator=(const SerialBridge&) = delete;

  // With choices: each one names a programmer present now. False with a sentence in
  // `error` for the first that does not (a missing port, a port that is no programmer's,
  // an unknown serial number).
  bool checkChoices(std::string& error);
  // Sentences about ports that could not be opened (in use, permission, a driver that
  // rounds the rate), each said once per port and reason.
  void setNoticeSink(std::function<void(const std::string&)> sink) { notice_ = std::move(sink); }
  // The devices by index as of the last count.
  std::vector<SerialDeviceRow> rows() const;
  // The device an open handle is on (port, USB path and serial); nullopt for another handle.
  std::optional<SerialDeviceRow> rowOf(BridgeHandle handle) const;

  // Fails (and leaves the known devices as they were) when the port list cannot be read:
  // that says nothing about the programmers, so it must not read as "none attached".
  int BridgeGetNumDevices(std::uint32_t& count) override;
  int BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) override;
  // An opened port has its reset and error-request lines released at once: opening alone
  // never holds a programmer in reset nor asks it for an error code.
  int BridgeOpen(std::uint32_t index, BridgeHandle& handle) override;
  int BridgeClose(BridgeHandle handle) override;
  int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                 std::uint32_t& bytesRead) override;
  int BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                  std::uint32_t& bytesWritten) override;
  int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) override;
  int BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
  int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) override;
  // Refused when the driver's rate, read back, is more than kBaudTolerancePercent off.
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) override;
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) override;
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) override;
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override;

private:
  struct Device {
    SerialPortInfo info;
    std::string vendor, product, description;
    bool gone = false;  // picked, but not there any more
  };
  struct Open {
    PortLock lock;  // outlives the port: let go only once the port is closed
    std::unique_ptr<SerialPort> port;
    std::string name;
    SerialDeviceRow row;
  };
  bool ours(const SerialPortInfo& info) const;
  // The programmers among the ports; false when the port list cannot be read.
  bool scan(std::vector<Device>& found, std::string* error);
  Open* open(BridgeHandle handle);
  void say(const std::string& port, const std::string& reason, const std::string& sentence);

  std::unique_ptr<SerialPorts> ports_;
  SerialBridgeOptions options_;
  std::vector<Device> devices_;  // as of the last count
  std::map<std::string, std::string> notes_;  // by port
  std::set<std::string> said_;
  bool scanned_ = false;
  std::map<BridgeHandle, Open> open_;
  BridgeHandle nextHandle_ = 1;
  unsigned readTimeoutMs_ = kBridgeTimeoutMs;
  unsigned writeTimeoutMs_ = kBridgeTimeoutMs;
  std::function<void(const std::string&)> notice_;
};

}  // namespace fd
