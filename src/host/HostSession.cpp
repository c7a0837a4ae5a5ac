#include "host/HostSession.h"


#include "app/Startup.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBench.h"
#include "link/Clock.h"
#include "sim/SimulateArg.h"

namespace fd {

std::unique_ptr<HostSession> HostSession::create(const HostOptions& options, const char* argv0,
                                                 std::string& error) {
  std::unique_ptr<HostSession> session(new HostSession());
  session->options_ = options;

  const std::string executableDir = ExecutableDir(argv0);
  std::string dir = options.appDir.empty() ? executableDir : options.appDir;
  std::string normalized;
  if (!PrepareAppDir(dir, normalized, error)) {
    if (options.appDir.empty()) error += " Choose a folder for the settings and log with --app-dir.";
    return nullptr;
  }
  session->state_.appDir = normalized;
  // The shipped files stay beside the executable wherever --app-dir puts the others.
  session->state_.resourceDir = executableDir;

  const bool simulate = !options.simulate.empty();
  if (options.virtualTime && simulate) {
    session->clock_ = std::make_unique<VirtualClock>();
  } else {
    session->clock_ = std::make_unique<RealClock>();
  }
  Clock& clock = *session->clock_;

  if (!simulate) {
    session->serial_ = std::make_unique<SerialBridge>();
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
      return nullptr;
    }
    session->bench_ = std::move(made.bench);
    if (arg.kind == SimulateArg::Kind::kFile) session->benchFile_ = arg.path;
  }
  if (session->bench_) session->bridge_ = session->bench_.get();

  if (!options.tracePath.empty()) {
    session->traceFile_ = std::make_unique<std::ofstream>(options.tracePath, std::ios::out | std::ios::trunc);
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
  return session;
}

bool HostSession::saveBench(std::string& error) {
  if (!bench_ || benchFile_.empty()) return true;
  return bench_->save(benchFile_, error);
}

HostSession::~HostSession() {
  std::string ignored;
  saveBench(ignored);
}

}  // namespace fd
