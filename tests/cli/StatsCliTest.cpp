// `stats` on a fixture run log: per programmer the runs, passes, yield and failure reasons,
// programmers known by USB serial before their row, two stations, a date filter, and a torn
// last line skipped and reported.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/RunLog.h"
#include "app/RunStats.h"
#include "cli/CliFixture.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::CliRun;

RunRecord Line(const char* time, const char* station, const char* sn, const char* serial, const char* result,
               const char* text) {
  RunRecord r;
  r.time = time;
  r.station = station;
  r.operation = "gang";
  r.sn = sn;
  r.usbSerial = serial;
  r.port = *serial ? std::string("/dev/ttyUSB") + sn[1] : std::string();
  r.result = result;
  r.text = text;
  return r;
}

class StatsCliTest : public test::CliTest {
protected:
  StatsCliTest() {
    const std::vector<RunRecord> lines = {
        Line("2026-12-01T08:00:00.000+01:00", "line-1", "01", "ZK01", kRunOk, "E.P.V is successfully completed."),
        Line("2026-12-01T08:00:00.000+01:00", "line-1", "02", "ZK02", kRunFailed, "Break during ID check!"),
        // The same programmers plugged into each other's sockets: counted by USB serial.
        Line("2026-12-02T08:00:00.000+01:00", "line-1", "01", "ZK02", kRunFailed, "Break during ID check!"),
        Line("2026-12-02T08:00:00.000+01:00", "line-1", "02", "ZK01", kRunOk, "E.P.V is successfully completed."),
        Line("2026-12-03T08:00:00.000+01:00", "line-1", "01", "ZK02", kRunOk, "E.P.V is successfully completed."),
        Line("2026-12-03T09:00:00.000+01:00", "line-2", "01", "", kRunCanceled, "Canceled"),
    };
    std::string text;
    for (const RunRecord& r : lines) text += RunRecordLine(r);
    const std::string torn = RunRecordLine(lines.front());
    dir.write(kRunLogFileName, text + torn.substr(0, torn.size() / 2));
  }
  CliRun stats(std::vector<std::string> args) {
    args.insert(args.begin(), "stats");
    return cli(args);
  }
};

TEST_F(StatsCliTest, CountsEachProgrammerByItsUsbSerialAndReportsTheTornLine) {
  const CliRun run = stats({});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("WARNING: Line 7 of the run log is not a whole record"));
  // ZK01: 2 runs, 2 passed; ZK02: 3 runs, 1 passed, the ID check twice; line-2's 01: canceled.
  EXPECT_THAT(run.out, HasSubstr("SN  Port            USB serial    Runs  Passed   Yield  Failures\n"
                                 "02  /dev/ttyUSB2    ZK01             2       2  100.0%\n"
                                 "01  /dev/ttyUSB1    ZK02             3       1   33.3%  Break during ID check! x2\n"
                                 "01  -               -                1       0    0.0%  Canceled x1\n"));
  EXPECT_THAT(run.out, HasSubstr("Total: 6 runs, 3 passed, 3 failed, yield 50.0%"));
}

TEST_F(StatsCliTest, StationAndSinceNarrowTheCountAndJsonGivesTheSame) {
  const CliRun run = stats({"--station", "line-1", "--since", "2026-12-02"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out, HasSubstr("Total: 3 runs, 2 passed, 1 failed, yield 66.7%"));

  const CliRun json = cli({"--json", "stats", "--station", "line-2"});
  ASSERT_EQ(json.code, 0) << json.err;
  const auto j = nlohmann::json::parse(json.out);
  ASSERT_EQ(j["programmers"].size(), 1u);
  EXPECT_EQ(j["programmers"][0]["sn"], "01");
  EXPECT_EQ(j["programmers"][0]["runs"], 1);
  EXPECT_EQ(j["programmers"][0]["failures"][0]["text"], "Canceled");
  EXPECT_EQ(j["skippedLines"], nlohmann::json::array({7}));
  EXPECT_EQ(j["yield"], 0.0);
}

TEST_F(StatsCliTest, MalformedFiltersAreUsageErrorsAndAMissingLogFails) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--since", ""}, {"--since", "2026-13-01"}, {"--since", "1.12.2026"}, {"--station", ""}}) {
    const CliRun run = stats(args);
    EXPECT_EQ(run.code, 2) << args[0] << " " << args[1];
  }
  std::remove(dir.path(kRunLogFileName).c_str());
  const CliRun none = stats({});
  EXPECT_EQ(none.code, 1);
  EXPECT_THAT(none.err, HasSubstr("no run log"));
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST_F(StatsCliTest, HtmlWritesOnePageWithABarPerProgrammerAndReplacesOnlyWhenAsked) {
  const std::string report = dir.path("yield.html");
  const CliRun run = stats({"--station", "line-1", "--html", report});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string page = dir.read("yield.html");
  EXPECT_THAT(page, HasSubstr("<svg "));
  EXPECT_THAT(page, HasSubstr("of station line-1"));
  // One bar a programmer, its label and its yield: ZK01 2 of 2, ZK02 1 of 3.
  EXPECT_THAT(page, HasSubstr("<title>02 (ZK01): 100.0%</title>"));
  EXPECT_THAT(page, HasSubstr("<title>01 (ZK02): 33.3%</title>"));
  EXPECT_THAT(page, HasSubstr("Break during ID check! &times;2"));
  EXPECT_THAT(page, ::testing::Not(HasSubstr("line-2")));

  // Not replaced unless asked; never one of the program's own files; an empty name.
  dir.write("yield.html", "mine");
  EXPECT_EQ(stats({"--html", report}).code, 2);
  EXPECT_EQ(dir.read("yield.html"), "mine");
  EXPECT_EQ(stats({"--html", report, "--force"}).code, 0);
  EXPECT_THAT(dir.read("yield.html"), HasSubstr("<svg "));
  const std::string log = dir.read(kRunLogFileName);
  EXPECT_EQ(stats({"--html", dir.path(kRunLogFileName), "--force"}).code, 2);
  EXPECT_EQ(dir.read(kRunLogFileName), log);
  EXPECT_EQ(stats({"--html", ""}).code, 2);
}

TEST(RunStatsHtml, TextsFromTheLogAreEscaped) {
  RunStats stats;
  ProgrammerStats p;
  p.sn = "01";
  p.runs = 1;
  p.failures["<script>alert(1)</script> & \"x\""] = 1;
  stats.programmers.push_back(p);
  stats.runs = 1;
  RunStatsFilter filter;
  filter.station = "<b>";
  const std::string page = RunStatsHtml(stats, filter, "now");
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_EQ(page.find("<b>"), std::string::npos);
  EXPECT_THAT(page, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;x&quot;"));
}

}  // namespace
}  // namespace fd
