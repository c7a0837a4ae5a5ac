#pragma once
// The serial-port operations the bridge is built on: libserialport in the programs, a
// scripted stand-in in tests, so what the bridge does with ports is tested without one.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fd {

struct SerialPortInfo {
  std::string name;       // what open() takes
  int vendorId = 0;       // USB ids; ports that are not USB are not listed
  int productId = 0;
  std::string product;    // the USB product string, "" when it has none
};

// The input lines of an open port.
struct SerialSignals {
  bool cts = false, dsr = false, ri = false, dcd = false;
};

class SerialPort {
public:
  virtual ~SerialPort() = default;
  // Bytes moved, or -1 on an error; fewer than asked means the time-out ran out.
  virtual int read(std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) = 0;
  virtual int write(const std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) = 0;
  virtual bool flush(bool output, bool input) = 0;
  virtual int inputWaiting() = 0;  // -1 on an error
  virtual bool setBaudRate(std::uint32_t baud) = 0;
  virtual bool set8N1() = 0;       // 8 data bits, no parity, 1 stop bit, no flow control
  virtual bool setRts(bool active) = 0;
  virtual bool setDtr(bool active) = 0;
  virtual std::optional<SerialSignals> inputLines() = 0;
};

class SerialPorts {
public:
  enum class OpenError { None, NotFound, Failed };

  virtual ~SerialPorts() = default;
  // The USB serial ports present; nullopt when the list cannot be read at all.
  virtual std::optional<std::vector<SerialPortInfo>> list() = 0;
  // Null with the reason in `error` when the port cannot be opened.
  virtual std::unique_ptr<SerialPort> open(const std::string& name, OpenError& error) = 0;
};

// The system's serial ports, through libserialport.
std::unique_ptr<SerialPorts> SystemSerialPorts();

}  // namespace fd
