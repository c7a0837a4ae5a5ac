// The serial ports of the system: found in sysfs, driven through libserialport.
//
// The list never comes from libserialport's own enumeration: that opens legacy serial ports
// to probe them, and opening a tty raises its DTR and RTS lines, which on a programmer are
// the reset and error-request lines (and on other devices, who knows what).
#include <dlfcn.h>
#include <errno.h>
#include <libserialport.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "link/serial/SerialPorts.h"

namespace fd {
namespace {

namespace fs = std::filesystem;

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

int ParseHexId(const std::string& text) {
  if (text.empty() || text.size() > 4) return -1;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 16);
  return *end == '\0' ? static_cast<int>(value) : -1;
}

std::uint64_t ParseDeviceNumber(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return 0;
  char* end = nullptr;
  const unsigned long major = std::strtoul(text.c_str(), &end, 10);
  if (end != text.c_str() + colon) return 0;
  const unsigned long minor = std::strtoul(text.c_str() + colon + 1, &end, 10);
  if (*end != '\0') return 0;
  return makedev(major, minor);
}

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

class LibSerialPort final : public SerialPort {
public:
  explicit LibSerialPort(sp_port* port) : port_(port) { sp_get_port_handle(port_, &fd_); }
  ~LibSerialPort() override {
    sp_close(port_);
    sp_free_port(port_);
  }
  LibSerialPort(const LibSerialPort&) = delete;
  LibSerialPort& operator=(const LibSerialPort&) = delete;

  // libserialport's blocking calls spin out their whole time-out on a port that hung up
  // (a programmer unplugged, an emulator ended), so the waits are ours: a hang-up ends the
  // call at once.
  SerialIo read(std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) override {
    return transfer(count, timeoutMs, POLLIN, [&](std::uint32_t done) {
      return sp_nonblocking_read(port_, buffer + done, count - done);
    });
  }
  SerialIo write(const std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) override {
    return transfer(count, timeoutMs, POLLOUT, [&](std::uint32_t done) {
      return sp_nonblocking_write(port_, buffer + done, count - done);
    });
  }
  // The transmit side is emptied by sending what is in it, never by dropping it: what was
  // written is a command the programmer must get (the 'L' before an 'I', say), and a
  // discarding flush right behind a write loses its tail in the driver's buffer.
  bool flush(bool output, bool input) override {
    if (output && sp_drain(port_) != SP_OK) return false;
    return !input || sp_flush(port_, SP_BUF_INPUT) == SP_OK;
  }
  int inputWaiting() override {
    const int waiting = sp_input_waiting(port_);
    return waiting < 0 ? -1 : waiting;
  }
  std::uint32_t setBaudRate(std::uint32_t baud) override {
    if (sp_set_baudrate(port_, static_cast<int>(baud)) != SP_OK) return 0;
    // What the driver made of it, read back from the kernel.
    sp_port_config* config = nullptr;
    if (sp_new_config(&config) != SP_OK) return 0;
    int actual = 0;
    const bool read = sp_get_config(port_, config) == SP_OK && sp_get_config_baudrate(config, &actual) == SP_OK;
    sp_free_config(config);
    return read && actual > 0 ? static_cast<std::uint32_t>(actual) : 0;
  }
  bool set8N1() override {
    return sp_set_bits(port_, 8) == SP_OK && sp_set_parity(port_, SP_PARITY_NONE) == SP_OK &&
           sp_set_stopbits(port_, 1) == SP_OK && sp_set_flowcontrol(port_, SP_FLOWCONTROL_NONE) == SP_OK;
  }
  bool setRts(bool active) override { return sp_set_rts(port_, active ? SP_RTS_ON : SP_RTS_OFF) == SP_OK; }
  bool setDtr(bool active) override { return sp_set_dtr(port_, active ? SP_DTR_ON : SP_DTR_OFF) == SP_OK; }
  std::optional<SerialSignals> inputLines() override {
    sp_signal lines{};
    if (sp_get_signals(port_, &lines) != SP_OK) return std::nullopt;
    return SerialSignals{(lines & SP_SIG_CTS) != 0, (lines & SP_SIG_DSR) != 0, (lines & SP_SIG_RI) != 0,
                         (lines & SP_SIG_DCD) != 0};
  }

private:
  template <typename Step>
  SerialIo transfer(std::uint32_t count, unsigned timeoutMs, short event, Step step) {
    SerialIo io;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (io.moved < count) {
      pollfd p{fd_, event, 0};
      const int ready = ::poll(&p, 1, RemainingMs(deadline));
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0 || (p.revents & (POLLERR | POLLNVAL)) != 0) {
        io.failed = true;
        return io;
      }
      if (ready == 0) return io;  // time is up
      const int n = step(io.moved);
      if (n < 0) {
        io.failed = true;
        return io;
      }
      io.moved += static_cast<std::uint32_t>(n);
      // Hung up: what was still buffered has been taken; nothing more will come.
      if (n == 0 && (p.revents & POLLHUP) != 0) {
        io.failed = true;
        return io;
      }
      if (RemainingMs(deadline) == 0 && io.moved < count) return io;
    }
    return io;
  }

  sp_port* port_;
  int fd_ = -1;
};

// The programmer emulator's preload library answers for its own pseudo-terminals; without
// it loaded, no pseudo-terminal is a programmer.
using EmulatorString = int (*)(const char* path, int selector, char* out, unsigned size);

EmulatorString EmulatorQuery() {
  return reinterpret_cast<EmulatorString>(::dlsym(RTLD_DEFAULT, "flashdock_emu_product_string"));
}

class SystemPorts final : public SerialPorts {
public:
  explicit SystemPorts(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {}

  std::optional<std::vector<SerialPortInfo>> list() override { return ListUsbTtys(sysRoot_); }

  std::optional<SerialPortInfo> describeOther(const std::string& path) override {
    std::error_code ec;
    const std::string real = fs::canonical(path, ec).string();
    if (ec || real.rfind("/dev/pts/", 0) != 0) return std::nullopt;
    const EmulatorString query = EmulatorQuery();
    if (query == nullptr) return std::nullopt;
    char text[256];
    std::string strings[3];
    const int selectors[3] = {3, 4, 1};
    for (int i = 0; i < 3; ++i) {
      const int n = query(real.c_str(), selectors[i], text, sizeof text);
      if (n < 0) return std::nullopt;
      strings[i].assign(text, static_cast<std::size_t>(n));
    }
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
    SerialPortInfo info;
    info.name = real;
    info.vendorId = ParseHexId(strings[0]);
    info.productId = ParseHexId(strings[1]);
    info.product = strings[2];
    info.deviceNumber = st.st_rdev;
    return info;
  }

  std::unique_ptr<SerialPort> open(const std::string& name, OpenError& error) override {
    sp_port* port = nullptr;
    if (sp_get_port_by_name(name.c_str(), &port) != SP_OK) {
      error = OpenError::NotFound;
      return nullptr;
    }
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
      const int code = sp_last_error_code();
      sp_free_port(port);
      switch (code) {
        case EACCES: case EPERM: error = OpenError::PermissionDenied; break;
        case ENOENT: case ENODEV: case ENXIO: error = OpenError::NotFound; break;
        case EBUSY: error = OpenError::Busy; break;
        default: error = OpenError::Failed; break;
      }
      return nullptr;
    }
    error = OpenError::None;
    return std::make_unique<LibSerialPort>(port);
  }

private:
  std::string sysRoot_;
};

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool da = a[i] >= '0' && a[i] <= '9';
    const bool db = b[j] >= '0' && b[j] <= '9';
    if (da && db) {
      std::size_t ei = i, ej = j;
      while (ei < a.size() && a[ei] >= '0' && a[ei] <= '9') ++ei;
      while (ej < b.size() && b[ej] >= '0' && b[ej] <= '9') ++ej;
      std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
      na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
      nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::optional<std::vector<SerialPortInfo>> ListUsbTtys(const std::string& sysRoot) {
  const fs::path classDir = fs::path(sysRoot) / "class" / "tty";
  std::error_code ec;
  fs::directory_iterator it(classDir, ec);
  if (ec) return std::nullopt;
  const fs::path devicesRoot = fs::weakly_canonical(fs::path(sysRoot) / "devices", ec);
  std::vector<SerialPortInfo> found;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return std::nullopt;
    const std::string name = it->path().filename().string();
    // A tty without a device (consoles, virtual terminals, pseudo-terminals) is no port.
    std::error_code linkError;
    fs::path dir = fs::canonical(it->path() / "device", linkError);
    if (linkError) continue;
    // Up from the tty's device (a USB interface, or a port below one) to the USB device
    // that holds the ids; a tty with no USB device above it is not a USB port.
    SerialPortInfo info;
    bool usb = false;
    for (int depth = 0; depth < 6 && !dir.empty() && dir != devicesRoot && dir != dir.root_path(); ++depth) {
      std::error_code e1, e2;
      if (fs::exists(dir / "idVendor", e1) && fs::exists(dir / "idProduct", e2)) {
        info.vendorId = ParseHexId(ReadAttribute(dir / "idVendor"));
        info.productId = ParseHexId(ReadAttribute(dir / "idProduct"));
        info.product = ReadAttribute(dir / "product");
        info.usbSerial = ReadAttribute(dir / "serial");
        info.usbPath = dir.filename().string();
        usb = info.vendorId >= 0 && info.productId >= 0;
        break;
      }
      dir = dir.parent_path();
    }
    if (!usb) continue;
    info.name = "/dev/" + name;
    info.deviceNumber = ParseDeviceNumber(ReadAttribute(it->path() / "dev"));
    found.push_back(std::move(info));
  }
  std::sort(found.begin(), found.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    if (a.usbPath != b.usbPath) return NaturalLess(a.usbPath, b.usbPath);
    return NaturalLess(a.name, b.name);
  });
  return found;
}

std::unique_ptr<SerialPorts> SystemSerialPorts(const std::string& sysRoot) {
  return std::make_unique<SystemPorts>(sysRoot);
}

}  // namespace fd
