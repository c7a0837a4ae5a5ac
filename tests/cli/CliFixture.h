#pragma once
// The command line on a simulated bench in virtual time, with its files in a fresh folder.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include <filesystem>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "cli/CliApp.h"
#include "support/TempDir.h"

namespace fd::test {

struct CliRun {
  int code;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
protected:
  // Runs `args` after the session options; `simulate` empty gives no --simulate at all.
  CliRun cli(std::vector<std::string> args, const std::string& simulate = "demo") {
    std::vector<std::string> all = {"flashdock-cli", "--virtual-time", "--app-dir", dir.dir()};
    if (!simulate.empty()) {
      all.push_back("--simulate");
      all.push_back(simulate);
    }
    all.insert(all.end(), args.begin(), args.end());
    return raw(all);
  }
  // Runs exactly these words; the operator types `typed`.
  static CliRun raw(const std::vector<std::string>& all, const std::string& typed = "") {
    std::vector<const char*> argv;
    for (const auto& a : all) argv.push_back(a.c_str());
    std::istringstream in(typed);
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(argv.size()), argv.data(), in, out, err);
    return {code, out.str(), err.str()};
  }
  // `args` after the session options, with what the operator types.
  CliRun typed(std::vector<std::string> args, const std::string& typed, const std::string& simulate = "demo") {
    std::vector<std::string> all = {"flashdock-cli", "--virtual-time", "--app-dir", dir.dir(), "--simulate", simulate};
    all.insert(all.end(), args.begin(), args.end());
    return raw(all, typed);
  }
  // The settings of an on-line run: the product (with the device database beside it), the
  // default ID code, the power (default: the target's own supply), the history log on.
  void chooseOnlineProduct(const std::string& product, const std::string& power = "00") {
    if (!dir.exists(kDeviceDatabaseFileName)) {
      std::filesystem::copy_file(std::string(FLASHDOCK_RES_DIR) + "/" + kDeviceDatabaseFileName,
                                 dir.path(kDeviceDatabaseFileName));
    }
    SettingsFile settings(dir.path(kSettingsFileName));
    settings.write(kSectionLog, kKeyAutoSaveLog, "1");
    settings.write(kSectionProgrammer, kKeyProductNumber, product);
    settings.write(kSectionProgrammer, kKeyIdCode, "C3C3C3C3C3C3C3");
    settings.write(kSectionProgrammer, kKeyPowerSet, power);
  }
  TempDir dir;
};

}  // namespace fd::test
