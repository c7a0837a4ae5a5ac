#include "app/SettingsFile.h"

// Plain single-byte text: no character conversion, the templates compiled here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

#include "app/FileWrite.h"

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

// ---- file access -------------------------------------------------------------------

// Regular files only: a FIFO or device in the settings file's place must not hang or
// feed the program.
bool ReadRegularFile(const std::string& path, std::string& content) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  content.clear();
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool OpenableForReadWrite(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void SyncFolder(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Replacing a link would cut it off from the file it points to: work on the file itself.
std::string ResolvedPath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
  return ec || resolved.empty() ? path : resolved.string();
}

// The new content goes to a temp file beside the target, which then takes the target's
// place in one rename: a crash leaves either the old file or the new one, never a mix.
// `old` (when the file existed) supplies the permissions and owner to keep.
enum class ReplaceResult { Done, NoTempFile, Failed };

ReplaceResult ReplaceAtomically(const std::string& target, std::string_view content,
                                const struct stat* old) {
  static std::atomic<unsigned> serial{0};
  const std::filesystem::path targetPath(target);
  std::string dir = targetPath.parent_path().string();
  if (dir.empty()) dir = ".";
  const std::string stem = dir + "/." + targetPath.filename().string() + ".tmp" +
                           std::to_string(::getpid()) + ".";
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = stem + std::to_string(serial++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return ReplaceResult::NoTempFile;

  bool ok = WriteAll(fd, content);
  if (ok && old) {
    // Only root can hand the file back to its owner; anyone else owns it already, so a
    // refusal changes nothing.
    [[maybe_unused]] const int owned = ::fchown(fd, old->st_uid, old->st_gid);
    ok = ::fchmod(fd, old->st_mode & 07777) == 0;
  }
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return ReplaceResult::Failed;
  }
  SyncFolder(dir);
  return ReplaceResult::Done;
}

// A writable file in a folder that refuses new files: the only way left to store the
// setting is to rewrite the file where it is.
bool RewriteInPlace(const std::string& target, std::string_view content) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 &&
            ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  return ok;
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
  if (!ReadRegularFile(path_, content)) return "";
  Ini ini(false, false, false);
  if (ini.LoadData(content) < 0) return "";
  const char* value = ini.GetValue(section.c_str(), key.c_str(), nullptr);
  if (!value) return "";
  std::string result(value);
  if (result.size() > kSettingsValueMax) result.resize(kSettingsValueMax);
  return result;
}

bool SettingsFile::write(const std::string& section, const std::string& key, const std::string& value) {
  if (!ValidSection(section) || !ValidKey(key) || HasLineBreakOrNul(value)) return false;
  const std::string sectionName(Trim(section));
  const std::string keyName(Trim(key));

  const std::string target = ResolvedPath(path_);
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  std::string old;
  if (existed) {
    // A read-only settings file is the user's way of keeping it as it is: the rename
    // below could replace it anyway, so refuse here, as an in-place write would.
    if (!S_ISREG(st.st_mode) || !OpenableForReadWrite(target) || !ReadRegularFile(target, old)) {
      return false;
    }
  } else if (errno != ENOENT) {
    return false;
  }

  std::string updated;
  if (!EditContent(old, sectionName, keyName, value, updated)) return false;
  if (existed && updated == old) return true;

  switch (ReplaceAtomically(target, updated, existed ? &st : nullptr)) {
    case ReplaceResult::Done:
      return true;
    case ReplaceResult::NoTempFile:
      return existed && RewriteInPlace(target, updated);
    case ReplaceResult::Failed:
      break;
  }
  return false;
}

bool SettingsFile::exists() const {
  struct stat st {};
  return ::stat(path_.c_str(), &st) == 0;
}

bool SettingsFile::openableForWrite() const { return OpenableForReadWrite(path_); }

bool AutoSaveLog(const SettingsFile& settings) { return settings.read(kSectionLog, kKeyAutoSaveLog) == "1"; }

bool AutoSaveId(const SettingsFile& settings) { return settings.read(kSectionLog, kKeyAutoSaveId) == "1"; }

}  // namespace fd
