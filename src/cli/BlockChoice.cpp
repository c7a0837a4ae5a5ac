#include "cli/BlockChoice.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

namespace fd {

namespace {

std::vector<std::string> Entries(const std::string& value) {
  std::vector<std::string> entries;
  std::stringstream in(value + ",");
  for (std::string entry; std::getline(in, entry, ',');) entries.push_back(entry);
  return entries;
}

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// "Block A" is A, "Block 12" is 12.
std::string ShortName(const BlockListRow& row) {
  const std::string& name = row.block.name;
  const std::string prefix = "Block ";
  return name.rfind(prefix, 0) == 0 ? name.substr(prefix.size()) : name;
}

}  // namespace

std::string BlockListError(const std::string& value) {
  for (const std::string& entry : Entries(value)) {
    if (entry.empty() || entry.find(' ') != std::string::npos) {
      return "--blocks takes block names separated by commas, e.g. A,0,3, not \"" + value + "\"";
    }
  }
  return {};
}

std::optional<std::vector<int>> ChosenRows(const std::vector<BlockListRow>& rows, const std::string& value,
                                           std::string& error) {
  std::set<int> chosen;
  for (const std::string& entry : Entries(value)) {
    const auto found = std::find_if(rows.begin(), rows.end(),
                                    [&](const BlockListRow& row) { return Upper(ShortName(row)) == Upper(entry); });
    if (found == rows.end()) {
      std::string known;
      for (const BlockListRow& row : rows) known += (known.empty() ? "" : ",") + ShortName(row);
      error = "--blocks: the product has no block \"" + entry + "\" (its blocks: " +
              (known.empty() ? std::string("none") : known) + ")";
      return std::nullopt;
    }
    chosen.insert(static_cast<int>(found - rows.begin()));
  }
  return std::vector<int>(chosen.begin(), chosen.end());
}

}  // namespace fd
