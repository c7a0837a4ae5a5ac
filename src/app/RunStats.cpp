#include "app/RunStats.h"

#include <cctype>
#include <cstdio>

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

namespace {

// Text for HTML: the five characters with a meaning of their own escaped. The run log's
// texts are UTF-8 (a programmer's bytes as Latin-1), and the page says so.
std::string Html(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// Who a programmer is on the page: its row, and its USB serial number or port where known.
std::string Label(const ProgrammerStats& p) {
  if (!p.usbSerial.empty()) return p.sn + " (" + p.usbSerial + ")";
  if (!p.port.empty()) return p.sn + " (" + p.port + ")";
  return p.sn;
}

}  // namespace

std::string RunStatsHtml(const RunStats& stats, const RunStatsFilter& filter, const std::string& generated) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>Flashdock yield report</title>\n<style>\n"
      "body{font-family:sans-serif;margin:2em;color:#222}\n"
      "table{border-collapse:collapse}th,td{border:1px solid #bbb;padding:4px 8px;text-align:left}\n"
      "td.n{text-align:right}\n</style>\n</head>\n<body>\n<h1>Yield per programmer</h1>\n";
  page += "<p>Gang runs of the run log";
  if (filter.station) page += " of station " + Html(*filter.station);
  if (filter.since) page += " since " + Html(*filter.since);
  page += ". Made " + Html(generated) + ".</p>\n";
  page += "<p>Total: " + std::to_string(stats.runs) + " runs, " + std::to_string(stats.passes) + " passed, " +
          std::to_string(stats.runs - stats.passes) + " failed, yield " + OneDecimal(stats.yieldPercent()) + "%.</p>\n";
  if (stats.programmers.empty()) return page + "<p>No gang run is counted.</p>\n</body>\n</html>\n";

  // The chart: one bar a programmer, 0 to 100 % across 400 units, its label to the left.
  constexpr int kLabelWidth = 200, kBarWidth = 400, kRow = 28;
  const int height = kRow * static_cast<int>(stats.programmers.size()) + 30;
  page += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kLabelWidth + kBarWidth + 80) +
          "\" height=\"" + std::to_string(height) + "\" role=\"img\" aria-label=\"Yield per programmer\">\n";
  int y = 10;
  for (const ProgrammerStats& p : stats.programmers) {
    const double yield = p.yieldPercent();
    const int width = static_cast<int>(yield / 100.0 * kBarWidth + 0.5);
    const char* colour = yield >= 99.95 ? "#2e7d32" : yield >= 90.0 ? "#f9a825" : "#c62828";
    page += "<text x=\"" + std::to_string(kLabelWidth - 8) + "\" y=\"" + std::to_string(y + 17) +
            "\" text-anchor=\"end\" font-size=\"13\">" + Html(Label(p)) + "</text>\n";
    page += "<rect x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
            std::to_string(kBarWidth) + "\" height=\"22\" fill=\"#eee\"/>\n";
    page += "<rect x=\"" + std::to_string(kLabelWidth) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
            std::to_string(width) + "\" height=\"22\" fill=\"" + colour + "\"><title>" + Html(Label(p)) + ": " +
            OneDecimal(yield) + "%</title></rect>\n";
    page += "<text x=\"" + std::to_string(kLabelWidth + kBarWidth + 6) + "\" y=\"" + std::to_string(y + 17) +
            "\" font-size=\"13\">" + OneDecimal(yield) + "%</text>\n";
    y += kRow;
  }
  page += "</svg>\n";

  page += "<table>\n<tr><th>SN</th><th>Port</th><th>USB port</th><th>USB serial</th><th>Runs</th><th>Passed</th>"
          "<th>Yield</th><th>Failures</th></tr>\n";
  for (const ProgrammerStats& p : stats.programmers) {
    std::string failures;
    for (const auto& [text, count] : p.failures) {
      failures += (failures.empty() ? "" : "<br>") + Html(text) + " &times;" + std::to_string(count);
    }
    page += "<tr><td>" + Html(p.sn) + "</td><td>" + Html(p.port) + "</td><td>" + Html(p.usbPath) + "</td><td>" +
            Html(p.usbSerial) + "</td><td class=\"n\">" + std::to_string(p.runs) + "</td><td class=\"n\">" +
            std::to_string(p.passes) + "</td><td class=\"n\">" + OneDecimal(p.yieldPercent()) + "%</td><td>" +
            failures + "</td></tr>\n";
  }
  return page + "</table>\n</body>\n</html>\n";
}

}  // namespace fd
