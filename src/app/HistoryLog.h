#pragma once
// The history log: a text file the program only ever appends to. The record texts are
// built here, with "\n" for a line end; append() writes each "\n" as CR LF on every system.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsFile.h"
#include "formats/FileIo.h"

namespace fd {

struct LocalTime {
  int year, month, day, hour, minute, second;
};
LocalTime CurrentLocalTime();

inline constexpr const char* kTitleGang = "  Operation: On-line E.P.V";
inline constexpr const char* kTitleOnlineProgram = "  Operation: On-line Program";
inline constexpr const char* kTitleOfflineLoad = "  Operation: Off-line Load";

inline constexpr const char* kProgramSuccessText = "Program successfully";
inline constexpr const char* kLoadSuccessText = "Load successfully";

// "\nYYYY-MM-DD, hh:mm:ss" followed at once by the title.
std::string HistoryDateLine(const LocalTime& t, std::string_view title);

// The gang record's text for a programmer's result code ("Unknown error!" for codes
// without a text of their own).
std::string GangResultText(std::uint8_t code);

// One row of the gang record, as the gang flow found it when Back was pressed.
struct GangLogRow {
  enum class Kind { NotTaking, ResetError, InfoError, FlashEmpty, Done };
  std::string sn;             // "01".."08"
  Kind kind = Kind::NotTaking;
  std::string mcuName;        // first 12 chars of the name text
  std::string fileName;       // the next up to 16 chars
  std::uint8_t resultCode = 0xFF;
};

// The whole gang record: date line, one line per row in the order given, the final "\n".
// Control characters in the names (bytes from a programmer's store) show as '?', so a
// stray line break can never split or forge a line of the log.
std::string GangRecordText(const LocalTime& t, const std::vector<GangLogRow>& rows);

class HistoryLog {
public:
  explicit HistoryLog(std::string path);
  const std::string& path() const;

  // Appends text to the existing file (never creates it) with every "\n" written as CR LF,
  // as one record: whole or not at all (FileIo::append). Not ok, with nothing written and a
  // sentence naming the file, when it is missing, not a plain file, read-only, or the write
  // fails (disk full). The system's windows skip the record without a message; a front end
  // may tell the user. The append holds the application folder's lock
  // (FileLock::Place::kAppFolder), so records of programs writing at once never mix; when
  // another process holds it past the wait, the record is not written and the result names
  // that process.
  FileResult append(std::string_view text);

private:
  std::string path_;
};

// While it lives, every record HistoryLog::append() could not write is told to `failed`
// with the sentence that says why, whoever appended it: the command line reports every
// command's lost records by one rule. Watches nest; the innermost one is told.
// Appends `bytes` to the log at `path` as one record under the application folder's lock
// (creating the file first when `create`), and tells a record that was not written to the
// innermost HistoryFailureWatch. The history log and the logs kept beside it append so.
FileResult AppendLogRecord(const std::string& path, std::string_view bytes, bool create);

class HistoryFailureWatch {
public:
  // Tells the innermost watch (if any) that a record was lost, with the sentence why: the
  // history log's appends do, and so do the other logs kept beside it.
  static void tell(const std::string& error);

  explicit HistoryFailureWatch(std::function<void(const std::string& error)> failed);
  ~HistoryFailureWatch();
  HistoryFailureWatch(const HistoryFailureWatch&) = delete;
  HistoryFailureWatch& operator=(const HistoryFailureWatch&) = delete;

private:
  friend class HistoryLog;
  std::function<void(const std::string&)> failed_;
  HistoryFailureWatch* previous_;
};

// The Single Operation window's log entries: one date line per opening of the window,
// then one line per successful operation, while "Auto save log" reads "1" (checked from
// the file at every operation).
class SingleOperationLog {
public:
  SingleOperationLog(SettingsFile& settings, HistoryLog& log);

  void reset();  // the window opened: logStarted = 0

  // After each successful operation. `title` is kTitleOnlineProgram or kTitleOfflineLoad,
  // `successText` kProgramSuccessText or kLoadSuccessText; `idText` the ID code text found
  // in the transferred file (may be empty), written only while "Auto save ID" reads "1".
  // The product name is padded or cut to 12 characters, the file title to 16. The date line
  // and the first entry after it are one append, so no other program's record can come
  // between them. When the log cannot be written, logStarted stays 0 so the next entry
  // still gets its date line; the result tells why (ok when nothing was to be written).
  FileResult recordSuccess(const LocalTime& t, std::string_view title, std::string_view currentSn,
                           std::string_view productName, std::string_view fileTitle,
                           std::string_view successText, std::string_view idText);

  bool logStarted() const;

private:
  SettingsFile& settings_;
  HistoryLog& log_;
  bool logStarted_ = false;
};

}  // namespace fd
