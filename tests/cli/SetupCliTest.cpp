// The command line's product commands and setup on the simulated bench: what they print,
// what setup writes to a programmer or the settings file, and every refusal before it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "cli/CliApp.h"
#include "cli/CliFixture.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using test::CliRun;

class SetupCliTest : public ::testing::Test {
protected:
  // The demo bench kept in a file, so what one run writes the next one sees.
  void SetUp() override {
    VirtualClock clock;
    std::string error;
    ASSERT_TRUE(SimBench::demo(clock)->save(bench, error)) << error;
  }
  CliRun cli(std::vector<std::string> args) {
    std::vector<std::string> all = {"flashdock-cli", "--virtual-time", "--app-dir", dir.dir(), "--simulate", bench,
                                    "--trace", trace};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<const char*> argv;
    for (const auto& a : all) argv.push_back(a.c_str());
    std::remove(trace.c_str());  // a run that never starts leaves no trace of an earlier one
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    return {code, out.str(), err.str()};
  }
  std::string setting(const char* key) const {
    return SettingsFile(dir.path(kSettingsFileName)).read(kSectionProgrammer, key);
  }
  // How many header writes ('B') the last run sent.
  int headerWrites() const {
    if (!dir.exists("trace.txt")) return 0;
    const std::string lines = dir.read("trace.txt");
    int n = 0;
    for (auto at = lines.find("[42] sent"); at != std::string::npos; at = lines.find("[42] sent", at + 1)) ++n;
    return n;
  }

  test::TempDir dir;
  std::string bench = dir.path("bench.json");
  std::string trace = dir.path("trace.txt");
};

TEST_F(SetupCliTest, ProductsShowsTheTreeAGroupsProductsAndASeriesGroups) {
  const CliRun tree = cli({"products"});
  ASSERT_EQ(tree.code, 0) << tree.err;
  EXPECT_THAT(tree.out, HasSubstr("ZK40A\n  ZK40A1\n  ZK40A2\n  ZK40A3\nZK40F\n  ZK40F1\n"));

  const CliRun group = cli({"products", "ZK40F1"});
  ASSERT_EQ(group.code, 0) << group.err;
  EXPECT_EQ(group.out, "ZK40F8C12     64K+2K\nZK40F8C16     48K+2K\nZK40F20C12    64K+4K\n");

  const CliRun series = cli({"products", "ZK40G"});
  ASSERT_EQ(series.code, 0) << series.err;
  EXPECT_EQ(series.out, "ZK40G\n  ZK40G1\n  ZK40G2\n  ZK40G3\n");

  const CliRun json = cli({"--json", "products", "ZK40K2"});
  ASSERT_EQ(json.code, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["products"].size(), 2u);
  EXPECT_EQ(j["products"][1]["product"], "ZK40K80L");
  EXPECT_EQ(j["products"][1]["memory"], "224K+16K");
}

TEST_F(SetupCliTest, BlocksShowsTheRowsTheCountAllowsAndTheMemoryMap) {
  const CliRun run = cli({"blocks", "ZK40F8C12"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Type code   2\n"));
  EXPECT_THAT(run.out, HasSubstr("Block A     0x02400  1K\nBlock B     0x02800  1K\nBlock 0     0x04000  8K\n"));
  EXPECT_THAT(run.out, HasSubstr("Block 7     0x12000  8K\nData flash"));  // 0A: ten rows
  EXPECT_THAT(run.out, HasSubstr("Data flash  0x02400-0x02BFF (2048 bytes)\n"));
  EXPECT_THAT(run.out, HasSubstr("User flash  0x04000-0x13FFF (65536 bytes)\n"));

  const CliRun none = cli({"--json", "blocks", "ZK40G16B"});
  ASSERT_EQ(none.code, 0) << none.err;
  const auto j = nlohmann::json::parse(none.out);
  EXPECT_EQ(j["blocks"].size(), 8u);
  EXPECT_EQ(j["blocks"][0]["address"], "0xE0000");
  EXPECT_EQ(j["dataFlashEnd"], 0);
  EXPECT_EQ(j["userFlashEnd"], 0x100000);
}

TEST_F(SetupCliTest, OffLineWritesEachChangeToTheProgrammerAndNotToTheSettingsFile) {
  ASSERT_EQ(cli({"options"}).code, 0);
  const std::string settingsBefore = dir.read(kSettingsFileName);
  const CliRun run = cli({"setup", "--sn", "2", "--offline", "--product", "ZK40K64L", "--id", "01020304050607",
                          "--power", "3"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("INFO: New product is set to the programmer.\n"
                                 "INFO: New ID is set to the programmer.\n"
                                 "INFO: New power setting is set to the programmer.\n"));
  EXPECT_THAT(run.out, HasSubstr("Product     ZK40K64L\nID code     01020304050607\nPower       3\n"));
  EXPECT_EQ(headerWrites(), 3);
  EXPECT_EQ(dir.read(kSettingsFileName), settingsBefore);

  const CliRun info = cli({"info", "--device", "1"});
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_THAT(info.out, HasSubstr("Product     ZK40K64L"));
  EXPECT_THAT(info.out, HasSubstr("ID code     01020304050607"));
  EXPECT_THAT(info.out, HasSubstr("Power       30 (3 V)"));
  EXPECT_THAT(info.out, HasSubstr("File        motor_ctl.mot"));  // the image stays
}

TEST_F(SetupCliTest, OnLineKeepsTheSetupInTheSettingsFileAndSendsNothing) {
  const CliRun run = cli({"--json", "setup", "--sn", "01", "--online", "--product", "ZK40F8C16", "--id-text",
                          "Bench", "--fill", "--power", "5"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(setting(kKeyProductNumber), "ZK40F8C16");
  EXPECT_EQ(setting(kKeyIdCode), "C3C342656E6368");
  EXPECT_EQ(setting(kKeyPowerSet), "50");
  EXPECT_EQ(headerWrites(), 0);
  const auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["product"], "ZK40F8C16");
  EXPECT_EQ(j["power"], "5");
  EXPECT_THAT(cli({"info", "--device", "0"}).out, HasSubstr("Product     ZK40F8C12"));
}

TEST_F(SetupCliTest, ASetupThatCannotBeDoneExitsOne) {
  // On-line Set ID wants a product chosen first.
  const CliRun run = cli({"setup", "--sn", "01", "--online", "--id", "C3C3C3C3C3C3C3"});
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr("WARNING: No product is selected."));
  EXPECT_EQ(setting(kKeyIdCode), "C3C3C3C3C3C3C3");
}

TEST_F(SetupCliTest, BadValuesAreRefusedWithExitTwoBeforeAnythingIsSentOrStored) {
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--offline", "--id", "123456789012345"}, "at most 14 hex digits"},
      {{"--offline", "--id", "0123456789ABCDEF"}, "at most 14 hex digits"},
      {{"--offline", "--id", "12G4"}, "hex digits 0-9 and A-F only"},
      {{"--offline", "--id", "12 34"}, "hex digits 0-9 and A-F only"},
      {{"--offline", "--id", "123"}, "even number of hex digits"},
      {{"--offline", "--id", ""}, "--id is empty"},
      {{"--offline", "--id", "   "}, "--id is empty"},
      {{"--offline", "--id", "1234"}, "add --fill"},
      {{"--offline", "--id-text", "12345678"}, "at most 7 characters"},
      {{"--offline", "--id-text", "T\xE4g"}, "printable ASCII"},
      {{"--offline", "--id-text", ""}, "--id-text is empty"},
      {{"--online", "--id-text", "Tag"}, "add --fill"},
      {{"--offline", "--id", "12", "--id-text", "T"}, "usage"},
      {{"--offline", "--product", ""}, "--product is empty"},
      {{"--offline", "--product", "ZK40F8C12ABCD"}, "at most 12 characters"},
      {{"--offline", "--product", "ZK40X"}, "No product \"ZK40X\""},
      {{"--offline", "--power", "4"}, "usage"},
      {{"--offline", "--power", ""}, "usage"},
      {{"--product", "ZK40F8C12"}, "--offline or --online"},
      {{"--offline", "--online"}, "usage"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"setup", "--sn", "01"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliRun run = cli(args);
    std::string shown;
    for (const auto& a : c.args) shown += a + ' ';
    EXPECT_EQ(run.code, 2) << shown << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.err)) << shown;
    EXPECT_EQ(headerWrites(), 0) << shown;
    if (dir.exists(kSettingsFileName)) {
      EXPECT_EQ(setting(kKeyProductNumber), kNotSelect) << shown;
      EXPECT_EQ(setting(kKeyIdCode), "C3C3C3C3C3C3C3") << shown;
    }
  }
  const struct {
    std::string sn;
    std::string err;
    int code;
  } rows[] = {{"09", "--sn takes one row number", 2}, {"", "--sn takes one row number", 2},
              {"04", "No programmer 04 is detected.", 1}};  // a usage error; a failed operation
  for (const auto& c : rows) {
    const CliRun run = cli({"setup", "--sn", c.sn, "--offline", "--power", "5"});
    EXPECT_EQ(run.code, c.code) << c.sn << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.err)) << c.sn;
    EXPECT_EQ(headerWrites(), 0) << c.sn;
  }
  EXPECT_THAT(cli({"products", "ZK40Q"}).err, HasSubstr("No series or group \"ZK40Q\""));
  EXPECT_EQ(cli({"products", "ZK40Q"}).code, 2);
  EXPECT_EQ(cli({"products", "ZK40F1ABCDEF"}).code, 2);
  EXPECT_EQ(cli({"blocks", "ZK40X"}).code, 2);
  EXPECT_EQ(cli({"blocks", ""}).code, 2);
}

}  // namespace
}  // namespace fd
