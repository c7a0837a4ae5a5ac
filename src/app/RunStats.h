#pragma once
// Counts and yield per programmer from the run log: each programmer is known by its USB
// serial number, else its USB port path, else its row, the rule `gang --failed` finds it by.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/RunLog.h"

namespace fd {

struct ProgrammerStats {
  std::string sn, port, usbPath, usbSerial;  // as its latest line gives them
  int runs = 0;
  int passes = 0;
  std::map<std::string, int> failures;  // the result text of each failed or canceled run
  double yieldPercent() const { return runs == 0 ? 0.0 : 100.0 * passes / runs; }
};

struct RunStatsFilter {
  std::optional<std::string> since;    // "YYYY-MM-DD": lines of that day and later
  std::optional<std::string> station;  // one station's lines only
};

struct RunStats {
  std::vector<ProgrammerStats> programmers;  // in the order first seen
  int runs = 0;
  int passes = 0;
  double yieldPercent() const { return runs == 0 ? 0.0 : 100.0 * passes / runs; }
};

// The gang runs' lines among `records`, counted per programmer.
RunStats CountRuns(const std::vector<RunRecord>& records, const RunStatsFilter& filter);

// The counts as one self-contained HTML page: the filter, a bar chart of the yield per
// programmer (inline SVG) and the table the command line prints. `generated` is the time
// the page says it was made.
std::string RunStatsHtml(const RunStats& stats, const RunStatsFilter& filter, const std::string& generated);

// A --since value: a date "YYYY-MM-DD". Empty when fine, else the usage error.
std::string SinceDateError(const std::string& value);

}  // namespace fd
