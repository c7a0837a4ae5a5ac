#pragma once
// The serial-port operations the bridge is built on: the system's USB serial ports (found in
// sysfs, driven through libserialport) in the programs, a scripted stand-in in tests, so
// what the bridge does with ports is tested without one.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fd {

struct SerialPortInfo {
  std::string name;       // the device's path, what open() takes ("/dev/ttyUSB0")
  int vendorId = 0;       // USB ids; ports that are not USB are not listed
  int productId = 0;
  std::string product;    // the USB product string, "" when it has none
  std::string usbPath;    // the USB port path of the device ("1-1.2")
  std::string usbSerial;  // the USB serial number, "" when it has none
  std::uint64_t deviceNumber = 0;  // the tty's device number (what the port lock is keyed by)
};

// The input lines of an open port.
struct SerialSignals {
  bool cts = false, dsr = false, ri = false, dcd = false;
};

// What a read or write moved; `failed` when the port broke (vanished, hung up) rather than
// ran out of time. `moved` is true either way.
struct SerialIo {
  std::uint32_t moved = 0;
  bool failed = false;
};

class SerialPort {
public:
  virtual ~SerialPort() = default;
  // Fewer bytes than asked, without `failed`, means the time-out ran out.
  virtual SerialIo read(std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) = 0;
  virtual SerialIo write(const std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) = 0;
  // Output: waits until what was written has gone out. Input: drops what came and was not read.
  virtual bool flush(bool output, bool input) = 0;
  virtual int inputWaiting() = 0;  // -1 on an error
  // Sets the rate and reads back what the driver made of it: 0 when it could not be set.
  virtual std::uint32_t setBaudRate(std::uint32_t baud) = 0;
  virtual bool set8N1() = 0;       // 8 data bits, no parity, 1 stop bit, no flow control
  virtual bool setRts(bool active) = 0;
  virtual bool setDtr(bool active) = 0;
  virtual std::optional<SerialSignals> inputLines() = 0;
};

class SerialPorts {
public:
  enum class OpenError { None, NotFound, PermissionDenied, Busy, Failed };

  virtual ~SerialPorts() = default;
  // The USB serial ports present, whatever their ids, in the order of their USB port paths;
  // nullopt when the list cannot be read at all. Nothing is opened to find them.
  virtual std::optional<std::vector<SerialPortInfo>> list() = 0;
  // A port given by its path that list() does not show (a programmer emulator's
  // pseudo-terminal): its description, or nullopt when it is none.
  virtual std::optional<SerialPortInfo> describeOther(const std::string& path) = 0;
  // Null with the reason in `error` when the port cannot be opened.
  virtual std::unique_ptr<SerialPort> open(const std::string& name, OpenError& error) = 0;
};

// The system's serial ports: sysfs under `sysRoot` for the list, libserialport for the rest.
std::unique_ptr<SerialPorts> SystemSerialPorts(const std::string& sysRoot = "/sys");

// The USB ttys under a sysfs tree (`sysRoot`/class/tty), each followed from its tty to the
// USB device above its interface: ids, product, serial number and port path. Reads sysfs
// only; opens no device. Sorted by USB port path (numbers compared as numbers), then name.
std::optional<std::vector<SerialPortInfo>> ListUsbTtys(const std::string& sysRoot);

// "1-1.10" after "1-1.9": texts compared with their runs of digits as numbers.
bool NaturalLess(const std::string& a, const std::string& b);

}  // namespace fd
