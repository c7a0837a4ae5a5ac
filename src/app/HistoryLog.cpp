#include "app/HistoryLog.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <utility>

#include "formats/FileLock.h"
#include "link/ProgrammerErrors.h"
#include "link/ProgrammerInfo.h"

namespace fd {
namespace {

std::string Fixed(std::string_view text, std::size_t width) {
  std::string out = PrintableText(text.substr(0, std::min(text.size(), width)));
  out.resize(width, ' ');
  return out;
}

}  // namespace

LocalTime CurrentLocalTime() {
  const std::time_t now = std::time(nullptr);
  std::tm tm {};
  if (!localtime_r(&now, &tm)) return LocalTime{1970, 1, 1, 0, 0, 0};
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string HistoryDateLine(const LocalTime& t, std::string_view title) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "\n%04d-%02d-%02d, %02d:%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return std::string(buffer).append(title);
}

std::string GangResultText(std::uint8_t code) { return ProgrammerHistoryText(code); }

std::string GangRecordText(const LocalTime& t, const std::vector<GangLogRow>& rows) {
  std::string text = HistoryDateLine(t, kTitleGang);
  for (const GangLogRow& row : rows) {
    text += "\nNo." + PrintableText(row.sn);
    switch (row.kind) {
      case GangLogRow::Kind::NotTaking:
        text += " | N.A.";
        break;
      case GangLogRow::Kind::ResetError:
        text += "Reset error!!!";
        break;
      case GangLogRow::Kind::InfoError:
        text += "Can not get information!";
        break;
      case GangLogRow::Kind::FlashEmpty:
        text += "External flash is empty!";
        break;
      case GangLogRow::Kind::Done:
        text += " | " + PrintableText(row.mcuName) + " | " + PrintableText(row.fileName) + ".mot | " +
                GangResultText(row.resultCode);
        break;
    }
  }
  text += "\n";
  return text;
}

namespace {
HistoryFailureWatch* gHistoryWatch = nullptr;
}  // namespace

HistoryFailureWatch::HistoryFailureWatch(std::function<void(const std::string& error)> failed)
    : failed_(std::move(failed)), previous_(gHistoryWatch) {
  gHistoryWatch = this;
}

HistoryFailureWatch::~HistoryFailureWatch() { gHistoryWatch = previous_; }

void HistoryFailureWatch::tell(const std::string& error) {
  if (gHistoryWatch != nullptr && gHistoryWatch->failed_) gHistoryWatch->failed_(error);
}

HistoryLog::HistoryLog(std::string path) : path_(std::move(path)) {}

const std::string& HistoryLog::path() const { return path_; }

FileResult HistoryLog::append(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size() + 16);
  for (const char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return AppendLogRecord(path_, bytes, false);
}

FileResult AppendLogRecord(const std::string& path, std::string_view bytes, bool create) {
  // One record, one holder: the appends of other copies of the program come before or
  // after it, never inside.
  FileLock lock;
  std::string error;
  FileResult written;
  if (!lock.acquire(path, FileLock::Place::kAppFolder, error)) {
    written = {false, error};
  } else {
    if (create) FileIo::createIfMissing(path);
    written = FileIo::append(path, bytes);
  }
  if (!written) HistoryFailureWatch::tell(written.error);
  return written;
}

SingleOperationLog::SingleOperationLog(SettingsFile& settings, HistoryLog& log)
    : settings_(settings), log_(log) {}

void SingleOperationLog::reset() { logStarted_ = false; }

bool SingleOperationLog::logStarted() const { return logStarted_; }

FileResult SingleOperationLog::recordSuccess(const LocalTime& t, std::string_view title,
                                             std::string_view currentSn, std::string_view productName,
                                             std::string_view fileTitle, std::string_view successText,
                                             std::string_view idText) {
  if (!AutoSaveLog(settings_)) return {};

  // The date line and the window's first entry go in as one append: another process's
  // record can never land between them.
  std::string entry;
  if (!logStarted_) entry += HistoryDateLine(t, title) + "\n";
  entry += "No." + PrintableText(currentSn);
  entry += " | " + Fixed(productName, 12);
  entry += " | " + Fixed(fileTitle, 16) + ".mot";
  entry += " | " + std::string(successText);
  if (AutoSaveId(settings_)) entry += " | ID code: " + PrintableText(idText);
  entry += "\n";
  const FileResult written = log_.append(entry);
  if (written) logStarted_ = true;
  return written;
}

}  // namespace fd
