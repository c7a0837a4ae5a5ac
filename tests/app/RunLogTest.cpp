// The run log's lines as a traceability system reads them, appends that stay whole when
// several writers meet, a torn last line skipped and named, and a log that cannot be
// written told like a lost history record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "app/RunLog.h"
#include "app/SettingsFile.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

RunRecord Sample() {
  RunRecord r;
  r.time = "2026-12-10T22:15:03+01:00";
  r.station = "line-3";
  r.operation = "gang";
  r.sn = "02";
  r.port = "/dev/ttyUSB1";
  r.usbPath = "1-1.2";
  r.usbSerial = "ZK0042";
  r.product = "ZK40F8C12";
  r.file = "m\xE4in";  // a programmer's single byte beyond ASCII
  r.stamp = "240314093012";
  r.sha256 = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
  r.result = kRunFailed;
  r.code = 0x12;
  r.text = "Verify error!";
  r.durationMs = 10873;
  r.version = "1.0";
  return r;
}

TEST(RunLogLine, KeysInTheirOrderProgrammerBytesAsLatin1AndBackAgain) {
  const RunRecord r = Sample();
  EXPECT_EQ(RunRecordLine(r),
            "{\"time\":\"2026-12-10T22:15:03+01:00\",\"station\":\"line-3\",\"operation\":\"gang\",\"sn\":\"02\","
            "\"port\":\"/dev/ttyUSB1\",\"usbPath\":\"1-1.2\",\"usbSerial\":\"ZK0042\",\"product\":\"ZK40F8C12\","
            "\"file\":\"m\xC3\xA4in\",\"stamp\":\"240314093012\","
            "\"sha256\":\"9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08\",\"result\":\"failed\","
            "\"code\":18,\"text\":\"Verify error!\",\"durationMs\":10873,\"version\":\"1.0\"}\n");
  EXPECT_EQ(ParseRunRecordLine(RunRecordLine(r)), r);

  RunRecord ok = r;
  ok.result = kRunOk;
  ok.code.reset();
  ok.port = ok.usbPath = ok.usbSerial = "";
  EXPECT_THAT(RunRecordLine(ok), HasSubstr("\"code\":null"));
  EXPECT_EQ(ParseRunRecordLine(RunRecordLine(ok)), ok);

  // A text that is not UTF-8 never breaks the line; a newline inside a text stays escaped.
  RunRecord odd = r;
  odd.text = "bad \xFF byte\nsecond line";
  const std::string line = RunRecordLine(odd);
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_TRUE(ParseRunRecordLine(line).has_value());
}

TEST(RunLogLine, WhatIsNotAWholeRecordIsRefused) {
  const std::string whole = RunRecordLine(Sample());
  for (const std::string& line : {whole.substr(0, whole.size() / 2), std::string("[]"), std::string("{}"),
                                  std::string("{\"time\":\"x\",\"operation\":\"gang\",\"sn\":2,\"result\":\"ok\"}")}) {
    EXPECT_FALSE(ParseRunRecordLine(line).has_value()) << line;
  }
}

TEST(RunLogFile, AppendsWholeLinesCreatingTheFileAndSkipsATornLastLine) {
  test::TempDir dir;
  RunLog log(dir.path(kRunLogFileName));
  EXPECT_FALSE(log.read().found);
  RunRecord a = Sample();
  RunRecord b = Sample();
  b.sn = "03";
  b.result = kRunOk;
  b.code.reset();
  ASSERT_TRUE(log.append({a, b}));
  ASSERT_TRUE(log.append({a}));
  EXPECT_EQ(dir.read(kRunLogFileName), RunRecordLine(a) + RunRecordLine(b) + RunRecordLine(a));

  // A writer that died in the middle of a line: that line is skipped and named.
  dir.write(kRunLogFileName, dir.read(kRunLogFileName) + RunRecordLine(b).substr(0, 40));
  const RunLog::Read read = log.read();
  EXPECT_TRUE(read.found);
  EXPECT_THAT(read.records, ElementsAre(a, b, a));
  EXPECT_THAT(read.skippedLines, ElementsAre(4u));
}

// Detection asks after every gang run what each programmer was last loaded with; the log
// grows by a line a programmer a run, so only what was added since is read.
TEST(RunLogFile, LoadLinesAreReadAsTheLogGrowsAndAgainWhenItIsReplaced) {
  test::TempDir dir;
  RunLogLoads loads(dir.path(kRunLogFileName));
  EXPECT_TRUE(loads.refresh().empty());  // no log yet
  RunRecord gang = Sample();
  RunRecord load1 = Sample();
  load1.operation = "load";
  load1.file = "load";  // a file name alone does not make a line a load
  RunRecord load2 = load1;
  load2.sn = "03";
  RunRecord named = gang;
  named.file = "load";
  dir.write(kRunLogFileName, RunRecordLine(gang) + RunRecordLine(load1) + RunRecordLine(named));
  EXPECT_THAT(loads.refresh(), ElementsAre(load1));

  // A line being appended is taken once it is whole, and never twice.
  const std::string line2 = RunRecordLine(load2);
  dir.write(kRunLogFileName, dir.read(kRunLogFileName) + line2.substr(0, 30));
  EXPECT_THAT(loads.refresh(), ElementsAre(load1));
  dir.write(kRunLogFileName, dir.read(kRunLogFileName) + line2.substr(30) + RunRecordLine(gang));
  EXPECT_THAT(loads.refresh(), ElementsAre(load1, load2));
  EXPECT_THAT(loads.refresh(), ElementsAre(load1, load2));

  // Cut short or replaced (a new file under the name): read again from its start.
  dir.write(kRunLogFileName, RunRecordLine(load2));
  EXPECT_THAT(loads.refresh(), ElementsAre(load2));
  std::remove(dir.path(kRunLogFileName).c_str());
  dir.write(kRunLogFileName, RunRecordLine(load1) + RunRecordLine(gang) + RunRecordLine(gang));
  EXPECT_THAT(loads.refresh(), ElementsAre(load1));
  std::remove(dir.path(kRunLogFileName).c_str());
  EXPECT_TRUE(loads.refresh().empty());
}

TEST(RunLogFile, ALogThatCannotBeWrittenIsToldAndLeavesNothingBehind) {
  test::TempDir dir;
  std::vector<std::string> told;
  HistoryFailureWatch watch([&told](const std::string& error) { told.push_back(error); });
  // A folder where the file should be.
  ASSERT_EQ(::mkdir(dir.path(kRunLogFileName).c_str(), 0700), 0);
  const FileResult written = RunLog(dir.path(kRunLogFileName)).append({Sample()});
  EXPECT_FALSE(written.ok);
  EXPECT_THAT(written.error, HasSubstr(kRunLogFileName));
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told.front(), written.error);
}

TEST(RunLogFile, WritersAtOnceNeverMixTheirLines) {
  test::TempDir dir;
  const std::string path = dir.path(kRunLogFileName);
  constexpr int kWriters = 4;
  constexpr int kRecords = 40;
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&path, w] {
      RunLog log(path);
      for (int i = 0; i < kRecords; ++i) {
        RunRecord r = Sample();
        r.station = "writer-" + std::to_string(w);
        r.text = std::string(300 + i, 'x');  // long lines, so a torn write would show
        log.append({r, r});
      }
    });
  }
  for (std::thread& t : writers) t.join();
  const RunLog::Read read = RunLog(path).read();
  EXPECT_TRUE(read.skippedLines.empty());
  EXPECT_EQ(read.records.size(), static_cast<std::size_t>(kWriters * kRecords * 2));
  // Each append's two lines stay side by side.
  for (std::size_t i = 0; i + 1 < read.records.size(); i += 2) EXPECT_EQ(read.records[i], read.records[i + 1]);
}

TEST(RunLogSettings, OnUnlessTurnedOffAndTheStationDefaultsToTheHostName) {
  test::TempDir dir;
  SettingsFile settings(dir.path(kSettingsFileName));
  EXPECT_TRUE(RunLogEnabled(settings));
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  EXPECT_EQ(StationName(settings), host);

  settings.write(kSectionRunLog, kKeySaveRunLog, "0");
  settings.write(kSectionRunLog, kKeyStation, "line-3");
  EXPECT_FALSE(RunLogEnabled(settings));
  EXPECT_EQ(StationName(settings), "line-3");
  // "Auto save log" is the history log's alone.
  settings.write(kSectionLog, kKeyAutoSaveLog, "0");
  settings.write(kSectionRunLog, kKeySaveRunLog, "1");
  EXPECT_TRUE(RunLogEnabled(settings));
}

TEST(RunLogTime, IsoLocalTimeCarriesTheZone) {
  const std::string now = IsoLocalTime();
  EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d)"))) << now;
}

}  // namespace
}  // namespace fd
