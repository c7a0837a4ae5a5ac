#include "host/HostSession.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/Startup.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"

namespace fd {
namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

std::unique_ptr<HostSession> HostSession::create(const HostOptions& options, const char* argv0,
                                                 std::string& error) {
  std::unique_ptr<HostSession> session(new HostSession());
  session->options_ = options;

  std::string dir = options.appDir.empty() ? ExecutableDir(argv0) : options.appDir;
  std::string normalized;
  if (!PrepareAppDir(dir, normalized, error)) return nullptr;
  session->state_.appDir = normalized;

  const bool simulate = !options.simulate.empty();
  if (options.virtualTime && simulate) {
    session->clock_ = std::make_unique<VirtualClock>();
  } else {
    session->clock_ = std::make_unique<RealClock>();
  }
  SimClock& clock = *session->clock_;

  if (!simulate) {
    session->serial_ = std::make_unique<SerialBridge>();
    session->bridge_ = session->serial_.get();
  } else if (AllDigits(options.simulate)) {
    const unsigned long count = std::stoul(options.simulate.substr(0, 3));
    if (count > 8 && options.simulate.size() > 1 && count > 16) {
      error = "--simulate takes at most 16 programmers.";
      return nullptr;
    }
    session->bench_ = SimBench::fresh(count, clock);
  } else if (options.simulate == "demo") {
    session->bench_ = SimBench::demo(clock);
  } else {
    session->bench_ = SimBench::load(options.simulate, clock, error);
    if (!session->bench_) return nullptr;
    session->benchFile_ = options.simulate;
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
