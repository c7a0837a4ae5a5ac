#pragma once
// What every command of the command line shares: the options, the output streams, the
// session (bridge or bench, state, clock) and the console's message box.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/DocumentOpener.h"
#include "app/HistoryLog.h"
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
  // Where a command reads what the operator types (Enter between repeated runs).
  std::istream* input = &std::cin;
  // Every command's run log; a lost record is said by finish(), as a lost history record is.
  std::unique_ptr<RunLogWriter> runLog;

  // --timeout of a long command: seconds on the session's clock from begin(), 0 for none.
  double timeoutSeconds = 0;

  CliContext(HostOptions o, std::ostream& output, std::ostream& errors);

  // Sets the session up and runs the headless start-up; false (with the message shown)
  // when the options cannot be honoured (the exit code is then 2 for a usage error, 1 for
  // a failure, set by finish()).
  bool begin();
  // Saves the bench file of the session once; false (with the message shown) when it
  // failed. Called by the commands where they report it, and after every command.
  bool end();

  HostSession& host() { return *session; }
  // True when stdout is a terminal that can redraw lines (progress bars).
  bool liveOutput() const;
  // True when a question can be asked: the messages go to the terminal the answer comes from.
  bool interactive() const;

  // True once the running operation must end as Cancel would: a signal came, or the
  // --timeout passed (checked on the session's clock). Long operations ask it between ticks.
  bool stopRequested();
  // The operation went past its point of no return (a firmware update's first erase) and
  // ran to its end: a signal or time-out that came does not change the exit code, and
  // finish() says it was held.
  void holdStops() { held_ = true; }

  // The command's JSON result. Written by finish() with the one encoder, after everything
  // that decides the exit code is known: "success" is true only with exit code 0.
  void printJson(nlohmann::json value) { json_ = std::move(value); }

  // The exit code of a command that returned `code`, by the one table: 2 for a usage error,
  // 1 for a failed operation (a time-out, a lost history record, a trace that ends early,
  // a bench not saved), 128 + n for signal n. Writes the JSON result and says what it adds.
  int finish(int code);

private:
  void say(const std::string& line) const;

  bool ended_ = false;
  bool saved_ = true;
  std::optional<HostRefusal> refused_;
  std::uint64_t deadlineUs_ = 0;  // 0: no time-out
  bool timedOut_ = false;
  bool held_ = false;
  std::optional<nlohmann::json> json_;
  std::vector<std::string> historyFailures_;
  HistoryFailureWatch historyWatch_;
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
  // Forgets a signal of an earlier command (tests run several in one process).
  static void clear();
  // The exit code for `code` when a signal came meanwhile.
  static int exitCode(int code) { return caught() != 0 ? 128 + caught() : code; }
};

// Opens nothing: an opener for a terminal session, where the log and manual are not shown.
class NoOpener final : public DocumentOpener {
public:
  bool openDocument(const std::string&) override { return false; }
};

// A main-window flow driven by the console's timer loop; `dialogs` opens its sub-windows,
// `runner` runs its gang run to the end.
struct ConsoleMain {
  explicit ConsoleMain(CliContext& cli, DialogHost* dialogs = nullptr, DialogHost* runner = nullptr);
  TimerLoop timers;
  NoOpener opener;
  MainFlow flow;
};

// Says, one line each, which attached programmers got no row and why.
void ReportDetectionFailures(CliContext& cli, const MainFlow& flow);

// The command line numbers its rows by where the programmers are, so a programmer that
// failed detection keeps its number and shifts no other. A command refuses to run only
// when a programmer it acts on failed: one of `chosen` (row numbers "01".."08"), or any
// when `chosen` is empty (a command that takes every programmer). False, with those
// failures named, then.
bool RowsNameTheirProgrammers(CliContext& cli, const MainFlow& flow, const std::vector<std::string>& chosen);
// The row numbers of a list such as "1,03" as the rows show them ("01", "03"); none for an
// empty or malformed list.
std::vector<std::string> SnsOfList(const std::string& list);
// A command acts only on these rows ("01".."08"): detection opens their programmers alone
// and leaves the others (another process may be working with them) untouched. Every
// programmer when `sns` is empty.
void OpenOnlyRows(MainFlow& flow, const std::vector<std::string>& sns);

// The JSON field names of a column set's cells after "sn", in column order: detection
// "product", "file", "modified", "size"; a run "status", "progress", "percent"; the
// result "status", "result".
const std::vector<const char*>& RowFieldNames(ColumnSet set);

// The rows of a main-window view as JSON, one object a row: "sn", "checked", "selected"
// and the cells under the names of RowFieldNames.
nlohmann::json RowsJson(const MainView& view);

}  // namespace fd
