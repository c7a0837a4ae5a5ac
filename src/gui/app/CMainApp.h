#pragma once
// The application object: start-up (with the first-run options when needed), then the
// main window as a modal dialog. When the main window closes, run() returns and with it
// the process ends.
namespace fd {

struct AppState;
class Bridge;
class Clock;
class Pacer;
class SimBench;

class CMainApp {
public:
  // `state.appDir` is already set; `bench` is the simulated bench, null on real hardware;
  // `clock` the session's time (null: the real clock).
  CMainApp(AppState& state, Bridge& bridge, Pacer& pacer, SimBench* bench = nullptr, Clock* clock = nullptr);

  // Returns the process's exit code.
  int run();

private:
  AppState& state_;
  Bridge& bridge_;
  Pacer& pacer_;
  SimBench* bench_;
  Clock* clock_;
};

}  // namespace fd
