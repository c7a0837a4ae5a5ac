#pragma once
// What both programs set up before their first window or command: the folder of their
// files, the bridge (real programmers or a simulated bench, traced on request), the pacer
// and the process-wide state.
#include <fstream>
#include <memory>
#include <string>

#include "app/AppState.h"
#include "formats/FileLock.h"
#include "link/Bridge.h"
#include "link/Pacer.h"
#include "link/Protocol.h"
#include "link/TracingBridge.h"
#include "link/serial/SerialBridge.h"
#include "host/TraceFile.h"

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
  // --lock-wait: how long a file another copy of the program holds is waited for. The
  // front end installs it (with its way of telling the user) as the process's LockPolicy.
  double lockWaitSeconds = LockPolicy::kDefaultWaitSeconds;
  // Real programmers: the ones picked (--port, --usb-serial, in the order given; none: all)
  // and the USB ids taken for programmers besides the programmer's own (--usb-id).
  std::vector<PortChoice> choices{};
  std::vector<UsbId> usbIds{};
  // Real programmers in USB port order even where the settings hold a socket map (the
  // command that shows and saves the map).
  bool ignoreSocketMap = false;
  // --station: the station's name for the run log, kept in the settings from now on.
  std::string station{};
};

// The value of --lock-wait: seconds, a whole or decimal number from 0 to 86400 ("30",
// "0.5"). Empty when fine, else the usage error naming the option.
std::string LockWaitError(const std::string& text);
// Its seconds; call only after LockWaitError() found it fine.
double LockWaitSeconds(const std::string& text);

// Why a session could not be made: an option that cannot be honoured as given (a malformed
// --simulate value, a --trace file the program must not overwrite), or an operation that
// failed (a bench another process holds past the wait, a bench file that is missing or can
// not be read, a folder or trace file that can not be written).
enum class HostRefusal { kUsage, kFailed };

// Where a session looks for its folders: empty fields are the real places, tests give
// their own.
struct HostPlaces {
  std::string executableDir{};  // "" = the folder of the running executable
  std::string userDataDir{};    // "" = UserDataDir(): $XDG_DATA_HOME/flashdock, else ~/.local/share/flashdock
  // The prefix `cmake --install` puts the programs under ("" = the one this build was
  // configured with): an executable whose real folder is its bin folder is the installed one.
  std::string installPrefix{};
};

class HostSession {
public:
  // Null with a message in `error` when an option cannot be honoured (bad --simulate value,
  // unreadable bench file, app folder that cannot be written, trace file that cannot be
  // created or that would overwrite a file it must not, a picked programmer that is not
  // there, --port or --usb-serial with a simulated bench).
  //
  // The files live in `--app-dir` when given (a folder that cannot be written is refused).
  // An installed program (installed()) keeps the settings, history log, run log and
  // load-record file in the user's data folder, created on first start, and reads the
  // device database and the manual from the installed share folder unless the user's folder
  // has its own copy. Otherwise (a portable build) everything is in the executable's
  // folder; when that cannot be written, the files it writes go to the user's data folder
  // (see usingUserDataDir()).
  //
  // `--trace FILE` is refused when FILE is (by its real path or as the same file) one of
  // the program's own files (settings, history log, load-record file, MCUType.mcu, the
  // manual) or the bench file, or an existing file other than an earlier trace; every
  // trace file begins with the line kTraceFileHeader.
  //
  // A bench file is locked for the whole session ("<bench>.lock" beside it, see FileLock):
  // a second program on the same bench waits as the LockPolicy says, then is refused with
  // HostRefusal::kFailed naming the process that holds it.
  static std::unique_ptr<HostSession> create(const HostOptions& options, const char* argv0,
                                             std::string& error, HostRefusal* refusal = nullptr);
  // The same with the folders given (tests).
  static std::unique_ptr<HostSession> createIn(const HostOptions& options, const HostPlaces& places,
                                               std::string& error, HostRefusal* refusal = nullptr);
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
  // The bridge of real programmers; null on a simulated bench.
  SerialBridge* serial() { return serial_.get(); }
  // The time the session runs on: real, or virtual with --virtual-time.
  Clock& clock() { return *clock_; }
  const HostOptions& options() const { return options_; }

  // True when the program's folder could not be written and no --app-dir was given: the
  // settings, history log and load-record file are in the user's data folder,
  // state().appDir, not beside the program (a front end tells the user where).
  bool usingUserDataDir() const { return usingUserDataDir_; }
  // True when the executable runs from the bin folder of the install prefix and no
  // --app-dir was given: appDir is the user's data folder, programDir the share folder.
  bool installed() const { return installed_; }
  // The folder of the program's own read-only files (MCUType.mcu, the manual): appDir in a
  // portable build, the executable's folder while usingUserDataDir() or with --app-dir, the
  // install's share folder when installed(). Also in state().programDir.
  const std::string& programDir() const { return state_.programDir; }

  // Writes a bench loaded from a file back to it, once: a call after a successful save
  // does nothing and returns true. A bench the session did not change is not written at
  // all (a read-only bench file serves runs that only look). False with a sentence naming
  // the file in `error`.
  bool saveBench(std::string& error);

  // With --trace: writes out what the trace holds; false with a sentence naming the file
  // when part of the trace could not be written (a full disk): it ends early. True without
  // a trace.
  bool finishTrace(std::string& error);

  // Whether an output file of a command may be `path`: never one of the program's own
  // files (settings, history log, load-record file, device database, manual, lock files,
  // the bench file, the trace), by any name (a link, "..", a hard link). False with a
  // sentence for the user that names the file and `option`.
  bool outputAllowed(const std::string& path, const std::string& option, std::string& error) const;

private:
  HostSession() = default;

  // Held from before the bench is read until after it is written back: declared first, so
  // it is let go last.
  FileLock benchLock_;
  HostOptions options_;
  AppState state_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<SimBench> bench_;
  std::unique_ptr<SerialBridge> serial_;
  std::unique_ptr<TracingBridge> tracing_;
  std::unique_ptr<TraceFile> traceFile_;
  Bridge* bridge_ = nullptr;
  std::unique_ptr<Pacer> pacer_;
  std::unique_ptr<Protocol> link_;
  std::string benchFile_;
  std::string benchAsLoaded_;  // the bench as read, in the form it would be written
  bool usingUserDataDir_ = false;
  bool installed_ = false;
  bool benchSaveAsked_ = false;
  bool benchSaved_ = false;
};

}  // namespace fd
