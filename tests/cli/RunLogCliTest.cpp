// The run log as a gang run on the simulated bench leaves it: one line per programmer that
// took part, with its result and the programmer's error code, written whether or not the
// history log is kept, and a run log that cannot be written said and failing the command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "app/AppState.h"
#include "app/RunLog.h"
#include "app/SettingsFile.h"
#include "cli/CliFixture.h"
#include "link/ProgrammerErrors.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::CliRun;

class RunLogCliTest : public test::CliTest {
protected:
  // The demo bench with the second target's ID code not matching its programmer's.
  RunLogCliTest() {
    VirtualClock clock;
    auto demo = SimBench::demo(clock);
    demo->programmer(1).target().id = {1, 2, 3, 4, 5, 6, 7};
    std::string error;
    EXPECT_TRUE(demo->save(bench, error)) << error;
  }
  CliRun run(std::vector<std::string> args) { return cli(std::move(args), bench); }
  void setting(const char* section, const char* key, const char* value) {
    SettingsFile(dir.path(kSettingsFileName)).write(section, key, value);
  }
  RunLog::Read runLog() const { return RunLog(dir.path(kRunLogFileName)).read(); }

  std::string bench = dir.path("bench.json");
};

TEST_F(RunLogCliTest, AGangRunWritesOneLinePerProgrammerWithItsResultAndCode) {
  const CliRun gang = run({"gang"});
  EXPECT_EQ(gang.code, 1) << gang.err;
  const RunLog::Read read = runLog();
  ASSERT_TRUE(read.found);
  EXPECT_TRUE(read.skippedLines.empty());
  ASSERT_EQ(read.records.size(), 3u);
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const struct {
    const char* sn;
    const char* product;
    const char* file;
    const char* result;
    std::optional<int> code;
  } expected[] = {
      {"01", "ZK40F8C12", "blinky", kRunOk, std::nullopt},
      {"02", "ZK40G16B", "motor_ctl", kRunFailed, static_cast<int>(CodeOf(ProgrammerError::IdMismatch))},
      {"03", "ZK40H128R1", "sensor_v2", kRunOk, std::nullopt},
  };
  for (std::size_t i = 0; i < 3; ++i) {
    const RunRecord& r = read.records[i];
    SCOPED_TRACE(r.sn);
    EXPECT_EQ(r.operation, "gang");
    EXPECT_EQ(r.sn, expected[i].sn);
    EXPECT_EQ(r.product, expected[i].product);
    EXPECT_EQ(r.file, expected[i].file);
    EXPECT_EQ(r.result, expected[i].result);
    EXPECT_EQ(r.code, expected[i].code);
    EXPECT_EQ(r.station, host);
    EXPECT_EQ(r.version, ProgramVersion());
    EXPECT_TRUE(r.port.empty() && r.usbPath.empty() && r.usbSerial.empty());  // a simulated bench
    EXPECT_FALSE(r.time.empty());
  }
  EXPECT_EQ(read.records[1].text, "Break during ID check!");
  EXPECT_EQ(read.records[0].text, "E.P.V is successfully completed.");

  // Only the rows that take part; the next run appends.
  ASSERT_EQ(run({"gang", "--sn", "03"}).code, 0);
  ASSERT_EQ(runLog().records.size(), 4u);
  EXPECT_EQ(runLog().records[3].sn, "03");
}

TEST_F(RunLogCliTest, TheRunLogHasItsOwnSettingAndDoesNotFollowTheHistoryLog) {
  ASSERT_EQ(run({"options", "--auto-save-log", "off"}).code, 0);
  run({"gang", "--sn", "01"});
  EXPECT_EQ(runLog().records.size(), 1u);
  setting(kSectionRunLog, kKeySaveRunLog, "0");
  setting(kSectionRunLog, kKeyStation, "line-3");
  run({"gang", "--sn", "01"});
  EXPECT_EQ(runLog().records.size(), 1u);
  setting(kSectionRunLog, kKeySaveRunLog, "1");
  run({"gang", "--sn", "01"});
  ASSERT_EQ(runLog().records.size(), 2u);
  EXPECT_EQ(runLog().records[1].station, "line-3");
}

TEST_F(RunLogCliTest, FailedRunsAgainOnlyTheProgrammersThatFailedInTheLastRun) {
  const CliRun none = run({"gang", "--failed"});
  EXPECT_EQ(none.code, 1);
  EXPECT_THAT(none.err, HasSubstr("holds no gang run"));
  EXPECT_EQ(run({"gang", "--failed", "--sn", "01"}).code, 2);

  ASSERT_EQ(run({"gang"}).code, 1);  // 02 fails its ID check
  const CliRun again = run({"--json", "gang", "--failed"});
  EXPECT_EQ(again.code, 1);
  EXPECT_THAT(again.err, HasSubstr("INFO: Programmer 02 failed in the last run"));
  const RunLog::Read afterAgain = runLog();
  ASSERT_EQ(afterAgain.records.size(), 4u);
  EXPECT_EQ(afterAgain.records[3].sn, "02");

  // The target mended: 02 runs again and succeeds; then nothing is left to run.
  {
    VirtualClock clock;
    auto loaded = SimBench::load(bench, clock);
    ASSERT_TRUE(loaded.bench) << loaded.error;
    loaded.bench->programmer(1).target().id = {0x31, 0x41, 0x59, 0x26, 0x53, 0x58, 0x97};
    std::string error;
    ASSERT_TRUE(loaded.bench->save(bench, error)) << error;
  }
  const CliRun mended = run({"gang", "--failed"});
  EXPECT_EQ(mended.code, 0) << mended.err;
  EXPECT_THAT(mended.out, HasSubstr("02  E.P.V is successfully completed."));
  EXPECT_THAT(mended.out, ::testing::Not(HasSubstr("01  E.P.V")));
  const CliRun nothing = run({"gang", "--failed"});
  EXPECT_EQ(nothing.code, 0);
  EXPECT_THAT(nothing.err, HasSubstr("Every programmer succeeded in the last run"));
  EXPECT_EQ(runLog().records.size(), 5u);

  // Another station's runs are its own.
  const CliRun other = run({"--station", "line-9", "gang", "--failed"});
  EXPECT_EQ(other.code, 1);
  EXPECT_THAT(other.err, HasSubstr("station \"line-9\""));
}

TEST(RunLogLastRun, TheLastBlockOfTheStationsGangLinesEachRowOnce) {
  const auto line = [](const char* station, const char* time, const char* sn, const char* result) {
    RunRecord r;
    r.station = station;
    r.time = time;
    r.sn = sn;
    r.operation = "gang";
    r.result = result;
    return r;
  };
  const std::vector<RunRecord> records = {
      line("a", "t1", "01", kRunFailed), line("a", "t1", "02", kRunOk),
      line("a", "t2", "01", kRunOk),  // two runs with one time: a row seen twice splits them
      line("a", "t2", "01", kRunFailed), line("b", "t3", "01", kRunOk),
  };
  const std::vector<RunRecord> last = LastGangRun(records, "a");
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].result, kRunFailed);
  EXPECT_EQ(LastGangRun(records, "b").size(), 1u);
  EXPECT_TRUE(LastGangRun(records, "c").empty());

  RunRecord byUsb = line("a", "t", "03", kRunFailed);
  byUsb.usbSerial = "ZK0042";
  EXPECT_TRUE(SameProgrammer(byUsb, {"/dev/ttyUSB0", "1-1.4", "ZK0042"}, "05"));
  EXPECT_FALSE(SameProgrammer(byUsb, {"/dev/ttyUSB0", "1-1.4", "ZK0043"}, "03"));
  RunRecord byPath = line("a", "t", "03", kRunFailed);
  byPath.usbPath = "1-1.2";
  EXPECT_TRUE(SameProgrammer(byPath, {"", "1-1.2", ""}, "07"));
  EXPECT_FALSE(SameProgrammer(byPath, {"", "1-1.3", ""}, "03"));
  EXPECT_TRUE(SameProgrammer(line("a", "t", "03", kRunFailed), {}, "03"));
}

TEST_F(RunLogCliTest, StationNamesTheLinesAndIsKeptForTheNextRuns) {
  ASSERT_EQ(run({"--station", "line-7", "gang", "--sn", "01"}).code, 0);
  ASSERT_EQ(run({"gang", "--sn", "03"}).code, 0);
  const RunLog::Read read = runLog();
  ASSERT_EQ(read.records.size(), 2u);
  EXPECT_EQ(read.records[0].station, "line-7");
  EXPECT_EQ(read.records[1].station, "line-7");
  EXPECT_EQ(SettingsFile(dir.path(kSettingsFileName)).read(kSectionRunLog, kKeyStation), "line-7");

  for (const std::string& bad : {std::string(""), std::string("   "), std::string(65, 'x'), std::string("a\tb")}) {
    const CliRun refused = run({"--station", bad, "gang", "--sn", "01"});
    EXPECT_EQ(refused.code, 2) << bad;
    EXPECT_THAT(refused.err, HasSubstr("--station")) << bad;
  }
  EXPECT_EQ(SettingsFile(dir.path(kSettingsFileName)).read(kSectionRunLog, kKeyStation), "line-7");
  EXPECT_EQ(runLog().records.size(), 2u);
}

TEST_F(RunLogCliTest, ARunLogThatCannotBeWrittenIsSaidAndFailsTheCommand) {
  ASSERT_EQ(::mkdir(dir.path(kRunLogFileName).c_str(), 0700), 0);
  const CliRun gang = run({"gang", "--sn", "01"});
  EXPECT_EQ(gang.code, 1);
  EXPECT_THAT(gang.out, HasSubstr("01  E.P.V is successfully completed."));
  EXPECT_THAT(gang.err, HasSubstr("ERROR: The run log record could not be written."));
  EXPECT_THAT(gang.err, HasSubstr(kRunLogFileName));
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST_F(RunLogCliTest, GangEndsWithTheCountsAndRepeatRunsAtEachEnterUntilTheInputEnds) {
  const CliRun once = run({"gang"});
  EXPECT_THAT(once.out, HasSubstr("Result:\n"));
  EXPECT_THAT(once.out, ::testing::EndsWith("Passed: 2  Failed: 1  Total: 3\n"));

  // Two Enters, then the input ends: three runs, the running counts after each.
  const CliRun repeated = typed({"gang", "--repeat"}, "\n\n", bench);
  EXPECT_EQ(repeated.code, 1) << "programmer 02 failed every run";
  EXPECT_THAT(repeated.out, HasSubstr("Run 3\n"));
  EXPECT_THAT(repeated.out, HasSubstr("Passed: 4  Failed: 2  Total: 6\n"));
  EXPECT_THAT(repeated.out, ::testing::EndsWith("Summary: 3 runs; Passed: 6  Failed: 3  Total: 9\n"));
  EXPECT_EQ(runLog().records.size(), 3u + 9u);

  // --count ends after N runs without waiting for the N-th Enter.
  const CliRun counted = typed({"gang", "--sn", "01", "--repeat", "--count", "2"}, "\n\n\n\n", bench);
  EXPECT_EQ(counted.code, 0) << counted.err;
  EXPECT_THAT(counted.out, HasSubstr("Run 2 of 2\n"));
  EXPECT_THAT(counted.out, ::testing::Not(HasSubstr("Run 3")));
  EXPECT_THAT(counted.out, ::testing::EndsWith("Summary: 2 runs; Passed: 2  Failed: 0  Total: 2\n"));
}

TEST_F(RunLogCliTest, RepeatOptionsThatCannotBeHonouredAreUsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"gang", "--count", "2"},
      {"gang", "--repeat", "--count", "0"},
      {"gang", "--repeat", "--count", ""},
      {"gang", "--repeat", "--count", "two"},
      {"--json", "gang", "--repeat"},
  };
  for (const auto& args : cases) {
    EXPECT_EQ(run(args).code, 2) << ::testing::PrintToString(args);
  }
  EXPECT_FALSE(runLog().found) << "nothing ran";
}

}  // namespace
}  // namespace fd
