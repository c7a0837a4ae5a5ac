#pragma once
// The bridge over real USB-serial programmers, through libserialport. A programmer is a
// USB serial port with the programmer's vendor and product id.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/Bridge.h"

struct sp_port;

namespace fd {

class SerialBridge final : public Bridge {
public:
  SerialBridge();
  ~SerialBridge() override;
  SerialBridge(const SerialBridge&) = delete;
  SerialBridge& operator=(const SerialBridge&) = delete;

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
  struct Device {
    std::string portName;
    std::string vendor, product, description;
  };
  std::vector<Device> scan() const;
  sp_port* port(BridgeHandle handle) const;

  std::vector<Device> devices_;  // as of the last count
  std::map<BridgeHandle, sp_port*> open_;
  BridgeHandle nextHandle_ = 1;
  unsigned readTimeoutMs_ = kBridgeTimeoutMs;
  unsigned writeTimeoutMs_ = kBridgeTimeoutMs;
};

}  // namespace fd
