#pragma once
// What both programs set up before their first window or command: the folder of their
// files, the bridge (real programmers or a simulated bench, traced on request), the pacer
// and the process-wide state.
#include <fstream>
#include <memory>
#include <string>

#include "app/AppState.h"
#include "link/Bridge.h"
#include "link/Pacer.h"
#include "link/TracingBridge.h"

namespace fd {

class SimBench;
class Clock;

struct HostOptions {
  std::string simulate{};   // "", "N", "demo" or a bench file (.json)
  std::string appDir{};     // "" = the executable's folder
  std::string tracePath{};  // "" = no trace
  bool json = false;
  // The simulated bench runs on virtual time: nothing waits in real time (scripts, tests).
  bool virtualTime = false;
};

class HostSession {
public:
  // Null with a message in `error` when an option cannot be honoured (bad --simulate value,
  // unreadable bench file, app folder that cannot be written, trace file that cannot be
  // created).
  static std::unique_ptr<HostSession> create(const HostOptions& options, const char* argv0,
                                             std::string& error);
  ~HostSession();

  AppState& state() { return state_; }
  Bridge& bridge() { return *bridge_; }
  Pacer& pacer() { return *pacer_; }
  SimBench* bench() { return bench_.get(); }
  // The time the session runs on: real, or virtual with --virtual-time.
  Clock& clock() { return *clock_; }
  const HostOptions& options() const { return options_; }

  // Writes a bench loaded from a file back to it (also done when the session ends).
  bool saveBench(std::string& error);

private:
  HostSession() = default;

  HostOptions options_;
  AppState state_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<SimBench> bench_;
  std::unique_ptr<Bridge> serial_;
  std::unique_ptr<TracingBridge> tracing_;
  std::unique_ptr<std::ofstream> traceFile_;
  Bridge* bridge_ = nullptr;
  std::unique_ptr<Pacer> pacer_;
  std::string benchFile_;
};

}  // namespace fd
