#include "app/RunStats.h"

#include <cctype>

namespace fd {

std::string SinceDateError(const std::string& value) {
  const std::string wrong = "--since takes a date as YYYY-MM-DD, e.g. 2026-12-01, not \"" + value + "\"";
  if (value.size() != 10 || value[4] != '-' || value[7] != '-') return wrong;
  for (const std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (!std::isdigit(static_cast<unsigned char>(value[i]))) return wrong;
  }
  const int month = std::stoi(value.substr(5, 2));
  const int day = std::stoi(value.substr(8, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) return wrong;
  return {};
}

RunStats CountRuns(const std::vector<RunRecord>& records, const RunStatsFilter& filter) {
  RunStats stats;
  std::map<std::string, std::size_t> byKey;
  for (const RunRecord& r : records) {
    if (r.operation != "gang") continue;
    if (filter.station && r.station != *filter.station) continue;
    // ISO 8601 times of one zone sort as text; the date is their first ten characters.
    if (filter.since && r.time.substr(0, 10) < *filter.since) continue;
    const std::string key = !r.usbSerial.empty() ? "serial:" + r.usbSerial
                            : !r.usbPath.empty() ? "path:" + r.usbPath
                                                 : "sn:" + r.sn;
    auto [at, added] = byKey.emplace(key, stats.programmers.size());
    if (added) stats.programmers.emplace_back();
    ProgrammerStats& p = stats.programmers[at->second];
    p.sn = r.sn;
    p.port = r.port;
    p.usbPath = r.usbPath;
    p.usbSerial = r.usbSerial;
    ++p.runs;
    ++stats.runs;
    if (r.result == kRunOk) {
      ++p.passes;
      ++stats.passes;
    } else {
      ++p.failures[r.text.empty() ? r.result : r.text];
    }
  }
  return stats;
}

}  // namespace fd
