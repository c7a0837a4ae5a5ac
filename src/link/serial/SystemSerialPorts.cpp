// The serial ports of the system through libserialport.
#include <libserialport.h>

#include "link/serial/SerialPorts.h"

namespace fd {
namespace {

class LibSerialPort final : public SerialPort {
public:
  explicit LibSerialPort(sp_port* port) : port_(port) {}
  ~LibSerialPort() override {
    sp_close(port_);
    sp_free_port(port_);
  }
  LibSerialPort(const LibSerialPort&) = delete;
  LibSerialPort& operator=(const LibSerialPort&) = delete;

  int read(std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) override {
    const int got = sp_blocking_read(port_, buffer, count, timeoutMs);
    return got < 0 ? -1 : got;
  }
  int write(const std::uint8_t* buffer, std::uint32_t count, unsigned timeoutMs) override {
    const int sent = sp_blocking_write(port_, buffer, count, timeoutMs);
    return sent < 0 ? -1 : sent;
  }
  bool flush(bool output, bool input) override {
    int which = 0;
    if (output) which |= SP_BUF_OUTPUT;
    if (input) which |= SP_BUF_INPUT;
    return which == 0 || sp_flush(port_, static_cast<sp_buffer>(which)) == SP_OK;
  }
  int inputWaiting() override {
    const int waiting = sp_input_waiting(port_);
    return waiting < 0 ? -1 : waiting;
  }
  bool setBaudRate(std::uint32_t baud) override { return sp_set_baudrate(port_, static_cast<int>(baud)) == SP_OK; }
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
  sp_port* port_;
};

class LibSerialPorts final : public SerialPorts {
public:
  std::optional<std::vector<SerialPortInfo>> list() override {
    sp_port** ports = nullptr;
    if (sp_list_ports(&ports) != SP_OK) return std::nullopt;
    std::vector<SerialPortInfo> found;
    for (int i = 0; ports[i]; ++i) {
      if (sp_get_port_transport(ports[i]) != SP_TRANSPORT_USB) continue;
      SerialPortInfo info;
      if (sp_get_port_usb_vid_pid(ports[i], &info.vendorId, &info.productId) != SP_OK) continue;
      info.name = sp_get_port_name(ports[i]);
      const char* product = sp_get_port_usb_product(ports[i]);
      info.product = product ? product : "";
      found.push_back(std::move(info));
    }
    sp_free_port_list(ports);
    return found;
  }

  std::unique_ptr<SerialPort> open(const std::string& name, OpenError& error) override {
    sp_port* port = nullptr;
    if (sp_get_port_by_name(name.c_str(), &port) != SP_OK) {
      error = OpenError::NotFound;
      return nullptr;
    }
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
      sp_free_port(port);
      error = OpenError::Failed;
      return nullptr;
    }
    error = OpenError::None;
    return std::make_unique<LibSerialPort>(port);
  }
};

}  // namespace

std::unique_ptr<SerialPorts> SystemSerialPorts() { return std::make_unique<LibSerialPorts>(); }

}  // namespace fd
