#pragma once
// The bridge over real USB-serial programmers. A programmer is a USB serial port with the
// programmer's vendor and product id.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/Bridge.h"
#include "link/serial/SerialPorts.h"

namespace fd {

inline constexpr int kProgrammerUsbVendor = 0x2f3a;
inline constexpr int kProgrammerUsbProduct = 0x0039;

class SerialBridge final : public Bridge {
public:
  // On the system's serial ports.
  SerialBridge();
  // On `ports` (tests).
  explicit SerialBridge(std::unique_ptr<SerialPorts> ports);
  ~SerialBridge() override;
  SerialBridge(const SerialBridge&) = delete;
  SerialBridge& operator=(const SerialBridge&) = delete;

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
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) override;
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) override;
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) override;
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override;

private:
  struct Device {
    std::string portName;
    std::string vendor, product, description;
  };
  // The programmers among the ports; false when the port list cannot be read.
  bool scan(std::vector<Device>& found) const;
  SerialPort* port(BridgeHandle handle) const;

  std::unique_ptr<SerialPorts> ports_;
  std::vector<Device> devices_;  // as of the last count
  bool scanned_ = false;
  std::map<BridgeHandle, std::unique_ptr<SerialPort>> open_;
  BridgeHandle nextHandle_ = 1;
  unsigned readTimeoutMs_ = kBridgeTimeoutMs;
  unsigned writeTimeoutMs_ = kBridgeTimeoutMs;
};

}  // namespace fd
