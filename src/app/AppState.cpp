#include "app/AppState.h"

#include <sys/stat.h>

namespace fd {

bool AppState::productNotSelected() const {
  const auto end = productNumber.find_last_not_of(' ');
  const std::string trimmed = end == std::string::npos ? std::string() : productNumber.substr(0, end + 1);
  return trimmed.empty() || trimmed == kNotSelect;
}

std::string ProgramFilePath(const AppState& state, const char* name) {
  const auto isFile = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
  };
  const std::string local = state.appDir + name;
  const std::string shipped = state.programFilesDir() + name;
  // Neither there: the appDir one, the place the user is told to look.
  return isFile(local) || !isFile(shipped) ? local : shipped;
}

std::string DeviceDatabasePath(const AppState& state) { return ProgramFilePath(state, kDeviceDatabaseFileName); }

}  // namespace fd
