// gang [--sn 01,03 | --failed] [--expect FILE] [--repeat [--count N]]: Erase-Program-Verify on several programmers at once, with live lines,
// the results and the gang record, as Start, Cancel and Back do in the window.
#include <iomanip>
#include <set>
#include <sstream>

#include "app/RunLog.h"
#include "cli/ConsoleHost.h"
#include "cli/commands/Command.h"
#include "formats/Hex.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

std::string RunLine(const MainRow& row, const MainView& view, std::size_t r) {
  std::ostringstream line;
  line << row.sn << "  " << std::left << std::setw(34) << row.cells[0];
  if (view.progress[r].visible) line << std::right << std::setw(4) << row.cells[2];
  return line.str();
}

class GangCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("gang", "Run Erase-Program-Verify on several programmers at once");
    CLI::Option* sn = sub->add_option("--sn", snList_, "Rows to run, e.g. 01,03 (default: every row with a setup)")
                          ->check([](const std::string& value) { return SnListError(value); });
    CLI::Option* failed =
        sub->add_flag("--failed", failed_, "Run the programmers that did not succeed in this station's last gang run");
    sn->excludes(failed);
    CLI::Option* repeat = sub->add_flag("--repeat", repeat_, "Run again each time Enter is pressed, until Ctrl-C or --count runs");
    sub->add_option("--count", count_, "With --repeat: end after this many runs")
        ->check(CLI::Range(1, 1000000))
        ->needs(repeat);
    sub->add_option("--expect", expect_, "Refuse to start unless every programmer taking part holds this image file")
        ->check([](const std::string& value) {
          return value.empty() ? std::string("--expect needs the image file the programmers must hold") : std::string();
        });
    return sub;
  }

  // "01,03", "1,3": each entry a row number 1 to 8, none empty.
  static std::string SnListError(const std::string& value) {
    if (value.empty()) return "--sn needs at least one row number, e.g. 01,03";
    if (!ParseSnList(value)) return "--sn takes row numbers 01 to 08 separated by commas, not \"" + value + "\"";
    return {};
  }

  int run(CliContext& cli) override {
    if (repeat_ && cli.options.json) {
      cli.err << "usage: --repeat prints its runs for the operator; it does not take --json\n";
      return kExitUsage;
    }
    if (!cli.begin()) return kExitFailed;
    SignalWatch signals;
    // The run goes to its end on the runner every long operation of the command line uses:
    // a signal or the --timeout ends it as Cancel would.
    ConsoleHost runner(cli);
    ConsoleMain main(cli, nullptr, &runner);
    MainFlow& flow = main.flow;
    // Every programmer is opened, as the window's list holds them all: the run's record
    // names each row, those not taking part as not applicable.
    flow.open();
    if (failed_ && !chooseFailed(cli, flow)) {
      flow.close();
      const bool saved = cli.end();
      return SignalWatch::exitCode(failedChoice_ == kExitOk && !saved ? kExitFailed : failedChoice_);
    }
    // Nothing starts while a programmer taking part holds another image: the flow names them.
    if (!expect_.empty()) flow.expectImage(expect_);

    bool allGood = true;
    int runs = 0;
    for (;;) {
      if (repeat_) cli.out << "Run " << runs + 1 << (count_ > 0 ? " of " + std::to_string(count_) : std::string()) << '\n';
      const std::optional<bool> good = runOnce(cli, flow, runner);
      if (!good) {
        // Nothing could start; the flow has said why.
        flow.close();
        cli.end();
        return SignalWatch::exitCode(kExitFailed);
      }
      ++runs;
      allGood = allGood && *good;
      if (!repeat_ || (count_ > 0 && runs >= count_) || SignalWatch::caught() != 0) break;
      // A foot switch that types Enter starts the next run; Ctrl-C (or the input's end) ends.
      cli.err << "Press Enter for the next run, Ctrl-C to end.\n" << std::flush;
      std::string line;
      if (!std::getline(*cli.input, line) || SignalWatch::caught() != 0) break;
    }
    if (repeat_) cli.out << "Summary: " << runs << (runs == 1 ? " run; " : " runs; ")
                         << SessionCountsLine(flow.sessionCounts()) << '\n' << std::flush;
    flow.close();
    const bool saved = cli.end();
    if (!saved && allGood) cli.err << "INFO: The run succeeded, but the bench state was not saved.\n";
    return SignalWatch::exitCode(saved && allGood ? kExitOk : kExitFailed);
  }

private:
  // One run: the rows ticked, Start, the live lines, the results and the counts, then Back
  // (the gang record and a fresh detection). Whether every programmer taking part succeeded;
  // nothing when the run could not start (or a chosen programmer is missing).
  std::optional<bool> runOnce(CliContext& cli, MainFlow& flow, ConsoleHost& runner) {
    const MainView& view = flow.view();
    // Rows chosen by number, or every row by default: a chosen programmer that failed
    // detection cannot run, and by default every programmer is chosen.
    if (!RowsNameTheirProgrammers(cli, flow, SnsOfList(snList_))) return std::nullopt;

    std::set<std::string> chosen;
    if (!snList_.empty()) {
      for (const int number : ParseSnList(snList_).value_or(std::vector<int>{})) {
        const std::string sn = SnText(number);
        const bool known =
            std::any_of(view.rows.begin(), view.rows.end(), [&](const MainRow& row) { return row.sn == sn; });
        if (!known) {
          cli.err << "ERROR: No programmer " << sn << " is detected.\n";
          return std::nullopt;
        }
        chosen.insert(sn);
      }
    }
    for (std::size_t r = 0; r < view.rows.size(); ++r) {
      // By default every programmer that holds a setup takes part.
      const bool take = snList_.empty() ? flow.rowHasSetup(static_cast<int>(r)) : chosen.count(view.rows[r].sn) != 0;
      flow.setChecked(static_cast<int>(r), take);
    }

    const bool live = cli.liveOutput();
    std::vector<std::string> lastLines(view.rows.size());
    bool drawn = false;
    const auto show = [&] {
      if (cli.options.json) return;
      if (live) {
        if (drawn) cli.out << "\x1b[" << view.rows.size() << "A";
        for (std::size_t r = 0; r < view.rows.size(); ++r) cli.out << "\r\x1b[2K" << RunLine(view.rows[r], view, r) << '\n';
        cli.out << std::flush;
        drawn = true;
        return;
      }
      for (std::size_t r = 0; r < view.rows.size(); ++r) {
        const std::string line = RunLine(view.rows[r], view, r);
        if (line != lastLines[r]) cli.out << line << '\n';
        lastLines[r] = line;
      }
    };
    // The rows as the run starts, then after every poll; the results follow below.
    runner.script<GangRunFlow>([&](GangRunFlow&) { show(); });
    runner.drawProgress = [&](ModalFlow&, bool last) {
      if (!last) show();
    };

    flow.startButton();  // returns once the run has ended
    if (flow.runPhase() == RunPhase::Idle) return std::nullopt;

    const std::vector<RowResult> results = flow.results();
    const bool allGood = std::all_of(results.begin(), results.end(),
                                     [](const RowResult& r) { return !r.taking || r.succeeded(); });
    const SessionCounts counts = flow.sessionCounts();
    if (cli.options.json) {
      nlohmann::json rows = RowsJson(view);
      nlohmann::json out = nlohmann::json::array();
      for (std::size_t r = 0; r < results.size(); ++r) {
        nlohmann::json j = rows[r];
        j["taking"] = results[r].taking;
        j["resultCode"] = HexText(results[r].code, 2);
        out.push_back(j);
      }
      cli.printJson(nlohmann::json{{"results", out},
                                   {"counts", {{"passed", counts.passed}, {"failed", counts.failed}, {"total", counts.total()}}},
                                   {"success", allGood}});
    } else {
      cli.out << "Result:\n";
      for (const MainRow& row : view.rows) {
        cli.out << row.sn << "  " << std::left << std::setw(34) << row.cells[0] << (row.cells.size() > 1 ? row.cells[1] : "")
                << '\n';
      }
      cli.out << SessionCountsLine(counts) << '\n';
    }
    cli.out << std::flush;
    flow.startButton();  // Back: the gang record, then a fresh detection
    return allGood;
  }

  // --failed: the rows of the programmers that did not succeed in this station's last gang
  // run, found by USB serial, else USB port path, else row, in snList_. False when nothing
  // is to run, with the exit code in failedChoice_.
  bool chooseFailed(CliContext& cli, const MainFlow& flow) {
    AppState& state = cli.host().state();
    const SettingsFile settings(state.appDir + kSettingsFileName);
    const std::string station = StationName(settings);
    const RunLog::Read read = RunLog(state.appDir + kRunLogFileName).read();
    const std::vector<RunRecord> last = LastGangRun(read.records, station);
    if (last.empty()) {
      cli.err << "ERROR: The run log holds no gang run of station \"" << station << "\""
              << (RunLogEnabled(settings) ? "" : " (the run log is off in the settings)") << "; nothing to run again.\n";
      failedChoice_ = kExitFailed;
      return false;
    }
    const MainView& view = flow.view();
    std::vector<std::string> rows;
    for (const RunRecord& record : last) {
      if (record.result == kRunOk) continue;
      std::string found;
      for (std::size_t r = 0; r < view.rows.size(); ++r) {
        if (SameProgrammer(record, cli.runLog->where(flow.handles()[r]), view.rows[r].sn)) found = view.rows[r].sn;
      }
      const std::string who = record.sn + (record.usbSerial.empty() ? std::string() : " (USB serial " + record.usbSerial + ")");
      if (found.empty()) {
        cli.err << "WARNING: Programmer " << who << " failed in the last run (" << record.time
                << ") and is not detected now; it is skipped.\n";
        continue;
      }
      cli.err << "INFO: Programmer " << who << " failed in the last run (" << record.time << "): runs again as row "
              << found << ".\n";
      rows.push_back(found);
    }
    if (rows.empty()) {
      const bool anyFailed =
          std::any_of(last.begin(), last.end(), [](const RunRecord& r) { return r.result != kRunOk; });
      if (!anyFailed) cli.err << "INFO: Every programmer succeeded in the last run (" << last.front().time << "); nothing to run again.\n";
      if (anyFailed) cli.err << "ERROR: None of the programmers that failed in the last run is detected now.\n";
      failedChoice_ = anyFailed ? kExitFailed : kExitOk;
      return false;
    }
    for (const std::string& sn : rows) snList_ += (snList_.empty() ? "" : ",") + sn;
    return true;
  }

  bool failed_ = false;
  int failedChoice_ = kExitOk;
  std::string snList_;
  std::string expect_;
  bool repeat_ = false;
  int count_ = 0;
};

}  // namespace

std::unique_ptr<Command> MakeGangCommand() { return std::make_unique<GangCommand>(); }

}  // namespace fd
