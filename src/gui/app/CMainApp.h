#pragma once
// The application object: start-up (with the first-run options when needed), then the
// main window as a modal dialog. When the main window closes, run() returns and with it
// the process ends.
#include <QString>
#include <optional>

#include "link/serial/SerialBridge.h"

namespace fd {

struct AppState;
class Bridge;
class Clock;
class Pacer;
class SimBench;

// A row's tooltip: its port, USB port path and USB serial number, those it has; empty
// where the row has no serial port.
QString PortTooltip(const std::optional<SerialDeviceRow>& row);

class CMainApp {
public:
  // `state.appDir` is already set; `bench` is the simulated bench, null on real hardware;
  // `clock` the session's time (null: the real clock).
  CMainApp(AppState& state, Bridge& bridge, Pacer& pacer, SimBench* bench = nullptr, Clock* clock = nullptr);

  // Real programmers: the serial bridge, which knows each row's port; its rows get tooltips.
  void setSerialBridge(SerialBridge* serial) { serial_ = serial; }
  // --operator: the main window opens in operator mode (as it does with the setting).
  void setOperatorMode(bool on) { operatorMode_ = on; }

  // Returns the process's exit code.
  int run();

private:
  AppState& state_;
  Bridge& bridge_;
  Pacer& pacer_;
  SimBench* bench_;
  Clock* clock_;
  SerialBridge* serial_ = nullptr;
  bool operatorMode_ = false;
};

}  // namespace fd
