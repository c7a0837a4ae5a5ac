#include "app/SocketMap.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "link/ProgrammerLimit.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string CheckPaths(const std::vector<std::string>& paths) {
  if (paths.size() > static_cast<std::size_t>(kMaxProgrammers)) {
    return "A socket map holds at most " + std::to_string(kMaxProgrammers) + " rows.";
  }
  for (std::size_t r = 0; r < paths.size(); ++r) {
    const std::string row = SnText(static_cast<int>(r) + 1);
    if (!IsUsbPortPath(paths[r])) {
      return "Row " + row + " of the socket map is \"" + paths[r] + "\", not a USB port path such as 1-1.2.";
    }
    for (std::size_t o = 0; o < r; ++o) {
      if (paths[o] == paths[r]) {
        return "Rows " + SnText(static_cast<int>(o) + 1) + " and " + row + " of the socket map name the same USB port " +
               paths[r] + ".";
      }
    }
  }
  return {};
}

}  // namespace

bool IsUsbPortPath(const std::string& text) {
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos || !AllDigits(text.substr(0, dash))) return false;
  std::string rest = text.substr(dash + 1);
  for (std::size_t start = 0;;) {
    const std::size_t dot = rest.find('.', start);
    if (!AllDigits(rest.substr(start, dot == std::string::npos ? std::string::npos : dot - start))) return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

SocketMapRead ReadSocketMap(const SettingsFile& settings) {
  SocketMapRead map;
  std::vector<std::string> rows;
  for (int r = 1; r <= kMaxProgrammers; ++r) rows.push_back(settings.read(kSectionSockets, SnText(r)));
  while (!rows.empty() && rows.back().empty()) rows.pop_back();
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].empty()) {
      map.error = "Row " + SnText(static_cast<int>(r) + 1) + " of the socket map in " + settings.path() +
                  " is empty while a later row is not; save the map again with: flashdock-cli sockets --save";
      return map;
    }
  }
  map.error = CheckPaths(rows);
  if (!map.error.empty()) {
    map.error += " (in " + settings.path() + "; save the map again with: flashdock-cli sockets --save)";
    return map;
  }
  map.paths = std::move(rows);
  return map;
}

bool SaveSocketMap(SettingsFile& settings, const std::vector<std::string>& paths, std::string& error) {
  error = CheckPaths(paths);
  if (!error.empty()) return false;
  std::vector<std::pair<std::string, std::string>> values;
  for (int r = 1; r <= kMaxProgrammers; ++r) {
    const auto at = static_cast<std::size_t>(r - 1);
    values.emplace_back(SnText(r), at < paths.size() ? paths[at] : std::string());
  }
  if (settings.writeMany(kSectionSockets, values)) return true;
  error = settings.lastError();
  return false;
}

}  // namespace fd
