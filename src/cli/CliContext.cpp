#include "cli/CliContext.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <iostream>
#include <sstream>

#include "app/Startup.h"
#include "cli/JsonText.h"
#include "link/ProgrammerSn.h"

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

void SignalWatch::clear() { gCaught = 0; }

CliContext::CliContext(HostOptions o, std::ostream& output, std::ostream& errors)
    : options(std::move(o)),
      out(output),
      err(errors),
      historyWatch_([this](const std::string& error) { historyFailures_.push_back(error); }) {}

bool CliContext::begin() {
  std::string error;
  HostRefusal refusal = HostRefusal::kUsage;
  session = HostSession::create(options, nullptr, error, &refusal);
  if (!session) {
    refused_ = refusal;
    err << (refusal == HostRefusal::kUsage ? "usage: " : "ERROR: ") << error << '\n';
    return false;
  }
  if (timeoutSeconds > 0) {
    deadlineUs_ = session->clock().nowUs() + static_cast<std::uint64_t>(timeoutSeconds * 1e6 + 0.5);
  }
  prompter = std::make_unique<ConsolePrompter>(err);
  HostSession* host = session.get();
  runLog = std::make_unique<RunLogWriter>(session->state().appDir, [host](BridgeHandle handle) {
    RunPortIdentity where;
    if (SerialBridge* serial = host->serial()) {
      if (const std::optional<SerialDeviceRow> row = serial->rowOf(handle)) where = {row->port, row->usbPath, row->usbSerial};
    }
    return where;
  });
  session->state().runLog = runLog.get();
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

bool CliContext::stopRequested() {
  if (SignalWatch::caught() != 0) return true;
  if (deadlineUs_ != 0 && session && session->clock().nowUs() >= deadlineUs_) timedOut_ = true;
  return timedOut_;
}

void CliContext::say(const std::string& line) const { err << line << '\n' << std::flush; }

int CliContext::finish(int code) {
  if (refused_) code = *refused_ == HostRefusal::kUsage ? kExitUsage : kExitFailed;
  const auto failed = [&code] {
    if (code == kExitOk) code = kExitFailed;
  };
  // Whatever the command's end, the bench it changed is saved, and a failure to save is said.
  if (!end()) failed();
  std::string error;
  if (session && !session->finishTrace(error)) {
    say("ERROR: " + error);
    failed();
  }
  // Every command alike: a record the history log did not take is said once, and the
  // command fails, though the operation itself was done (its output says so).
  std::vector<std::string> said;
  for (const std::string& failure : historyFailures_) {
    const bool runLog = failure.find(kRunLogFileName) != std::string::npos;
    const std::string text = std::string(runLog ? kMsgRunLogNotWritten : kMsgHistoryNotWritten) + " " + failure;
    if (std::find(said.begin(), said.end(), text) != said.end()) continue;
    said.push_back(text);
    const auto& shown = prompter ? prompter->shown() : std::vector<ConsolePrompter::Shown>{};
    const bool already = std::any_of(shown.begin(), shown.end(), [&](const auto& s) { return s.text == text; });
    if (!already) say("ERROR: " + text);
    failed();
  }
  const int signal = SignalWatch::caught();
  if (held_ && (signal != 0 || timedOut_)) {
    say(std::string("INFO: ") + (signal != 0 ? "Signal " + std::to_string(signal) : std::string("The --timeout")) +
        " came after the first erase, when stopping would leave the programmer without firmware; it was held "
        "until the update ended.");
  } else if (signal != 0) {
    code = 128 + signal;
  } else if (timedOut_) {
    std::ostringstream seconds;
    seconds << timeoutSeconds;
    say("ERROR: The time-out of " + seconds.str() + " s (--timeout) ended the run as Cancel would.");
    failed();
  }
  if (json_) {
    if (json_->is_object() && json_->contains("success")) {
      (*json_)["success"] = (*json_)["success"] == true && code == kExitOk;
    }
    out << JsonText(*json_) << '\n' << std::flush;
  }
  return code;
}

bool CliContext::liveOutput() const { return !options.json && &out == &std::cout && isatty(STDOUT_FILENO); }

bool CliContext::interactive() const { return &err == &std::cerr && isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

ConsoleMain::ConsoleMain(CliContext& cli, DialogHost* dialogs, DialogHost* runner)
    : timers(cli.session->clock()),
      flow({cli.session->state(), cli.session->bridge(), cli.session->pacer(), *cli.prompter, timers, opener, {},
            dialogs, &cli.session->clock(), runner, /*stableRows=*/true}) {}

void ReportDetectionFailures(CliContext& cli, const MainFlow& flow) {
  for (const DetectionFailure& failure : flow.detectionFailures()) {
    cli.err << "ERROR: Programmer " << SnText(static_cast<int>(failure.deviceIndex) + 1) << " (device index "
            << failure.deviceIndex << ") got no row: " << failure.message << '\n';
  }
}

bool RowsNameTheirProgrammers(CliContext& cli, const MainFlow& flow, const std::vector<std::string>& chosen) {
  // Rows keep their numbers whoever fails detection: only a chosen programmer that failed
  // stops the command, and every one when the command takes them all.
  bool refused = false;
  for (const DetectionFailure& failure : flow.detectionFailures()) {
    const std::string sn = SnText(static_cast<int>(failure.deviceIndex) + 1);
    if (!chosen.empty() && std::find(chosen.begin(), chosen.end(), sn) == chosen.end()) continue;
    cli.err << "ERROR: Programmer " << sn << " (device index " << failure.deviceIndex
            << ") got no row: " << failure.message << '\n';
    refused = true;
  }
  if (refused) cli.err << "ERROR: The command acts on this programmer; nothing was done.\n";
  return !refused;
}

std::vector<std::string> SnsOfList(const std::string& list) {
  std::vector<std::string> sns;
  for (const int number : ParseSnList(list).value_or(std::vector<int>{})) sns.push_back(SnText(number));
  return sns;
}

void OpenOnlyRows(MainFlow& flow, const std::vector<std::string>& sns) {
  std::vector<std::uint32_t> indexes;
  for (const std::string& sn : sns) {
    if (const std::optional<int> number = ParseSn(sn)) indexes.push_back(static_cast<std::uint32_t>(*number - 1));
  }
  flow.openOnly(indexes);
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
    // The cells show a programmer's stored texts: single bytes, as the window shows them.
    // The window pads the product and file names to their stored widths; a script wants the name.
    for (std::size_t c = 0; c < row.cells.size() && c < names.size(); ++c) {
      std::string cell = row.cells[c];
      if (view.columns == ColumnSet::Detection) cell.erase(cell.find_last_not_of(' ') + 1);
      j[names[c]] = Latin1Text(cell);
    }
    rows.push_back(j);
  }
  return rows;
}

}  // namespace fd
