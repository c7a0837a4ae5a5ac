#pragma once
// The settings file: an INI file of "[section]" headers and "key=value" lines. Section and
// key names match without regard to case. Every read goes to the file, so a change made by
// another window (or by hand) counts at once.
#include <string>
#include <utility>
#include <vector>

namespace fd {

inline constexpr const char* kSectionProgrammer = "Programmer information";
inline constexpr const char* kSectionLog = "Log information";
inline constexpr const char* kKeyProductNumber = "Product number";
inline constexpr const char* kKeyIdCode = "ID code";
inline constexpr const char* kKeyPowerSet = "Power set";
inline constexpr const char* kKeyAutoSaveLog = "Auto save log";
inline constexpr const char* kKeyAutoSaveId = "Auto save ID";
inline constexpr const char* kSectionMainWindow = "Main window";
// The key that starts a run and goes Back from the result view, as a key sequence's text
// ("F5", "F9", "Ctrl+R"); F5 when empty or not a key.
inline constexpr const char* kKeyRunKey = "Run key";
inline constexpr const char* kKeyOperatorMode = "Operator mode";  // "1": the window opens in operator mode

// Shown (caption "ERROR") when a setting cannot be kept because the file cannot be written.
inline constexpr const char* kMsgSettingsNotWritten = "Can not write to the settings file!";

// Values are read as into a 128-byte buffer: at most this many characters.
inline constexpr std::size_t kSettingsValueMax = 127;

class SettingsFile {
public:
  explicit SettingsFile(std::string path);
  const std::string& path() const;

  // Opens and reads the file at every call (nothing cached); "" when the file, section or
  // key is missing. Spaces around the value are not part of it; values are cut to 127
  // characters. A read-only file reads normally.
  std::string read(const std::string& section, const std::string& key) const;

  // Sets one key. Creates the file when missing; every other line of the file stays as it
  // was, byte for byte (comments, unknown sections, lines that are not settings). New lines
  // use the file's own line ends (CR LF for a new file). The file is replaced whole or not
  // at all (FileIo::replace: a unique temp file beside it, then a rename), keeping its
  // permissions; a symbolic link is followed, not replaced. False, with the file unchanged
  // and the reason in lastError(), when the file exists but cannot be read or written (a
  // read-only settings file stays read-only, even when the value is already there), when
  // it is a folder or no regular file, when its folder takes no new files, when the disk
  // is full, or when a name or the value cannot be stored on one line (line breaks, a key
  // with '=', a section with ']').
  //
  // The read, the change and the replacement hold the application folder's lock
  // (FileLock::Place::kAppFolder), so a change made by another process at the same time is
  // kept too; false with the reason when that process does not let go in time.
  bool write(const std::string& section, const std::string& key, const std::string& value);
  // The same, but only when the key has no value yet, looked at under the lock: a default
  // never overwrites what another process has just set.
  bool writeDefault(const std::string& section, const std::string& key, const std::string& value);
  // Several keys of one section, set in one replacement of the file under one lock: all of
  // them or none. The same refusals as write().
  bool writeMany(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values);
  // Why the last write() returned false: a sentence for the user naming the file; empty
  // after a write that succeeded.
  const std::string& lastError() const;

  bool exists() const;            // the file is there
  bool openableForWrite() const;  // a regular file that can be read and written (it is not created)

private:
  bool change(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values,
              bool onlyWhenEmpty);

  std::string path_;
  std::string lastError_;
};

bool AutoSaveLog(const SettingsFile& settings);  // "Auto save log" reads exactly "1"
bool AutoSaveId(const SettingsFile& settings);   // "Auto save ID" reads exactly "1"
bool OperatorModeSetting(const SettingsFile& settings);  // "Operator mode" reads exactly "1"

}  // namespace fd
