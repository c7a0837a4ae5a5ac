#include "cli/CliApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"
#include "cli/CliFixture.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using test::CliRun;
using test::CliTest;

TEST_F(CliTest, InfoDecodesTheBlockAndTheTraceShowsResetAndTheInfoCommand) {
  const std::string trace = dir.path("trace.txt");
  const CliRun run = cli({"--trace", trace, "info", "--device", "0"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Product     ZK40F8C12"));
  EXPECT_THAT(run.out, HasSubstr("File        blinky"));
  EXPECT_THAT(run.out, HasSubstr("Time        24-03-14,09:30:12"));
  EXPECT_THAT(run.out, HasSubstr("Size        12345 bytes"));
  EXPECT_THAT(run.out, HasSubstr("ID code     C3C3C3C3C3C3C3"));
  EXPECT_THAT(run.out, HasSubstr("Power       50 (5 V)"));
  const std::string lines = dir.read("trace.txt");
  const auto reset = lines.find("SetFlowControl h1 reset");
  const auto released = lines.find("SetFlowControl h1 released");
  const auto command = lines.find("Write h1 [49]");
  const auto block = lines.find("Read h1 want=89 got=89");
  EXPECT_NE(reset, std::string::npos) << lines;
  EXPECT_LT(reset, released);
  EXPECT_LT(released, command);
  EXPECT_LT(command, block);
}

TEST_F(CliTest, InfoAsJson) {
  const CliRun run = cli({"--json", "info", "--device", "1"});
  ASSERT_EQ(run.code, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["product"], "ZK40G16B");
  EXPECT_EQ(j["size"], 48128);
  EXPECT_EQ(j["blocks"][0]["address"], "0xE0000");
}

TEST_F(CliTest, FailuresAndUsageErrorsHaveTheirExitCodes) {
  const struct {
    std::vector<std::string> args;
    std::string simulate;
    int code;
    std::string err;
  } cases[] = {
      {{"info", "--device", "7"}, "demo", 1, "ERROR: No programmer at device 7"},
      {{"info"}, "demo", 2, "usage"},
      {{"frobnicate"}, "demo", 2, "usage"},
      {{"gang", "--sn", "05"}, "demo", 1, "ERROR: No programmer 05 is detected."},
      {{"list"}, "twelve", 1, "ERROR"},
      {{"list"}, dir.path("missing.json"), 1, "ERROR"},
      {{"gang"}, "2", 1, "WARNING: No programmer is selected."},  // fresh programmers hold no setup
  };
  for (const auto& c : cases) {
    const CliRun run = cli(c.args, c.simulate);
    EXPECT_EQ(run.code, c.code) << c.args[0] << ' ' << c.simulate << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.err)) << c.args[0];
  }
}

TEST_F(CliTest, ListShowsTheRowsAsTheWindowDoes) {
  const CliRun run = cli({"list"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("3 programmers are detected"));
  EXPECT_THAT(run.out, HasSubstr("01  ZK40F8C12     blinky            24-03-14,09:30:12      12,345"));
  EXPECT_THAT(run.out, HasSubstr("03  ZK40H128R1    sensor_v2         23-11-27,08:07:03     131,072"));

  const CliRun json = cli({"--json", "list"});
  const auto j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["rows"].size(), 3u);
  // The command line's own field names, never the window's column titles.
  const nlohmann::json& second = j["rows"][1];
  EXPECT_EQ(second["sn"], "02");
  EXPECT_EQ(second["product"], "ZK40G16B");
  EXPECT_EQ(second["file"], "motor_ctl");
  EXPECT_EQ(second["size"], "48,128");
  EXPECT_TRUE(second.contains("modified"));
  for (const char* title : {"Target MCU", "File Name", "Modify Time", "File Size"}) {
    EXPECT_FALSE(second.contains(title)) << title;
  }
  EXPECT_EQ(j["rows"][0]["selected"], true);
}

TEST_F(CliTest, GangRunsTheDemoToSuccessAndAppendsTheRecord) {
  const CliRun run = cli({"gang"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Wait for Erasing......"));
  EXPECT_THAT(run.out, HasSubstr("Wait for programming......"));
  EXPECT_THAT(run.out, HasSubstr("03  E.P.V is successfully completed.  Successful end"));
  const std::string log = dir.read(kHistoryFileName);
  EXPECT_THAT(log, HasSubstr("  Operation: On-line E.P.V\r\nNo.01 | ZK40F8C12    | blinky          .mot | "
                             "Successfully completed.\r\nNo.02 | ZK40G16B     | motor_ctl       .mot | "
                             "Successfully completed.\r\nNo.03 | ZK40H128R1   | sensor_v2       .mot | "
                             "Successfully completed.\r\n"));
}

TEST_F(CliTest, GangOfChosenRowsRunsOnlyThose) {
  const CliRun chosen = cli({"--json", "gang", "--sn", "02"});
  ASSERT_EQ(chosen.code, 0) << chosen.err;
  const auto j = nlohmann::json::parse(chosen.out);
  EXPECT_EQ(j["success"], true);
  EXPECT_EQ(j["results"][0]["taking"], false);
  EXPECT_EQ(j["results"][1]["taking"], true);
  EXPECT_EQ(j["results"][1]["resultCode"], "00");
  EXPECT_THAT(dir.read(kHistoryFileName), HasSubstr("No.01 | N.A.\r\nNo.02 | ZK40G16B"));
}

TEST_F(CliTest, AGangWithAFailingProgrammerExitsOneAndKeepsTheBenchFile) {
  const std::string path = dir.path("bench.json");
  {
    VirtualClock clock;
    auto bench = SimBench::demo(clock);
    bench->programmer(1).target().id = {1, 2, 3, 4, 5, 6, 7};
    std::string error;
    ASSERT_TRUE(bench->save(path, error)) << error;
  }
  const CliRun run = cli({"gang"}, path);
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_THAT(run.out, HasSubstr("02  Break during ID check!            ID not match"));
  EXPECT_THAT(run.out, HasSubstr("01  E.P.V is successfully completed.  Successful end"));
  EXPECT_THAT(dir.read(kHistoryFileName), HasSubstr("No.02 | ZK40G16B     | motor_ctl       .mot | ID code is not match!"));
  // The bench is written back and loads again.
  VirtualClock clock;
  EXPECT_TRUE(SimBench::load(path, clock).bench);
}

TEST_F(CliTest, OptionsFollowTheInitiationRules) {
  const struct {
    std::vector<std::string> args;
    std::string log, id;
  } steps[] = {
      {{"options"}, "1", "1"},
      {{"options", "--auto-save-log", "off"}, "0", "0"},
      {{"options", "--auto-save-id", "on"}, "0", "0"},  // the ID box is disabled while the log is off
      {{"options", "--auto-save-log", "on", "--auto-save-id", "on"}, "1", "1"},
      {{"options", "--auto-save-id", "off"}, "1", "0"},
  };
  for (const auto& step : steps) {
    const CliRun run = cli(step.args, "");
    ASSERT_EQ(run.code, 0) << run.err;
    SettingsFile settings(dir.path(kSettingsFileName));
    EXPECT_EQ(settings.read(kSectionLog, kKeyAutoSaveLog), step.log) << step.args.size();
    EXPECT_EQ(settings.read(kSectionLog, kKeyAutoSaveId), step.id) << step.args.size();
  }
  EXPECT_EQ(cli({"options", "--auto-save-log", "maybe"}, "").code, 2);
}

TEST_F(CliTest, StartUpWritesTheFirstRunFilesWithoutAWindow) {
  ASSERT_EQ(cli({"list"}).code, 0);
  EXPECT_TRUE(dir.exists(kSettingsFileName));
  EXPECT_TRUE(dir.exists(kHistoryFileName));
  EXPECT_TRUE(dir.exists(kLoadRecordFileName));
  EXPECT_EQ(SettingsFile(dir.path(kSettingsFileName)).read(kSectionProgrammer, kKeyIdCode), "C3C3C3C3C3C3C3");
}

TEST_F(CliTest, ABenchFileIsWrittenBackAtExit) {
  const std::string path = dir.path("bench.json");
  {
    std::ofstream out(path);
    out << "{\"programmers\": []}";
  }
  const CliRun run = cli({"list"}, path);
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("No programmer is detected"));
  EXPECT_FALSE(dir.read("bench.json").empty());
}

}  // namespace
}  // namespace fd
