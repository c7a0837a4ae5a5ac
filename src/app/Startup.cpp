#include "app/Startup.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>

#include "formats/FileIo.h"

namespace fd {
namespace {

namespace fs = std::filesystem;

std::string WithSlash(const fs::path& dir) {
  std::string text = dir.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

std::string CurrentDir() {
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  return ec ? std::string("./") : WithSlash(here);
}

bool IsExecutableFile(const fs::path& file) {
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  constexpr fs::perms kAnyExec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  return !ec && fs::is_regular_file(status) && (status.permissions() & kAnyExec) != fs::perms::none;
}

// Without /proc: argv[0] names the executable by path, or by a name found on the search path.
std::string DirFromArgv0(const char* argv0) {
  if (!argv0 || !*argv0) return CurrentDir();
  const std::string_view name(argv0);
  std::error_code ec;
  if (name.find('/') != std::string_view::npos) {
    const fs::path full = fs::absolute(fs::path(name), ec);
    return ec ? CurrentDir() : WithSlash(full.parent_path());
  }
  const char* searchPath = std::getenv("PATH");
  std::string_view rest = searchPath ? searchPath : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    const fs::path dir = entry.empty() ? fs::path(".") : fs::path(entry);
    if (IsExecutableFile(dir / name)) {
      const fs::path full = fs::absolute(dir, ec);
      if (!ec) return WithSlash(full);
    }
  }
  return CurrentDir();
}

bool IsFirstRun(const SettingsFile& settings) {
  if (!settings.openableForWrite()) return true;
  // An empty file holds no settings at all: nothing to lose by writing the defaults.
  std::error_code ec;
  return fs::file_size(settings.path(), ec) == 0 && !ec;
}

void WriteDefaults(SettingsFile& settings) {
  for (const SettingDefault& d : kFirstRunDefaults) {
    settings.writeDefault(d.section, d.key, d.value);
  }
}

StartupReport Start(AppState& state, const std::function<void(SettingsFile&)>* initiation) {
  StartupReport report;
  std::string dir = state.appDir;
  if (!dir.empty() && dir.back() != '/') dir += '/';
  SettingsFile settings(dir + kSettingsFileName);
  if (IsFirstRun(settings)) {
    report.firstRun = true;
    WriteDefaults(settings);
    if (initiation && *initiation) {
      (*initiation)(settings);
      report.initiationShown = true;
    }
  }
  // An existing file is never opened for writing, so its content cannot be cut even when
  // it cannot be read.
  FileIo::createIfMissing(dir + kLoadRecordFileName);
  FileIo::createIfMissing(dir + kHistoryFileName);
  state.idCode = kDefaultIdCode;
  return report;
}

}  // namespace

std::string ExecutableDir(const char* argv0) {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec && exe.is_absolute()) return WithSlash(exe.parent_path());
  return DirFromArgv0(argv0);
}

bool PrepareAppDir(const std::string& dir, std::string& normalized, std::string& error) {
  error.clear();
  if (dir.empty()) {
    error = "No folder was given for the application files.";
    return false;
  }
  std::error_code ec;
  const fs::path full = fs::absolute(fs::path(dir), ec).lexically_normal();
  if (ec) {
    error = "The folder \"" + dir + "\" cannot be used: " + ec.message() + ".";
    return false;
  }
  const std::string shown = full.string();
  if (!fs::exists(full, ec)) {
    fs::create_directories(full, ec);
    if (ec) {
      error = "The folder \"" + shown + "\" cannot be created: " + ec.message() + ".";
      return false;
    }
  }
  if (!fs::is_directory(full, ec)) {
    error = "\"" + shown + "\" is not a folder.";
    return false;
  }
  // Permission bits do not tell the whole story (read-only mounts, ACLs): try it, with a
  // name no other program (or a second copy of this one) picks at the same time.
  const std::string probe = WithSlash(full) + ".flashdock-write-test-" + std::to_string(std::random_device{}());
  if (!FileIo::createIfMissing(probe)) {
    error = "The folder \"" + shown + "\" cannot be written (it is read-only, or you do not have permission).";
    return false;
  }
  fs::remove(probe, ec);
  normalized = WithSlash(full);
  return true;
}

std::string UserDataDir() {
  // As XDG has it: a relative XDG_DATA_HOME is ignored.
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return WithSlash(fs::path(xdg) / "flashdock");
  const char* home = std::getenv("HOME");
  if (home && *home == '/') return WithSlash(fs::path(home) / ".local/share/flashdock");
  return "";
}

StartupReport RunStartup(AppState& state, const std::function<void(SettingsFile&)>& initiation) {
  return Start(state, &initiation);
}

StartupReport RunStartupHeadless(AppState& state) { return Start(state, nullptr); }

}  // namespace fd
