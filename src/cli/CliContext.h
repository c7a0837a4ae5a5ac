#pragma once
// What every command of the command line shares: the options, the output streams, the
// session (bridge or bench, state, clock) and the console's message box.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "app/DocumentOpener.h"
#include "cli/ConsolePorts.h"
#include "flows/common/TimerLoop.h"
#include "flows/main/MainFlow.h"
#include "host/HostSession.h"

namespace fd {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
  HostOptions options;
  std::ostream& out;
  std::ostream& err;
  std::unique_ptr<HostSession> session;
  std::unique_ptr<ConsolePrompter> prompter;

  CliContext(HostOptions o, std::ostream& output, std::ostream& errors)
      : options(std::move(o)), out(output), err(errors) {}

  // Sets the session up and runs the headless start-up; false (with the message shown)
  // when the options cannot be honoured.
  bool begin();
  // Saves the bench file of the session once; false (with the message shown) when it
  // failed. Called by the commands where they report it, and after every command.
  bool end();

  HostSession& host() { return *session; }
  // True when stdout is a terminal that can redraw lines (progress bars).
  bool liveOutput() const;
  // True when a question can be asked: the messages go to the terminal the answer comes from.
  bool interactive() const;

private:
  bool ended_ = false;
  bool saved_ = true;
};

// While it lives, SIGINT, SIGTERM, SIGHUP and SIGPIPE do not end the process: they are
// noted, and the running command ends its operation the way Cancel does, then exits with
// 128 + the signal's number.
class SignalWatch {
public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
  // The first signal that came, 0 for none.
  static int caught();
  // The exit code for `code` when a signal came meanwhile.
  static int exitCode(int code) { return caught() != 0 ? 128 + caught() : code; }
};

// Opens nothing: an opener for a terminal session, where the log and manual are not shown.
class NoOpener final : public DocumentOpener {
public:
  bool openDocument(const std::string&) override { return false; }
};

// A main-window flow driven by the console's timer loop; `dialogs` opens its sub-windows.
struct ConsoleMain {
  explicit ConsoleMain(CliContext& cli, DialogHost* dialogs = nullptr);
  TimerLoop timers;
  NoOpener opener;
  MainFlow flow;
};

// Says, one line each, which attached programmers got no row and why.
void ReportDetectionFailures(CliContext& cli, const MainFlow& flow);

// Commands that pick programmers by row number refuse to run while any attached
// programmer failed detection: the rows are numbered without it, so "01" could name
// another programmer than the user means. False (with the failures named) then.
bool RowsNameTheirProgrammers(CliContext& cli, const MainFlow& flow);

// The JSON field names of a column set's cells after "sn", in column order: detection
// "product", "file", "modified", "size"; a run "status", "progress", "percent"; the
// result "status", "result".
const std::vector<const char*>& RowFieldNames(ColumnSet set);

// The rows of a main-window view as JSON, one object a row: "sn", "checked", "selected"
// and the cells under the names of RowFieldNames.
nlohmann::json RowsJson(const MainView& view);

}  // namespace fd
