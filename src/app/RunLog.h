#pragma once
// The run log: one JSON line per programmer for every operation on it, for traceability
// systems and for the station's own counts. Beside the history log, whose layout it never
// touches; it has a setting of its own, on unless turned off, so traceability does not hang
// on an operator's answer to "Auto save log".
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/SettingsFile.h"
#include "formats/FileIo.h"
#include "link/Bridge.h"

namespace fd {

inline constexpr const char* kRunLogFileName = "ZK40 Family Flashdock Runs.jsonl";
inline constexpr const char* kSectionRunLog = "Run log";
inline constexpr const char* kKeySaveRunLog = "Save run log";  // "0": off; anything else: on
inline constexpr const char* kKeyStation = "Station";

// What a record's `result` says.
inline constexpr const char* kRunOk = "ok";
inline constexpr const char* kRunFailed = "failed";
inline constexpr const char* kRunCanceled = "canceled";

// Where a programmer is: its port, USB port path and USB serial number (empty on the
// simulated bench).
struct RunPortIdentity {
  std::string port, usbPath, usbSerial;
};

// This program's version, as the records carry it.
const char* ProgramVersion();

struct RunRecord {
  std::string time;       // ISO 8601 with the zone, e.g. "2026-12-10T22:15:03.250+01:00"
  std::string station;
  std::string operation;  // "gang", "load", "program", "erase", "read", "update-firmware"
  std::string sn;         // "01".."08"
  std::string port, usbPath, usbSerial;  // empty on the simulated bench
  std::string product;    // bytes as the programmer stores them (single bytes, Latin-1)
  std::string file;
  std::string stamp;      // the image's stamp (file time), where known
  std::string sha256;     // of the image this host sent or cached; empty when not known
  std::string result;     // kRunOk, kRunFailed or kRunCanceled
  std::optional<int> code;  // the programmer's error code
  std::string text;       // the result text the window shows
  std::uint64_t durationMs = 0;
  std::string version;
  bool operator==(const RunRecord&) const = default;
};

// Now as "YYYY-MM-DDThh:mm:ss.mmm+hh:mm", local time with its zone. The milliseconds tell
// one run's lines (written with one time) from the next run's.
std::string IsoLocalTime();

// The record as one line of JSON with its keys in the documented order and a final "\n".
// The programmer's texts (product, file) are single bytes and are given as Latin-1; every
// other text as UTF-8, an invalid byte replaced.
std::string RunRecordLine(const RunRecord& record);
// The record a line holds; nothing for a line that is not a whole record (a torn last line).
std::optional<RunRecord> ParseRunRecordLine(std::string_view line);

// Whether the run log is kept, and the station's name (the host's name when not set).
bool RunLogEnabled(const SettingsFile& settings);
// A station name as --station takes it: 1 to 64 printable characters, not only spaces.
// Empty when fine, else the usage error naming the option.
std::string StationNameError(const std::string& name);
std::string StationName(const SettingsFile& settings);

// The lines of `station`'s last gang run among `records` (in file order): the last block of
// that station's gang lines written together (one time to the millisecond, each row once). Empty when the
// station has no gang run.
std::vector<RunRecord> LastGangRun(const std::vector<RunRecord>& records, const std::string& station);

// Whether a run log line names the programmer at `where` with row number `sn`: by its USB
// serial number when the line has one, else by its USB port path, else by its row.
bool SameProgrammer(const RunRecord& record, const RunPortIdentity& where, const std::string& sn);

class RunLog {
public:
  explicit RunLog(std::string path);
  const std::string& path() const { return path_; }
  // Appends the records as whole lines in one write, under the application folder's lock
  // (the history log's), creating the file when it is missing. Not ok, with nothing written
  // and a sentence naming the file, otherwise; the loss is told to the innermost
  // HistoryFailureWatch, so the command line says it by the same rule as a lost history
  // record.
  FileResult append(const std::vector<RunRecord>& records);

  struct Read {
    std::vector<RunRecord> records;
    std::vector<std::size_t> skippedLines;  // 1-based numbers of lines that are not records
    bool found = false;                      // the file exists and could be read
  };
  // Every record of the file, in order; lines that are not whole records are skipped and
  // their numbers given.
  Read read() const;

private:
  std::string path_;
};

// The load lines of a run log, for telling what each programmer was last loaded with. The
// log only grows (a line a programmer a run), so the file is read whole once and afterwards
// only what was appended since; a file replaced or cut short is read again from its start.
// Lines that cannot be load lines are skipped without being parsed.
class RunLogLoads {
public:
  explicit RunLogLoads(std::string path);
  const std::string& path() const { return path_; }
  // The load records, oldest first, up to the file's last whole line now.
  const std::vector<RunRecord>& refresh();

private:
  std::string path_;
  std::uint64_t device_ = 0;
  std::uint64_t inode_ = 0;
  std::uint64_t parsed_ = 0;  // bytes of whole lines read so far
  std::string head_;          // the file's first bytes, to tell a new file under a reused inode
  std::vector<RunRecord> loads_;
};

// Where a process writes its run log. Every operation's records pass through here: the
// settings are read at each write (the run log on or off, the station), each record gets the
// time, the station, the version and, when it has none yet, where its programmer is; a loss
// is told once to whoever shows it (the window), and to the HistoryFailureWatch always.
class RunLogWriter {
public:
  using Identify = std::function<RunPortIdentity(BridgeHandle)>;
  explicit RunLogWriter(std::string appDir, Identify identify = {});

  // Told, with the sentence why, the first time records could not be written.
  void onLost(std::function<void(const std::string& sentence)> lost) { lost_ = std::move(lost); }
  // Where the programmer behind `handle` is; empty on the simulated bench.
  RunPortIdentity where(BridgeHandle handle) const;

  struct Entry {
    BridgeHandle handle = kNoHandle;
    RunRecord record;
  };
  // Completes the records and appends them as one write, all with one time. Ok, with nothing
  // written, when the run log is off or there is nothing to write.
  FileResult write(std::vector<Entry> entries);

private:
  std::string appDir_;
  Identify identify_;
  std::function<void(const std::string&)> lost_;
  bool lostTold_ = false;
};

}  // namespace fd
