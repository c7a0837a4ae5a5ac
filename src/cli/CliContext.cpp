#include "cli/CliContext.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "app/Startup.h"

namespace fd {

namespace {

std::atomic<int> gCaught{0};
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
struct sigaction gPrevious[sizeof kWatched / sizeof kWatched[0]];

extern "C" void OnSignal(int signal) {
  int none = 0;
  gCaught.compare_exchange_strong(none, signal);
}

}  // namespace

SignalWatch::SignalWatch() {
  gCaught = 0;
  for (std::size_t i = 0; i < std::size(kWatched); ++i) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(kWatched[i], &action, &gPrevious[i]);
  }
}

SignalWatch::~SignalWatch() {
  for (std::size_t i = 0; i < std::size(kWatched); ++i) sigaction(kWatched[i], &gPrevious[i], nullptr);
}

int SignalWatch::caught() { return gCaught.load(); }

bool CliContext::begin() {
  std::string error;
  session = HostSession::create(options, nullptr, error);
  if (!session) {
    err << "ERROR: " << error << '\n';
    return false;
  }
  prompter = std::make_unique<ConsolePrompter>(err);
  if (SerialBridge* serial = session->serial()) {
    serial->setNoticeSink([this](const std::string& text) { err << "WARNING: " << text << '\n'; });
  }
  if (session->usingUserDataDir()) {
    err << "INFO: The program's folder can not be written; settings and log are kept in "
        << session->state().appDir << ".\n";
  }
  RunStartupHeadless(session->state());
  return true;
}

bool CliContext::end() {
  if (!session || ended_) return saved_;
  ended_ = true;
  std::string error;
  saved_ = session->saveBench(error);
  if (!saved_) err << "ERROR: " << error << '\n';
  return saved_;
}

bool CliContext::liveOutput() const { return !options.json && &out == &std::cout && isatty(STDOUT_FILENO); }

bool CliContext::interactive() const { return &err == &std::cerr && isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

ConsoleMain::ConsoleMain(CliContext& cli, DialogHost* dialogs)
    : timers(cli.session->clock()),
      flow({cli.session->state(), cli.session->bridge(), cli.session->pacer(), *cli.prompter, timers, opener, {},
            dialogs}) {}

void ReportDetectionFailures(CliContext& cli, const MainFlow& flow) {
  for (const DetectionFailure& failure : flow.detectionFailures()) {
    cli.err << "ERROR: The programmer at device index " << failure.deviceIndex << " got no row: " << failure.message
            << '\n';
  }
}

bool RowsNameTheirProgrammers(CliContext& cli, const MainFlow& flow) {
  if (flow.detectionFailures().empty()) return true;
  ReportDetectionFailures(cli, flow);
  cli.err << "ERROR: The rows are numbered without it, so a row number may name another programmer; "
             "nothing was done.\n";
  return false;
}

const std::vector<const char*>& RowFieldNames(ColumnSet set) {
  // Fixed names of the command line's own: a column renamed in the window changes nothing here.
  static const std::vector<const char*> detection{"product", "file", "modified", "size"};
  static const std::vector<const char*> run{"status", "progress", "percent"};
  static const std::vector<const char*> result{"status", "result"};
  switch (set) {
    case ColumnSet::Detection: return detection;
    case ColumnSet::Run: return run;
    case ColumnSet::Result: return result;
  }
  return detection;
}

nlohmann::json RowsJson(const MainView& view) {
  nlohmann::json rows = nlohmann::json::array();
  const auto& names = RowFieldNames(view.columns);
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    const MainRow& row = view.rows[r];
    nlohmann::json j{{"sn", row.sn}, {"checked", row.checked}, {"selected", view.selectedRow == static_cast<int>(r)}};
    for (std::size_t c = 0; c < row.cells.size() && c < names.size(); ++c) j[names[c]] = row.cells[c];
    rows.push_back(j);
  }
  return rows;
}

}  // namespace fd
