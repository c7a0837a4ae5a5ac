#include "app/RunLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/AppState.h"
#include "app/HistoryLog.h"

namespace fd {
namespace {

// A programmer's single bytes as the characters they are in Latin-1.
std::string Latin1(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

// Back from Latin-1 to the programmer's bytes; nothing when a character is beyond it.
std::optional<std::string> FromLatin1(const std::string& text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < text.size()) {
      bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F));
    } else {
      return std::nullopt;
    }
  }
  return bytes;
}

}  // namespace

const char* ProgramVersion() { return FLASHDOCK_VERSION; }

std::string IsoLocalTime() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&t, &local);
  char date[32];
  char zone[8];
  std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
  std::strftime(zone, sizeof zone, "%z", &local);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03d", static_cast<int>(ms));
  // "+0100" becomes "+01:00", as ISO 8601's extended form writes it.
  const std::string z = zone;
  return std::string(date) + millis + (z.size() == 5 ? z.substr(0, 3) + ":" + z.substr(3) : z);
}

std::string RunRecordLine(const RunRecord& r) {
  nlohmann::ordered_json j;
  j["time"] = r.time;
  j["station"] = r.station;
  j["operation"] = r.operation;
  j["sn"] = r.sn;
  j["port"] = r.port;
  j["usbPath"] = r.usbPath;
  j["usbSerial"] = r.usbSerial;
  j["product"] = Latin1(r.product);
  j["file"] = Latin1(r.file);
  j["stamp"] = r.stamp;
  j["sha256"] = r.sha256;
  j["result"] = r.result;
  j["code"] = r.code ? nlohmann::ordered_json(*r.code) : nlohmann::ordered_json(nullptr);
  j["text"] = r.text;
  j["durationMs"] = r.durationMs;
  j["version"] = r.version;
  return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::optional<RunRecord> ParseRunRecordLine(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (j.is_discarded() || !j.is_object()) return std::nullopt;
  RunRecord r;
  const auto text = [&j](const char* key, std::string& out) {
    const auto at = j.find(key);
    if (at == j.end() || !at->is_string()) return false;
    out = at->get<std::string>();
    return true;
  };
  // The keys a reader relies on must be there; the others may be empty.
  if (!text("time", r.time) || !text("operation", r.operation) || !text("sn", r.sn) || !text("result", r.result)) {
    return std::nullopt;
  }
  text("station", r.station);
  text("port", r.port);
  text("usbPath", r.usbPath);
  text("usbSerial", r.usbSerial);
  std::string product, file;
  text("product", product);
  text("file", file);
  r.product = FromLatin1(product).value_or(product);
  r.file = FromLatin1(file).value_or(file);
  text("stamp", r.stamp);
  text("sha256", r.sha256);
  text("text", r.text);
  text("version", r.version);
  if (const auto code = j.find("code"); code != j.end() && code->is_number_integer()) r.code = code->get<int>();
  if (const auto ms = j.find("durationMs"); ms != j.end() && ms->is_number_unsigned()) {
    r.durationMs = ms->get<std::uint64_t>();
  }
  return r;
}

std::string StationNameError(const std::string& name) {
  const std::string wrong = "--station takes a name of 1 to 64 printable characters, not \"" + name + "\"";
  if (name.empty() || name.size() > 64 || name.find_first_not_of(' ') == std::string::npos) return wrong;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return wrong;
  }
  return {};
}

bool RunLogEnabled(const SettingsFile& settings) { return settings.read(kSectionRunLog, kKeySaveRunLog) != "0"; }

std::string StationName(const SettingsFile& settings) {
  const std::string kept = settings.read(kSectionRunLog, kKeyStation);
  if (!kept.empty()) return kept;
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

std::vector<RunRecord> LastGangRun(const std::vector<RunRecord>& records, const std::string& station) {
  std::vector<RunRecord> run;
  std::size_t end = records.size();
  while (end > 0 && !(records[end - 1].operation == "gang" && records[end - 1].station == station)) --end;
  if (end == 0) return run;
  const std::string& time = records[end - 1].time;
  for (std::size_t i = end; i > 0; --i) {
    const RunRecord& r = records[i - 1];
    const bool sameRun = r.operation == "gang" && r.station == station && r.time == time &&
                         std::none_of(run.begin(), run.end(), [&r](const RunRecord& seen) { return seen.sn == r.sn; });
    if (!sameRun) break;
    run.insert(run.begin(), r);
  }
  return run;
}

bool SameProgrammer(const RunRecord& record, const RunPortIdentity& where, const std::string& sn) {
  if (!record.usbSerial.empty()) return record.usbSerial == where.usbSerial;
  if (!record.usbPath.empty()) return record.usbPath == where.usbPath;
  return record.sn == sn;
}

RunLog::RunLog(std::string path) : path_(std::move(path)) {}

FileResult RunLog::append(const std::vector<RunRecord>& records) {
  if (records.empty()) return {};
  std::string lines;
  for (const RunRecord& record : records) lines += RunRecordLine(record);
  return AppendLogRecord(path_, lines, true);
}

RunLog::Read RunLog::read() const {
  Read result;
  std::string bytes;
  if (!FileIo::readAll(path_, bytes)) return result;
  result.found = true;
  std::size_t number = 0;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = bytes.find('\n', at);
    const std::string_view line(bytes.data() + at, (end == std::string::npos ? bytes.size() : end) - at);
    at = end == std::string::npos ? bytes.size() : end + 1;
    ++number;
    if (line.empty() || line == "\r") continue;
    if (std::optional<RunRecord> record = ParseRunRecordLine(line)) {
      result.records.push_back(std::move(*record));
    } else {
      result.skippedLines.push_back(number);
    }
  }
  return result;
}

RunLogLoads::RunLogLoads(std::string path) : path_(std::move(path)) {}

const std::vector<RunRecord>& RunLogLoads::refresh() {
  struct stat st {};
  const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (fd >= 0) ::close(fd);
    loads_.clear();
    parsed_ = 0;
    return loads_;
  }
  const auto size = static_cast<std::uint64_t>(st.st_size);
  std::string head(head_.size(), '\0');
  const bool sameHead = head_.empty() || ::pread(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size());
  if (static_cast<std::uint64_t>(st.st_dev) != device_ || static_cast<std::uint64_t>(st.st_ino) != inode_ ||
      size < parsed_ || !sameHead || head != head_) {
    device_ = static_cast<std::uint64_t>(st.st_dev);
    inode_ = static_cast<std::uint64_t>(st.st_ino);
    loads_.clear();
    parsed_ = 0;
    head_.clear();
  }
  std::string bytes;
  constexpr std::size_t kChunk = 1 << 20;
  std::vector<char> chunk(kChunk);
  std::uint64_t at = parsed_;
  for (;;) {
    const ssize_t n = ::pread(fd, chunk.data(), chunk.size(), static_cast<off_t>(at));
    if (n <= 0) break;
    at += static_cast<std::uint64_t>(n);
    bytes.append(chunk.data(), static_cast<std::size_t>(n));
    // Whole lines only: a line being appended right now is read at the next refresh.
    const std::size_t lastEnd = bytes.rfind('\n');
    if (lastEnd == std::string::npos) continue;
    for (std::size_t from = 0; from <= lastEnd;) {
      const std::size_t end = bytes.find('\n', from);
      const std::string_view line(bytes.data() + from, end - from);
      from = end + 1;
      if (line.find("\"load\"") == std::string_view::npos) continue;
      if (std::optional<RunRecord> record = ParseRunRecordLine(line); record && record->operation == "load") {
        loads_.push_back(std::move(*record));
      }
    }
    if (parsed_ == 0) head_ = bytes.substr(0, std::min<std::size_t>(lastEnd + 1, 256));
    parsed_ += lastEnd + 1;
    bytes.erase(0, lastEnd + 1);
  }
  ::close(fd);
  return loads_;
}

RunLogWriter::RunLogWriter(std::string appDir, Identify identify)
    : appDir_(std::move(appDir)), identify_(std::move(identify)) {}

RunPortIdentity RunLogWriter::where(BridgeHandle handle) const {
  if (!identify_ || handle == kNoHandle) return {};
  return identify_(handle);
}

FileResult RunLogWriter::write(std::vector<Entry> entries) {
  const SettingsFile settings(appDir_ + kSettingsFileName);
  if (entries.empty() || !RunLogEnabled(settings)) return {};
  const std::string time = IsoLocalTime();
  const std::string station = StationName(settings);
  std::vector<RunRecord> records;
  records.reserve(entries.size());
  for (Entry& entry : entries) {
    RunRecord& record = entry.record;
    record.time = time;
    record.station = station;
    record.version = ProgramVersion();
    if (record.port.empty() && record.usbPath.empty() && record.usbSerial.empty()) {
      const RunPortIdentity at = where(entry.handle);
      record.port = at.port;
      record.usbPath = at.usbPath;
      record.usbSerial = at.usbSerial;
    }
    records.push_back(std::move(record));
  }
  const FileResult written = RunLog(appDir_ + kRunLogFileName).append(records);
  if (!written && !lostTold_ && lost_) {
    lostTold_ = true;
    lost_(written.error);
  }
  return written;
}

}  // namespace fd
