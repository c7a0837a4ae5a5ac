// stats [--since DATE] [--station NAME] [--json] [--html FILE [--force]]: the gang runs of the run log, counted per
// programmer: runs, passes, yield and the failure reasons with their counts.
#include <cstdio>
#include <filesystem>
#include <iomanip>
#include <sstream>

#include "app/RunStats.h"
#include "cli/commands/Command.h"

namespace fd {
namespace {

std::string Percent(double value) {
  char text[16];
  std::snprintf(text, sizeof text, "%.1f%%", value);
  return text;
}

class StatsCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("stats", "Count the gang runs of the run log per programmer: runs, passes, yield");
    sub->add_option("--since", since_, "Only runs of this day and later (YYYY-MM-DD)")
        ->check([](const std::string& value) { return SinceDateError(value); });
    sub->add_option("--station", station_, "Only this station's runs")
        ->check([](const std::string& value) { return value.empty() ? std::string("--station is empty") : std::string(); });
    sub->add_option("--html", html_, "Also write the counts as a one-page report with a yield chart to this file")
        ->check([](const std::string& value) {
          return value.empty() ? std::string("--html needs the report's file name") : std::string();
        });
    sub->add_flag("--force", force_, "Replace the --html file when it exists");
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    if (!html_.empty() && !htmlAllowed(cli)) return kExitUsage;
    const RunLog log(cli.host().state().appDir + kRunLogFileName);
    const RunLog::Read read = log.read();
    if (!read.found) {
      cli.err << "ERROR: There is no run log (" << log.path() << ") to count.\n";
      return kExitFailed;
    }
    for (const std::size_t line : read.skippedLines) {
      cli.err << "WARNING: Line " << line << " of the run log is not a whole record; it is not counted.\n";
    }
    RunStatsFilter filter;
    if (!since_.empty()) filter.since = since_;
    if (!station_.empty()) filter.station = station_;
    const RunStats stats = CountRuns(read.records, filter);
    if (!html_.empty() && !writeHtml(stats, filter, cli)) return kExitFailed;

    if (cli.options.json) {
      nlohmann::json rows = nlohmann::json::array();
      for (const ProgrammerStats& p : stats.programmers) {
        nlohmann::json failures = nlohmann::json::array();
        for (const auto& [text, count] : p.failures) failures.push_back({{"text", text}, {"count", count}});
        rows.push_back({{"sn", p.sn}, {"port", p.port}, {"usbPath", p.usbPath}, {"usbSerial", p.usbSerial},
                        {"runs", p.runs}, {"passes", p.passes}, {"yield", p.yieldPercent()}, {"failures", failures}});
      }
      cli.printJson({{"programmers", rows}, {"runs", stats.runs}, {"passes", stats.passes},
                     {"yield", stats.yieldPercent()}, {"skippedLines", read.skippedLines}});
      return kExitOk;
    }
    if (stats.programmers.empty()) {
      cli.out << "No gang run is counted.\n";
      return kExitOk;
    }
    cli.out << "SN  Port            USB serial    Runs  Passed   Yield  Failures\n";
    for (const ProgrammerStats& p : stats.programmers) {
      std::ostringstream failures;
      for (const auto& [text, count] : p.failures) failures << (failures.tellp() > 0 ? "; " : "") << text << " x" << count;
      cli.out << std::left << std::setw(4) << p.sn << std::setw(16) << (p.port.empty() ? "-" : p.port)
              << std::setw(12) << (p.usbSerial.empty() ? "-" : p.usbSerial) << std::right << std::setw(6) << p.runs
              << std::setw(8) << p.passes << std::setw(8) << Percent(p.yieldPercent())
              << (p.failures.empty() ? "" : "  " + failures.str()) << '\n';
    }
    cli.out << "Total: " << stats.runs << " runs, " << stats.passes << " passed, " << stats.runs - stats.passes
            << " failed, yield " << Percent(stats.yieldPercent()) << '\n';
    return kExitOk;
  }

private:
  // The report, written whole or not at all; an existing file only with --force, and never
  // one of the program's own files.
  bool htmlAllowed(CliContext& cli) const {
    std::string error;
    if (!cli.host().outputAllowed(html_, "--html", error)) {
      cli.err << "usage: " << error << '\n';
      return false;
    }
    std::error_code status;
    if (std::filesystem::exists(html_, status) && !force_) {
      cli.err << "usage: " << html_ << " exists; give --force to replace it\n";
      return false;
    }
    return true;
  }
  bool writeHtml(const RunStats& stats, const RunStatsFilter& filter, CliContext& cli) const {
    const FileResult written = FileIo::replace(html_, RunStatsHtml(stats, filter, IsoLocalTime()));
    if (!written) {
      cli.err << "ERROR: The report could not be written. " << written.error << '\n';
      return false;
    }
    return true;
  }

  std::string since_;
  std::string station_;
  std::string html_;
  bool force_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeStatsCommand() { return std::make_unique<StatsCommand>(); }

}  // namespace fd
