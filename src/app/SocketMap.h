#pragma once
// A station's socket map: which USB port each row of the command line's list is. A
// production fixture's socket 3 stays row 03 whatever else is plugged in, gone or busy.
// Kept in the settings file, section "Sockets", one key per row ("01" = "1-1.2").
#include <string>
#include <vector>

#include "app/SettingsFile.h"

namespace fd {

inline constexpr const char* kSectionSockets = "Sockets";

// A USB port path as the kernel names it: bus, a dash, then port numbers joined by dots
// ("1-1", "3-2.4.1").
bool IsUsbPortPath(const std::string& text);

struct SocketMapRead {
  std::vector<std::string> paths;  // row 01 first; empty: no map
  std::string error;               // a map that cannot be used, naming the row; empty when fine
};

// The map as the settings hold it. A value that is no USB port path, the same path in two
// rows, or a row missing between two rows is an error: a guessed row would name another
// programmer.
SocketMapRead ReadSocketMap(const SettingsFile& settings);

// Rows 01.. take `paths`, every later row is cleared, all in one replacement of the file.
// False with the reason when the paths are not a valid map or the file cannot be written.
bool SaveSocketMap(SettingsFile& settings, const std::vector<std::string>& paths, std::string& error);

}  // namespace fd
