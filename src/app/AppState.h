#pragma once
// The one process-wide state record. The application object creates it and hands it to
// every flow by reference, so two applications can live side by side in a test.
#include <array>
#include <cstdint>
#include <string>

#include "link/Bridge.h"
#include "link/ProgrammerInfo.h"

namespace fd {

inline constexpr const char* kNotSelect = "Not select";

class RunLogWriter;

struct AppState {
  std::string appDir;                          // executable's folder, ends in a separator
  // Folder of the program's own read-only files (MCUType.mcu, the manual): the
  // executable's, wherever appDir is (--app-dir, or the user's data folder of an installed
  // program); ends in a separator. Empty: appDir (see programFilesDir()).
  std::string programDir;
  std::string productNumber = kNotSelect;      // padded to 12 in the Single Operation window
  char mcuTypeCode = '0';                      // first parameter of 'C'
  std::uint8_t powerSet = 0x00;                // a power code (link/PowerCodes.h)
  IdCode idCode{};                             // set to the default at start-up
  int offlineMode = 0;
  BridgeHandle currentHandle = kNoHandle;
  std::string currentSn;
  int targetConnected = 1;
  ProgrammerInfo programmerInfo{};
  std::uint32_t dataFlashStart = 0;
  std::uint32_t dataFlashEnd = 0;
  std::uint32_t userFlashStart = 0;
  std::uint32_t userFlashEnd = 0;
  std::string imagePath;
  std::string imageTitle;
  std::string imageIdText;
  std::int32_t readStart = 0;
  std::int32_t readEnd = 0;
  std::int32_t viewTop = 0;
  // Where this process writes its run log (app/RunLog.h); none: no records are written.
  RunLogWriter* runLog = nullptr;

  // True while no product is chosen: "Not select" without its trailing spaces, or no name
  // at all (a settings file without the key must not count as a product).
  bool productNotSelected() const;
  // programDir, or appDir while programDir is not set.
  const std::string& programFilesDir() const { return programDir.empty() ? appDir : programDir; }
};

// File names, all in appDir; the device database and the manual in programFilesDir().
inline constexpr const char* kSettingsFileName = "ZK40 Family Flashdock.ini";
inline constexpr const char* kHistoryFileName = "ZK40 Family Flashdock History.log";
inline constexpr const char* kLoadRecordFileName = "ZK40 Family Flashdock.tbx";
inline constexpr const char* kDeviceDatabaseFileName = "MCUType.mcu";
inline constexpr const char* kManualFileName = "ZK40 Family Flashdock User's Manual.pdf";

// A file the program ships (the device database, the manual): the one in appDir when there
// is one there, else the one beside the executable.
std::string ProgramFilePath(const AppState& state, const char* name);
std::string DeviceDatabasePath(const AppState& state);

}  // namespace fd
