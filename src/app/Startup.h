#pragma once
// Setting the process up before the main window runs: the application folder, the
// settings defaults and the first-run options on a first run, the files the other
// windows expect, the default ID code.
#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/SettingsFile.h"

namespace fd {

// The default settings of a first run, in the order they are written.
struct SettingDefault {
  const char* section;
  const char* key;
  const char* value;
};
inline constexpr SettingDefault kFirstRunDefaults[] = {
    {kSectionLog, kKeyAutoSaveLog, "1"},
    {kSectionLog, kKeyAutoSaveId, "1"},
    {kSectionProgrammer, kKeyProductNumber, kNotSelect},
    {kSectionProgrammer, kKeyIdCode, "C3C3C3C3C3C3C3"},
    {kSectionProgrammer, kKeyPowerSet, "00"},
};

// The folder of the running executable (from /proc/self/exe, falling back to argv[0] and
// the search path), ending in '/'.
std::string ExecutableDir(const char* argv0);

// Makes `dir` usable as appDir: created (with its parents) when missing, checked to be a
// folder the program can write to. `normalized` gets the absolute path ending in '/'.
// False with a message for the user in `error` otherwise.
bool PrepareAppDir(const std::string& dir, std::string& normalized, std::string& error);

// The user's own folder for the program's files when the program's folder cannot be
// written (an installed program): $XDG_DATA_HOME/flashdock/, else
// ~/.local/share/flashdock/ (not created here); "" when neither is known.
std::string UserDataDir();

struct StartupReport {
  bool firstRun = false;
  bool initiationShown = false;
};

// Start-up with state.appDir already set. A first run is a settings file that is missing,
// empty or cannot be opened for reading and writing (so a read-only one counts at every
// start): the defaults are written where the file has no value yet (a value already in
// the file is never overwritten) and `initiation` runs the Initiation window over
// the settings file; its result is not used. The load-record and history files are
// created when missing and never touched when present; state.idCode := the default.
// Nothing here fails the start-up: files that cannot be written are left to the windows
// that need them.
StartupReport RunStartup(AppState& state, const std::function<void(SettingsFile&)>& initiation);

// The same without a window (the command line): writes the defaults on a first run,
// shows nothing.
StartupReport RunStartupHeadless(AppState& state);

}  // namespace fd
