#pragma once
// The USB-to-serial bridge as the rest of the program sees it: one operation per call of
// the bridge library, every one returning a status where 0 means success.
#include <cstdint>
#include <string>

namespace fd {

// An opened device. Bridges never hand out the same value twice, so a handle that was
// closed (or whose device vanished) keeps failing and can never reach another device.
using BridgeHandle = std::uint32_t;
inline constexpr BridgeHandle kNoHandle = 0;

// Status values. Callers only test for kBridgeOk; the others help traces and tests.
enum BridgeStatus : int {
  kBridgeOk = 0,
  kBridgeInvalidHandle = 0x01,
  kBridgeReadError = 0x02,
  kBridgeReadTimedOut = 0x03,
  kBridgeWriteError = 0x04,
  kBridgeWriteTimedOut = 0x05,
  kBridgeDeviceNotFound = 0xFF,
  kBridgeInvalidParameter = 0x10,
  kBridgeSystemError = 0x11,
};

// Line control value for 8 data bits, no parity, 1 stop bit.
inline constexpr std::uint16_t kLineControl8N1 = 0x0800;
inline constexpr std::uint32_t kNormalBaud = 1000000;
inline constexpr std::uint32_t kUpdateBaud = 25000;
inline constexpr std::uint32_t kBridgeTimeoutMs = 500;

// The six line codes passed to BridgeSetFlowControl after the handle.
struct FlowPattern {
  std::uint8_t codes[6];
  bool operator==(const FlowPattern&) const = default;
};
inline constexpr FlowPattern kLinesReleased{{0, 0, 0, 0, 0, 0}};
inline constexpr FlowPattern kResetLine{{0, 0, 1, 0, 0, 0}};
inline constexpr FlowPattern kErrorRequestLine{{0, 1, 0, 0, 0, 0}};

// Status byte bits of BridgeGetModemStatus.
inline constexpr std::uint8_t kBusyBit = 0x20;
inline constexpr std::uint8_t kResultBit = 0x10;

// Selectors of BridgeGetProductString, asked in this order; the three texts joined
// must read kProgrammerProductId.
inline constexpr std::uint8_t kProductSelectors[3] = {3, 4, 1};
inline constexpr const char* kProgrammerProductId = "2f3a0039Quorvel Flashdock";

class Bridge {
public:
  virtual ~Bridge() = default;

  virtual int BridgeGetNumDevices(std::uint32_t& count) = 0;
  // Text of one USB descriptor string of device `index` (at most 255 characters).
  virtual int BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) = 0;
  virtual int BridgeOpen(std::uint32_t index, BridgeHandle& handle) = 0;
  virtual int BridgeClose(BridgeHandle handle) = 0;
  // Waits up to the read time-out for `count` bytes. kBridgeOk only when all arrived;
  // `bytesRead` always tells how many were stored.
  virtual int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t& bytesRead) = 0;
  virtual int BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                          std::uint32_t& bytesWritten) = 0;
  virtual int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit,
                                 std::uint8_t flushReceive) = 0;
  virtual int BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) = 0;
  virtual int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount,
                                 std::uint32_t& queueStatus) = 0;
  virtual int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) = 0;
  virtual int BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) = 0;
  virtual int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) = 0;
  virtual int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) = 0;
};

}  // namespace fd
