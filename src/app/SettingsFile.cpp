#include "app/SettingsFile.h"

// Plain single-byte text: no character conversion, the templates compiled here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/FileIo.h"
#include "formats/FileLock.h"
#include "link/ProgrammerInfo.h"

namespace fd {
namespace {

// The case-insensitive flavour: "[log information]" is the same section as "[Log information]".
using Ini = CSimpleIniA;

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kNewFileLineEnd = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool HasLineBreakOrNul(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A name must survive a round trip through one line of the file.
bool ValidSection(std::string_view s) {
  return !Trim(s).empty() && !HasLineBreakOrNul(s) && s.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view s) {
  const std::string_view t = Trim(s);
  return !t.empty() && !HasLineBreakOrNul(s) && s.find('=') == std::string_view::npos &&
         t.front() != '[' && t.front() != ';' && t.front() != '#';
}

// ---- line editing ------------------------------------------------------------------
// The file is changed line by line so that everything the reader does not care about
// (comments, blank lines, foreign lines, spacing, line ends) stays as it was. The lines
// are classified exactly as the INI reader does.

struct Line {
  enum class Kind { Blank, Comment, Section, BrokenSection, Entry, Other };
  Kind kind = Kind::Other;
  std::size_t end = 0;         // end of the text, where the line end begins
  std::size_t next = 0;        // start of the next line
  std::string_view name;       // section name or key
  std::size_t valueBegin = 0;  // entries: first character of the value
};

Line ClassifyLine(std::string_view text, std::size_t begin, std::size_t end) {
  Line line;
  line.end = end;
  std::size_t p = begin;
  while (p < end && IsBlank(text[p])) ++p;
  if (p == end) {
    line.kind = Line::Kind::Blank;
    return line;
  }
  const char first = text[p];
  if (first == ';' || first == '#') {
    line.kind = Line::Kind::Comment;
    return line;
  }
  if (first == '[') {
    std::size_t q = p + 1;
    while (q < end && IsBlank(text[q])) ++q;
    const std::size_t close = text.substr(0, end).find(']', q);
    if (close == std::string_view::npos) {
      line.kind = Line::Kind::BrokenSection;
      return line;
    }
    line.kind = Line::Kind::Section;
    line.name = Trim(text.substr(q, close - q));
    return line;
  }
  const std::size_t eq = text.substr(0, end).find('=', p);
  if (eq == std::string_view::npos || eq == p) {
    line.kind = Line::Kind::Other;
    return line;
  }
  line.kind = Line::Kind::Entry;
  line.name = Trim(text.substr(p, eq - p));
  std::size_t v = eq + 1;
  while (v < end && IsBlank(text[v])) ++v;
  line.valueBegin = v;
  return line;
}

// Lines end in CR LF, LF or a lone CR, as the reader takes them.
std::vector<Line> SplitLines(std::string_view text, std::size_t start) {
  std::vector<Line> lines;
  std::size_t pos = start;
  while (pos < text.size()) {
    std::size_t end = pos;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
    std::size_t next = end;
    if (next < text.size()) {
      next += text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n' ? 2 : 1;
    }
    Line line = ClassifyLine(text, pos, end);
    line.next = next;
    lines.push_back(line);
    pos = next;
  }
  return lines;
}

std::string_view LineEndOf(std::string_view text) {
  const std::size_t p = text.find_first_of("\r\n");
  if (p == std::string_view::npos) return kNewFileLineEnd;
  if (text[p] == '\n') return "\n";
  return p + 1 < text.size() && text[p + 1] == '\n' ? std::string_view("\r\n") : std::string_view("\r");
}

using Entries = std::map<std::pair<std::string, std::string>, std::string>;

bool LoadEntries(const std::string& content, Entries& entries) {
  Ini ini(false, false, false);
  if (ini.LoadData(content) < 0) return false;
  Ini::TNamesDepend sections;
  ini.GetAllSections(sections);
  for (const auto& section : sections) {
    Ini::TNamesDepend keys;
    ini.GetAllKeys(section.pItem, keys);
    for (const auto& key : keys) {
      const char* value = ini.GetValue(section.pItem, key.pItem, "");
      entries[{Lowered(section.pItem), Lowered(key.pItem)}] = value ? value : "";
    }
  }
  return true;
}

// The new file content with the key set; false when the edit would not read back as
// exactly that one change (a safety net: the edit follows the reader's own rules).
bool EditContent(const std::string& old, std::string_view section, std::string_view key,
                 std::string_view value, std::string& out) {
  const std::size_t start = std::string_view(old).starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0;
  // The reader stops at a zero byte; whatever follows is kept but never parsed.
  const std::size_t regionEnd = std::min(old.find('\0'), old.size());
  const std::string_view region(old.data(), regionEnd);
  const std::vector<Line> lines = SplitLines(region, start);
  const std::string_view lineEnd = LineEndOf(region.substr(start));

  std::vector<const Line*> hits;      // every line holding the key, in any block of the section
  const Line* anchor = nullptr;       // last line of the section's first block
  bool inSection = false;
  bool inFirstBlock = false;
  for (const Line& line : lines) {
    switch (line.kind) {
      case Line::Kind::Section: {
        const bool match = SameName(line.name, section);
        inFirstBlock = match && anchor == nullptr;
        if (inFirstBlock) anchor = &line;
        inSection = match;
        break;
      }
      case Line::Kind::BrokenSection:
        inSection = false;
        inFirstBlock = false;
        break;
      case Line::Kind::Entry:
        if (inSection && SameName(line.name, key)) hits.push_back(&line);
        if (inFirstBlock) anchor = &line;
        break;
      default:
        break;
    }
  }

  out = old;
  const std::string entry = std::string(key) + "=" + std::string(value);
  if (!hits.empty()) {
    // Duplicates all take the value, so no reader can pick a stale one.
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
      out.replace((*it)->valueBegin, (*it)->end - (*it)->valueBegin, value);
    }
  } else if (anchor) {
    if (anchor->next == anchor->end) {
      out.insert(anchor->end, std::string(lineEnd) + entry);
    } else {
      out.insert(anchor->next, entry + std::string(lineEnd));
    }
  } else {
    std::string block = "[" + std::string(section) + "]" + std::string(lineEnd) + entry + std::string(lineEnd);
    if (regionEnd > start && region.back() != '\n' && region.back() != '\r') {
      block.insert(0, lineEnd);
    }
    out.insert(regionEnd, block);
  }

  Entries before;
  Entries after;
  if (!LoadEntries(old, before) || !LoadEntries(out, after)) return false;
  before[{Lowered(section), Lowered(key)}] = std::string(Trim(value));
  return before == after;
}

}  // namespace

SettingsFile::SettingsFile(std::string path) : path_(std::move(path)) {}

const std::string& SettingsFile::path() const { return path_; }

std::string SettingsFile::read(const std::string& section, const std::string& key) const {
  std::string content;
  if (!FileIo::readAll(path_, content)) return "";
  Ini ini(false, false, false);
  if (ini.LoadData(content) < 0) return "";
  const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (!value) return "";
  std::string result(value);
  if (result.size() > kSettingsValueMax) result.resize(kSettingsValueMax);
  return result;
}

bool SettingsFile::write(const std::string& section, const std::string& key, const std::string& value) {
  return change(section, {{key, value}}, false);
}

bool SettingsFile::writeMany(const std::string& section,
                             const std::vector<std::pair<std::string, std::string>>& values) {
  return change(section, values, false);
}

bool SettingsFile::writeDefault(const std::string& section, const std::string& key, const std::string& value) {
  return change(section, {{key, value}}, true);
}

bool SettingsFile::change(const std::string& section,
                          const std::vector<std::pair<std::string, std::string>>& values, bool onlyWhenEmpty) {
  lastError_.clear();
  for (const auto& [key, value] : values) {
    if (!ValidSection(section) || !ValidKey(key) || HasLineBreakOrNul(value)) {
      lastError_ = "The setting \"" + PrintableText(key) + "\" cannot be stored on one line of the settings file \"" +
                   path_ + "\".";
      return false;
    }
  }
  const std::string sectionName(Trim(section));

  // Read, change and replace as one step against every other copy of the program: two
  // changes made at once both stay.
  FileLock lock;
  if (!lock.acquire(path_, FileLock::Place::kAppFolder, lastError_)) return false;
  if (onlyWhenEmpty && values.size() == 1 && !read(section, values.front().first).empty()) return true;

  std::string old;
  const FileResult loaded = FileIo::readAll(path_, old);
  const bool existed = loaded.ok;
  if (!existed) {
    // Nothing there is a new file; anything else that cannot be read cannot be edited.
    std::error_code ec;
    if (std::filesystem::status(path_, ec).type() != std::filesystem::file_type::not_found) {
      lastError_ = loaded.error;
      return false;
    }
  }

  std::string updated = old;
  for (const auto& [key, value] : values) {
    const std::string keyName(Trim(key));
    std::string next;
    if (!EditContent(updated, sectionName, keyName, value, next)) {
      lastError_ = "The setting \"" + keyName + "\" cannot be stored in the settings file \"" + path_ +
                   "\" without changing other lines.";
      return false;
    }
    updated = std::move(next);
  }
  // Nothing to change: no new file, but a file that could not be written still says so.
  const FileResult stored = existed && updated == old ? FileIo::append(path_, {}) : FileIo::replace(path_, updated);
  if (!stored) lastError_ = stored.error;
  return stored.ok;
}

const std::string& SettingsFile::lastError() const { return lastError_; }

bool SettingsFile::exists() const {
  std::error_code ec;
  return std::filesystem::exists(path_, ec);
}

bool SettingsFile::openableForWrite() const {
  std::string ignored;
  return FileIo::readAll(path_, ignored) && FileIo::append(path_, {});
}

bool AutoSaveLog(const SettingsFile& settings) { return settings.read(kSectionLog, kKeyAutoSaveLog) == "1"; }

bool AutoSaveId(const SettingsFile& settings) { return settings.read(kSectionLog, kKeyAutoSaveId) == "1"; }

bool OperatorModeSetting(const SettingsFile& settings) {
  return settings.read(kSectionMainWindow, kKeyOperatorMode) == "1";
}

}  // namespace fd
