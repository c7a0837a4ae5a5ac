#include "app/AppState.h"

#include <sys/stat.h>

namespace fd {

bool AppState::productNotSelected() const {
  const auto end = productNumber.find_last_not_of(' ');
  const std::string trimmed = end == std::string::npos ? std::string() : productNumber.substr(0, end + 1);
  return trimmed.empty() || trimmed == kNotSelect;
}

std::string DeviceDatabasePath(const AppState& state) {
  const std::string local = state.appDir + kDeviceDatabaseFileName;
  struct stat info {};
  if (state.resourceDir.empty() || (::stat(local.c_str(), &info) == 0 && S_ISREG(info.st_mode))) return local;
  return state.resourceDir + kDeviceDatabaseFileName;
}

}  // namespace fd
