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
#include "link/Protocol.h"
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

// Where a session looks for its folders: empty fields are the real places, tests give
// their own.
struct HostPlaces {
  std::string executableDir{};  // "" = the folder of the running executable
  std::string userDataDir{};    // "" = UserDataDir(): $XDG_DATA_HOME/flashdock, else ~/.local/share/flashdock
};

class HostSession {
public:
  // Null with a message in `error` when an option cannot be honoured (bad --simulate value,
  // unreadable bench file, app folder that cannot be written, trace file that cannot be
  // created or that would overwrite a file it must not).
  //
  // The files live in `--app-dir` when given (a folder that cannot be written is refused).
  // Otherwise in the executable's folder; when that cannot be written (an installed
  // program), the settings, history log and load-record file go to the user's data folder
  // instead, created on first start (see usingUserDataDir()).
  //
  // `--trace FILE` is refused when FILE is (by its real path or as the same file) one of
  // the program's own files (settings, history log, load-record file, MCUType.mcu, the
  // manual) or the bench file, or an existing file other than an earlier trace; every
  // trace file begins with the line kTraceFileHeader.
  static std::unique_ptr<HostSession> create(const HostOptions& options, const char* argv0,
                                             std::string& error);
  // The same with the folders given (tests).
  static std::unique_ptr<HostSession> createIn(const HostOptions& options, const HostPlaces& places,
                                               std::string& error);
  // Saves the bench only when nobody called saveBench(): it cannot report, so it is the
  // path of an abnormal end.
  ~HostSession();

  AppState& state() { return state_; }
  Bridge& bridge() { return *bridge_; }
  Pacer& pacer() { return *pacer_; }
  // The operations every exchange with a programmer goes through, on this session's bridge.
  Protocol& link() {
    if (!link_) link_ = std::make_unique<Protocol>(*bridge_, *pacer_);
    return *link_;
  }
  SimBench* bench() { return bench_.get(); }
  // The time the session runs on: real, or virtual with --virtual-time.
  Clock& clock() { return *clock_; }
  const HostOptions& options() const { return options_; }

  // True when the program's folder could not be written and no --app-dir was given: the
  // settings, history log and load-record file are in the user's data folder,
  // state().appDir, not beside the program (a front end tells the user where).
  bool usingUserDataDir() const { return usingUserDataDir_; }
  // The folder of the program's own read-only files (MCUType.mcu, the manual): appDir, but
  // the executable's folder while usingUserDataDir(). Also in state().programDir.
  const std::string& programDir() const { return state_.programDir; }

  // Writes a bench loaded from a file back to it, once: a call after a successful save
  // does nothing and returns true. False with a sentence naming the file in `error`.
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
  std::unique_ptr<Protocol> link_;
  std::string benchFile_;
  bool usingUserDataDir_ = false;
  bool benchSaveAsked_ = false;
  bool benchSaved_ = false;
};

}  // namespace fd
