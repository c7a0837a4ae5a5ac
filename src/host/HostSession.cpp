#include "host/HostSession.h"

#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "app/Startup.h"
#include "link/Clock.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBench.h"
#include "sim/SimulateArg.h"

namespace fd {
namespace {

namespace fs = std::filesystem;

std::string FolderWithSlash(const std::string& dir) {
  std::error_code ec;
  std::string text = fs::absolute(fs::path(dir), ec).lexically_normal().string();
  if (ec) text = dir;
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

// The session's folders: appDir for the files it writes, programDir for the ones it ships.
bool ChooseFolders(const HostOptions& options, const HostPlaces& places, AppState& state, bool& fallback,
                   std::string& error) {
  std::string normalized;
  const std::string exeDir = places.executableDir.empty() ? ExecutableDir(nullptr) : places.executableDir;
  if (!options.appDir.empty()) {
    if (!PrepareAppDir(options.appDir, normalized, error)) return false;
    state.appDir = normalized;
    // The shipped files stay beside the executable wherever --app-dir puts the others.
    state.programDir = FolderWithSlash(exeDir);
    return true;
  }
  std::string exeError;
  if (PrepareAppDir(exeDir, normalized, exeError)) {
    state.appDir = state.programDir = normalized;
    return true;
  }
  // An installed program: its folder is the system's. The user's own folder keeps what
  // the program writes; what it ships stays where it was installed.
  const std::string userDir = places.userDataDir.empty() ? UserDataDir() : places.userDataDir;
  std::string userError;
  if (userDir.empty() || !PrepareAppDir(userDir, normalized, userError)) {
    error = exeError + (userError.empty() ? "" : " " + userError) +
            " Choose a folder for the settings and log with --app-dir.";
    return false;
  }
  state.appDir = normalized;
  state.programDir = FolderWithSlash(exeDir);
  fallback = true;
  return true;
}

// The same file: one real path, or one file under two names (a hard link).
bool SameFile(const std::string& a, const std::string& b) {
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

// A trace may be a new file or an earlier trace, nothing else: `--trace` given a settings
// file or a bench by mistake would otherwise cut it to nothing.
bool TraceFileAllowed(const std::string& trace, const std::vector<std::pair<std::string, const char*>>& own,
                      std::string& error) {
  const std::string shown = "\"" + trace + "\"";
  for (const auto& [path, what] : own) {
    if (SameFile(trace, path)) {
      // The program's own path too when the trace names it another way (a link, "..").
      error = "The trace file " + shown + " is the program's " + what +
              (path == trace ? std::string() : " \"" + path + "\"") + "; choose another file for --trace.";
      return false;
    }
  }
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

std::unique_ptr<HostSession> HostSession::create(const HostOptions& options, const char* argv0,
                                                 std::string& error) {
  HostPlaces places;
  if (options.appDir.empty()) places.executableDir = ExecutableDir(argv0);
  return createIn(options, places, error);
}

std::unique_ptr<HostSession> HostSession::createIn(const HostOptions& options, const HostPlaces& places,
                                                   std::string& error) {
  std::unique_ptr<HostSession> session(new HostSession());
  session->options_ = options;
  if (!ChooseFolders(options, places, session->state_, session->usingUserDataDir_, error)) return nullptr;

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
    session->serial_ = std::make_unique<SerialBridge>(SerialBridgeOptions{options.usbIds, options.choices, {}});
    if (!session->serial_->checkChoices(error)) return nullptr;
    session->bridge_ = session->serial_.get();
  } else {
    const SimulateArg arg = ParseSimulateArg(options.simulate);
    if (arg.kind == SimulateArg::Kind::kInvalid) {
      error = arg.error;
      return nullptr;
    }
    SimBenchLoad made = MakeSimBench(arg, clock);
    if (!made.bench) {
      error = made.error;
      std::error_code missing;
      if (arg.kind == SimulateArg::Kind::kFile && !std::filesystem::exists(arg.path, missing)) {
        error += " Make one with: flashdock-cli bench-init " + arg.path + " (see docs/bench-file.md).";
      }
      return nullptr;
    }
    session->bench_ = std::move(made.bench);
    if (arg.kind == SimulateArg::Kind::kFile) benchFile = arg.path;
  }
  if (session->bench_) session->bridge_ = session->bench_.get();

  if (!options.tracePath.empty()) {
    const AppState& state = session->state_;
    std::vector<std::pair<std::string, const char*>> own = {
        {state.appDir + kSettingsFileName, "settings file"},
        {state.appDir + kHistoryFileName, "history log"},
        {state.appDir + kLoadRecordFileName, "load-record file"},
        {state.appDir + kDeviceDatabaseFileName, "device database"},
        {state.appDir + kManualFileName, "user's manual"},
    };
    if (state.programDir != state.appDir) {
      own.push_back({state.programDir + kDeviceDatabaseFileName, "device database"});
      own.push_back({state.programDir + kManualFileName, "user's manual"});
    }
    if (!benchFile.empty()) own.push_back({benchFile, "bench file"});
    if (!TraceFileAllowed(options.tracePath, own, error)) return nullptr;

    session->traceFile_ = std::make_unique<std::ofstream>(options.tracePath, std::ios::out | std::ios::trunc);
    if (*session->traceFile_) *session->traceFile_ << kTraceFileHeader << '\n' << std::flush;
    if (!*session->traceFile_) {
      error = "Can not create the trace file " + options.tracePath + ".";
      return nullptr;
    }
    session->tracing_ = std::make_unique<TracingBridge>(*session->bridge_);
    session->tracing_->setRecording(false);
    session->tracing_->setSink(session->traceFile_.get());
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
  benchSaved_ = bench_->save(benchFile_, error);
  return benchSaved_;
}

HostSession::~HostSession() {
  if (benchSaveAsked_) return;
  std::string ignored;
  saveBench(ignored);
}

}  // namespace fd
