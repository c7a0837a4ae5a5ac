#include "host/HostSession.h"

#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "app/RunLog.h"
#include "app/SocketMap.h"
#include "app/Startup.h"
#include "host/InstallPlaces.h"
#include "host/SessionEndTestHook.h"
#include "link/Clock.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBench.h"
#include "sim/SimulateArg.h"

namespace fd {
namespace {

namespace fs = std::filesystem;

std::function<void(std::uint64_t)>& SessionEndHook() {
  static std::function<void(std::uint64_t)> hook;
  return hook;
}

std::string FolderWithSlash(const std::string& dir) {
  std::error_code ec;
  std::string text = fs::absolute(fs::path(dir), ec).lexically_normal().string();
  if (ec) text = dir;
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

// The share folder of an installed program: "<prefix>/share/flashdock/" when `exeDir` (a
// real path) is "<prefix>/bin"; empty for a portable build (the build folder, an unpacked
// folder, an install moved elsewhere).
std::string InstalledShareDir(const std::string& exeDir, const std::string& prefixGiven) {
  const std::string prefix = prefixGiven.empty() ? std::string(kInstallPrefix) : prefixGiven;
  if (prefix.empty() || exeDir.empty()) return "";
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(fs::absolute(fs::path(prefix), ec), ec);
  if (ec) return "";
  const fs::path bin = fs::weakly_canonical(root / kInstallBinDir, ec);
  if (ec) return "";
  const fs::path exe = fs::weakly_canonical(fs::absolute(fs::path(exeDir), ec), ec);
  if (ec || exe.lexically_normal() != bin.lexically_normal()) return "";
  return FolderWithSlash((root / kInstallDataDir / "flashdock").string());
}

// The session's folders: appDir for the files it writes, programDir for the ones it ships.
bool ChooseFolders(const HostOptions& options, const HostPlaces& places, AppState& state, bool& fallback,
                   bool& installed, std::string& error) {
  std::string normalized;
  const std::string exeDir = places.executableDir.empty() ? ExecutableDir(nullptr) : places.executableDir;
  if (!options.appDir.empty()) {
    if (!PrepareAppDir(options.appDir, normalized, error)) return false;
    state.appDir = normalized;
    // The shipped files stay beside the executable wherever --app-dir puts the others.
    state.programDir = FolderWithSlash(exeDir);
    return true;
  }
  const auto intoUserDir = [&](const std::string& before) {
    const std::string userDir = places.userDataDir.empty() ? UserDataDir() : places.userDataDir;
    std::string userError;
    if (userDir.empty() || !PrepareAppDir(userDir, normalized, userError)) {
      if (userDir.empty()) userError = "There is no user's data folder (neither XDG_DATA_HOME nor HOME is set).";
      error = before + (before.empty() || userError.empty() ? "" : " ") + userError +
              " Choose a folder for the settings and log with --app-dir.";
      return false;
    }
    state.appDir = normalized;
    return true;
  };
  // An installed program writes nothing into the system's folders, even where it could.
  if (const std::string share = InstalledShareDir(exeDir, places.installPrefix); !share.empty()) {
    if (!intoUserDir("")) return false;
    state.programDir = share;
    installed = true;
    return true;
  }
  std::string exeError;
  if (PrepareAppDir(exeDir, normalized, exeError)) {
    state.appDir = state.programDir = normalized;
    return true;
  }
  // A program folder that cannot be written: the user's own folder keeps what the program
  // writes; what it ships stays where it is.
  if (!intoUserDir(exeError)) return false;
  state.programDir = FolderWithSlash(exeDir);
  fallback = true;
  return true;
}

// The path a chain of symbolic links ends at, dangling or not: a file is written there.
std::string ThroughLinks(const std::string& path) {
  fs::path p(path);
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec))) break;
    const fs::path next = fs::read_symlink(p, ec);
    if (ec) break;
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return p.string();
}

// The same file: one real path, or one file under two names (a hard link).
bool SameFile(const std::string& first, const std::string& second) {
  const std::string a = ThroughLinks(first);
  const std::string b = ThroughLinks(second);
  std::error_code ec;
  const fs::path ra = fs::weakly_canonical(fs::absolute(a, ec), ec);
  if (!ec) {
    std::error_code ec2;
    const fs::path rb = fs::weakly_canonical(fs::absolute(b, ec2), ec2);
    if (!ec2 && ra == rb) return true;
  }
  std::error_code ec3;
  return fs::equivalent(a, b, ec3) && !ec3;
}

bool IsEarlierTrace(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::string header = std::string(kTraceFileHeader) + "\n";
  std::string start(header.size(), '\0');
  in.read(start.data(), static_cast<std::streamsize>(start.size()));
  return in.gcount() == static_cast<std::streamsize>(header.size()) && start == header;
}

using OwnFiles = std::vector<std::pair<std::string, const char*>>;

// Every file of the program's own that an output file must never replace.
OwnFiles OwnFilesOf(const AppState& state, const std::string& benchFile, const std::string& traceFile) {
  OwnFiles own = {
      {state.appDir + kSettingsFileName, "settings file"},
      {state.appDir + kHistoryFileName, "history log"},
      {state.appDir + kRunLogFileName, "run log"},
      {state.appDir + kLoadRecordFileName, "load-record file"},
      {state.appDir + kDeviceDatabaseFileName, "device database"},
      {state.appDir + kManualFileName, "user's manual"},
      {state.appDir + FileLock::kAppFolderLockName, "lock file"},
  };
  if (state.programDir != state.appDir) {
    own.push_back({state.programDir + kDeviceDatabaseFileName, "device database"});
    own.push_back({state.programDir + kManualFileName, "user's manual"});
  }
  if (!benchFile.empty()) {
    own.push_back({benchFile, "bench file"});
    own.push_back({FileLock::lockFileOf(benchFile, FileLock::Place::kBeside), "lock file"});
  }
  if (!traceFile.empty()) own.push_back({traceFile, "trace file"});
  return own;
}

// The one check of an output file against the program's own files: false, with the
// sentence, when `path` is one of them by any name.
bool NotOwnFile(const std::string& path, const OwnFiles& own, const std::string& what, const std::string& option,
                std::string& error) {
  for (const auto& [file, role] : own) {
    if (SameFile(path, file)) {
      // The program's own path too when the output names it another way (a link, "..").
      error = "The " + what + " \"" + path + "\" is the program's " + role +
              (file == path ? std::string() : " \"" + file + "\"") + "; choose another file for " + option + ".";
      return false;
    }
  }
  return true;
}

// A trace may be a new file or an earlier trace, nothing else: `--trace` given a settings
// file or a bench by mistake would otherwise cut it to nothing.
bool TraceFileAllowed(const std::string& trace, const OwnFiles& own, std::string& error) {
  const std::string shown = "\"" + trace + "\"";
  if (!NotOwnFile(trace, own, "trace file", "--trace", error)) return false;
  std::error_code ec;
  const fs::file_status status = fs::status(trace, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (fs::is_directory(status)) {
    error = "The trace file " + shown + " is a folder; choose a file for --trace.";
    return false;
  }
  if (!ec && !fs::is_regular_file(status)) {
    error = "The trace file " + shown + " is not a regular file; choose a file for --trace.";
    return false;
  }
  if (!ec && !IsEarlierTrace(trace)) {
    error = "The trace file " + shown + " already exists and is not an earlier trace; choose another file for --trace.";
    return false;
  }
  return true;
}

}  // namespace

std::string LockWaitError(const std::string& text) {
  const std::string wrong = "--lock-wait takes seconds from 0 to 86400, e.g. 30 or 0.5, not \"" + text + "\"";
  const std::size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
  const auto digits = [](const std::string& s) { return s.find_first_not_of("0123456789") == std::string::npos; };
  if (whole.empty() || !digits(whole) || !digits(fraction) || (point != std::string::npos && fraction.empty())) {
    return wrong;
  }
  if (whole.size() > 5 || LockWaitSeconds(text) > 86400) return wrong;
  return {};
}

double LockWaitSeconds(const std::string& text) {
  double seconds = 0;
  double scale = 0;
  for (const char c : text) {
    if (c == '.') {
      scale = 1;
      continue;
    }
    const int digit = c - '0';
    if (scale == 0) {
      seconds = seconds * 10 + digit;
    } else {
      scale /= 10;
      seconds += digit * scale;
    }
  }
  return seconds;
}

std::unique_ptr<HostSession> HostSession::create(const HostOptions& options, const char* argv0,
                                                 std::string& error, HostRefusal* refusal) {
  HostPlaces places;
  if (options.appDir.empty()) places.executableDir = ExecutableDir(argv0);
  return createIn(options, places, error, refusal);
}

std::unique_ptr<HostSession> HostSession::createIn(const HostOptions& options, const HostPlaces& places,
                                                   std::string& error, HostRefusal* refusal) {
  if (refusal != nullptr) *refusal = HostRefusal::kUsage;
  std::unique_ptr<HostSession> session(new HostSession());
  session->options_ = options;
  // A folder that can not be written is a failure of the file system, not of the words typed.
  if (!ChooseFolders(options, places, session->state_, session->usingUserDataDir_, session->installed_, error)) {
    if (refusal != nullptr) *refusal = HostRefusal::kFailed;
    return nullptr;
  }

  if (!options.station.empty()) {
    if (const std::string wrong = StationNameError(options.station); !wrong.empty()) {
      error = wrong;
      return nullptr;
    }
    if (!SettingsFile(session->state_.appDir + kSettingsFileName).write(kSectionRunLog, kKeyStation, options.station)) {
      error = std::string(kMsgSettingsNotWritten) + " (--station " + options.station + ")";
      if (refusal != nullptr) *refusal = HostRefusal::kFailed;
      return nullptr;
    }
  }

  const bool simulate = !options.simulate.empty();
  if (options.virtualTime && simulate) {
    session->clock_ = std::make_unique<VirtualClock>();
  } else {
    session->clock_ = std::make_unique<RealClock>();
  }
  Clock& clock = *session->clock_;
  // Known to the session only once it is made: a refused session writes no bench back.
  std::string benchFile;

  if (simulate && !options.choices.empty()) {
    error = "--port and --usb-serial pick real programmers; a simulated bench has none.";
    return nullptr;
  }
  if (!simulate) {
    SerialBridgeOptions serial{options.usbIds, options.choices, {}, {}};
    // Picked programmers come in the order given; all of them, in the station's socket order.
    if (options.choices.empty() && !options.ignoreSocketMap) {
      const SocketMapRead map = ReadSocketMap(SettingsFile(session->state_.appDir + kSettingsFileName));
      if (!map.error.empty()) {
        error = map.error;
        if (refusal != nullptr) *refusal = HostRefusal::kFailed;
        return nullptr;
      }
      serial.socketMap = map.paths;
    }
    session->serial_ = std::make_unique<SerialBridge>(std::move(serial));
    // A port that is missing or is no programmer's is a programmer not found, as a row
    // without one is: the operation failed, the words typed were well formed.
    if (!session->serial_->checkChoices(error)) {
      if (refusal != nullptr) *refusal = HostRefusal::kFailed;
      return nullptr;
    }
    session->bridge_ = session->serial_.get();
  } else {
    const SimulateArg arg = ParseSimulateArg(options.simulate);
    if (arg.kind == SimulateArg::Kind::kInvalid) {
      error = arg.error;
      return nullptr;
    }
    if (arg.kind == SimulateArg::Kind::kFile) {
      // Locked before it is read, until it is written back: two programs on one bench would
      // each change their own copy, and the last one saved would throw the other's away.
      // A missing bench is not locked (that would leave a lock file for nothing): it is
      // refused just below.
      std::error_code ec;
      if (std::filesystem::exists(arg.path, ec) &&
          !session->benchLock_.acquire(arg.path, FileLock::Place::kBeside, error)) {
        if (refusal != nullptr) *refusal = HostRefusal::kFailed;
        return nullptr;
      }
    }
    SimBenchLoad made = MakeSimBench(arg, clock);
    if (!made.bench) {
      // A bench file that is missing or can not be read: the file failed, not the option.
      if (refusal != nullptr) *refusal = HostRefusal::kFailed;
      error = made.error;
      std::error_code missing;
      if (arg.kind == SimulateArg::Kind::kFile && !std::filesystem::exists(arg.path, missing)) {
        error += " Make one with: flashdock-cli bench-init " + arg.path + " (see \"The simulated bench\" in the user's manual).";
      }
      return nullptr;
    }
    session->bench_ = std::move(made.bench);
    if (arg.kind == SimulateArg::Kind::kFile) {
      benchFile = arg.path;
      session->benchAsLoaded_ = session->bench_->toJson();
    }
  }
  if (session->bench_) session->bridge_ = session->bench_.get();

  if (!options.tracePath.empty()) {
    if (!TraceFileAllowed(options.tracePath, OwnFilesOf(session->state_, benchFile, {}), error)) return nullptr;

    session->traceFile_ = TraceFile::open(options.tracePath, kTraceFileHeader, error);
    if (!session->traceFile_) {
      if (refusal != nullptr) *refusal = HostRefusal::kFailed;
      return nullptr;
    }
    session->tracing_ = std::make_unique<TracingBridge>(*session->bridge_);
    session->tracing_->setRecording(false);
    session->tracing_->setSink(&session->traceFile_->stream());
    session->bridge_ = session->tracing_.get();
  }

  if (simulate) {
    session->pacer_ = std::make_unique<ClockPacer>(clock);
  } else {
    session->pacer_ = std::make_unique<SleepingPacer>();
  }
  session->benchFile_ = std::move(benchFile);
  return session;
}

bool HostSession::saveBench(std::string& error) {
  if (!bench_ || benchFile_.empty() || benchSaved_) return true;
  benchSaveAsked_ = true;
  // Nothing changed, nothing written: the file stays as its author wrote it, and a bench
  // that cannot be written serves a run that only looked.
  if (bench_->toJson() == benchAsLoaded_) {
    benchSaved_ = true;
    return true;
  }
  benchSaved_ = bench_->save(benchFile_, error);
  return benchSaved_;
}

bool HostSession::finishTrace(std::string& error) { return !traceFile_ || traceFile_->finish(error); }

bool HostSession::outputAllowed(const std::string& path, const std::string& option, std::string& error) const {
  return NotOwnFile(path, OwnFilesOf(state_, benchFile_, options_.tracePath), "file", option, error);
}

HostSession::~HostSession() {
  if (clock_ && SessionEndHook()) SessionEndHook()(clock_->nowUs());
  if (benchSaveAsked_) return;
  std::string ignored;
  saveBench(ignored);
}

}  // namespace fd

namespace fd::test {

ScopedSessionEndWatch::ScopedSessionEndWatch(std::function<void(std::uint64_t)> ended) {
  SessionEndHook() = std::move(ended);
}
ScopedSessionEndWatch::~ScopedSessionEndWatch() { SessionEndHook() = nullptr; }

}  // namespace fd::test
