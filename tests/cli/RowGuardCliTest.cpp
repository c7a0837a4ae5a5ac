// What the command line does when an attached programmer failed detection (it keeps its
// row number; a command that acts on it refuses, the others go on), when the on-line product's line cannot be read (a default would reach the
// target), and the lines it prints instead of answering its own questions silently.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "cli/CliFixture.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using test::CliRun;

class RowGuardCliTest : public test::CliTest {
protected:
  // The demo bench in a file, the first programmer given `faults`.
  void benchWith(const SimFaults& faults) {
    VirtualClock clock;
    auto demo = SimBench::demo(clock);
    demo->programmer(0).setFaults(faults);
    std::string error;
    ASSERT_TRUE(demo->save(bench, error)) << error;
  }
  CliRun run(std::vector<std::string> args) {
    std::vector<std::string> all = {"--trace", trace};
    all.insert(all.end(), args.begin(), args.end());
    if (dir.exists("trace.txt")) std::remove(trace.c_str());
    return cli(all, bench);
  }
  SimProgrammerSetup programmer(std::size_t slot) {
    VirtualClock clock;
    auto loaded = SimBench::load(bench, clock);
    EXPECT_TRUE(loaded.bench) << loaded.error;
    return loaded.bench->programmer(slot).setup();
  }
  // Single-byte writes of `command` in the last run's trace.
  int commandWrites(const char* hexByte) const {
    const std::string lines = dir.read("trace.txt");
    const std::string mark = std::string("[") + hexByte + "] sent";
    int n = 0;
    for (auto at = lines.find(mark); at != std::string::npos; at = lines.find(mark, at + 1)) ++n;
    return n;
  }
  void onlineSettings(const char* product) {
    ASSERT_EQ(cli({"options"}, "").code, 0);  // the first-run settings
    SettingsFile settings(dir.path(kSettingsFileName));
    settings.write(kSectionProgrammer, kKeyProductNumber, product);
    settings.write(kSectionProgrammer, kKeyPowerSet, "30");
  }

  std::string bench = dir.path("bench.json");
  std::string trace = dir.path("trace.txt");
};

TEST_F(RowGuardCliTest, WithTheFirstProgrammerFailingItsResetSetupSn01ChangesNothing) {
  SimFaults faults;
  faults.busyAfterReset = true;
  benchWith(faults);
  const ProgrammerInfo second = programmer(1).info;
  const CliRun run = this->run({"setup", "--sn", "01", "--offline", "--power", "5"});
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Programmer 01 (device index 0) got no row: Can not reset the programmer!"));
  EXPECT_THAT(run.err, HasSubstr("nothing was done"));
  EXPECT_EQ(commandWrites("42"), 0);  // no header write
  EXPECT_EQ(programmer(1).info, second);
  EXPECT_EQ(programmer(1).info[info::kPower], second[info::kPower]);
}

TEST_F(RowGuardCliTest, EveryCommandThatActsOnAProgrammerLeftOutRefuses) {
  const struct {
    const char* name;
    SimFaults faults;
    const char* why;
  } failures[] = {
      {"reset", [] { SimFaults f; f.busyAfterReset = true; return f; }(), "Can not reset the programmer!"},
      {"open", [] { SimFaults f; f.refusedCalls = {"open"}; return f; }(), "it could not be opened"},
      {"line", [] { SimFaults f; f.refusedCalls = {"baudRate"}; return f; }(), "its line could not be set up"},
      {"info", [] { SimFaults f; f.busyAfterCommands = "I"; return f; }(), "it did not give its information block"},
  };
  dir.write("app.mot", test::SFile({test::S2(0x4000, test::Counting(16, 1)), test::kS9}));
  const std::vector<std::vector<std::string>> commands = {
      {"setup", "--sn", "01", "--online", "--power", "3"},
      {"load", dir.path("app.mot"), "--sn", "01"},
      {"program", dir.path("app.mot"), "--sn", "01"},
      {"erase", "--sn", "01", "--all"},
      {"read", "--sn", "01", "--start", "4000", "--end", "40FF", "-o", dir.path("out.mot")},
      {"gang", "--sn", "01"},
      {"gang"},
  };
  for (const auto& failure : failures) {
    benchWith(failure.faults);
    for (const auto& command : commands) {
      SCOPED_TRACE(std::string(failure.name) + ": " + command[0]);
      const CliRun run = this->run(command);
      EXPECT_EQ(run.code, 1) << run.err;
      EXPECT_THAT(run.err, HasSubstr(std::string("Programmer 01 (device index 0) got no row: ") + failure.why));
      EXPECT_THAT(run.err, HasSubstr("nothing was done"));
      EXPECT_EQ(commandWrites("53"), 0);  // no gang start
      EXPECT_EQ(commandWrites("44"), 0);  // no load
      EXPECT_EQ(commandWrites("43"), 0);  // no target connected
      EXPECT_FALSE(dir.exists("out.mot"));
    }
    // The list shows the rows it has, each with its own number, names the one left out
    // and fails.
    const CliRun list = this->run({"list"});
    EXPECT_EQ(list.code, 1) << failure.name;
    EXPECT_THAT(list.out, HasSubstr("2 programmers are detected"));
    EXPECT_THAT(list.out, HasSubstr(">x 02  ZK40G16B"));
    EXPECT_THAT(list.out, HasSubstr(" x 03  ZK40H128R1"));
    EXPECT_THAT(list.err, HasSubstr(std::string("Programmer 01 (device index 0) got no row: ") + failure.why));
    const CliRun json = this->run({"--json", "list"});
    EXPECT_EQ(json.code, 1);
    const auto j = nlohmann::json::parse(json.out);
    ASSERT_EQ(j["notListed"].size(), 1u) << failure.name;
    EXPECT_EQ(j["notListed"][0]["deviceIndex"], 0);
    EXPECT_EQ(j["notListed"][0]["sn"], "01");
  }
}

TEST_F(RowGuardCliTest, AProgrammerLeftOutKeepsItsNumberAndTheOthersWorkUnderTheirOwn) {
  SimFaults faults;
  faults.busyAfterReset = true;
  benchWith(faults);
  const ProgrammerInfo third = programmer(2).info;
  // 02 is still the demo's second programmer: its setup changes, and nobody else's.
  const CliRun setup = run({"setup", "--sn", "02", "--offline", "--power", "5"});
  ASSERT_EQ(setup.code, 0) << setup.err;
  EXPECT_THAT(setup.err, Not(HasSubstr("got no row")));
  EXPECT_EQ(programmer(1).info[info::kPower], 0x50);
  EXPECT_EQ(programmer(2).info, third);
  // Only the programmer the command acts on is opened (and so reset and locked).
  const std::string trace = dir.read("trace.txt");
  EXPECT_THAT(trace, HasSubstr("Open index=1 "));
  EXPECT_THAT(trace, Not(HasSubstr("Open index=0 ")));
  EXPECT_THAT(trace, Not(HasSubstr("Open index=2 ")));

  const CliRun info = run({"--json", "list"});
  const auto j = nlohmann::json::parse(info.out);
  ASSERT_EQ(j["rows"].size(), 2u);
  EXPECT_EQ(j["rows"][0]["sn"], "02");
  EXPECT_EQ(j["rows"][0]["product"], "ZK40G16B");
  EXPECT_EQ(j["rows"][1]["sn"], "03");

  // A list that names the one left out refuses; one without it goes on.
  const CliRun both = run({"setup", "--sn", "01,03", "--offline", "--power", "3"});
  EXPECT_EQ(both.code, 1);
  EXPECT_THAT(both.err, HasSubstr("Programmer 01 (device index 0) got no row"));
  EXPECT_EQ(programmer(2).info, third);
  const CliRun gang = run({"gang", "--sn", "03"});
  EXPECT_THAT(gang.err, Not(HasSubstr("got no row"))) << gang.err;
  EXPECT_THAT(gang.out, HasSubstr("03"));
  EXPECT_EQ(commandWrites("53"), 1);  // one gang start, on 03 alone
}

TEST_F(RowGuardCliTest, ProgramOfAProductTheDatabaseDoesNotHoldSendsNothing) {
  benchWith({});
  onlineSettings("ZK40NOSUCH");
  dir.write("app.mot", test::SFile({test::S2(0x4000, test::Counting(16, 1)), test::kS9}));
  const struct {
    std::vector<std::string> args;
  } cases[] = {
      {{"program", dir.path("app.mot"), "--sn", "01"}},
      {{"erase", "--sn", "01", "--all"}},
      {{"read", "--sn", "01", "--start", "4000", "--end", "40FF", "-o", dir.path("out.mot")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const CliRun run = this->run(c.args);
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr("ERROR: Can not find the product ZK40NOSUCH in the MCU file!"));
    EXPECT_THAT(run.err, Not(HasSubstr("Selected file is loaded")));
    EXPECT_EQ(commandWrites("43"), 0);  // no connection, so no power and no ID code
    EXPECT_EQ(commandWrites("50"), 0);  // no program command
    EXPECT_EQ(commandWrites("55"), 0);
  }
}

TEST_F(RowGuardCliTest, AnsweredQuestionsAreSaidOnceWithTheFlagThatAnsweredThem) {
  benchWith({});
  dir.write("app.mot", test::SFile({test::S2(0x4000, test::Counting(16, 1)), test::kS9}));
  ASSERT_EQ(run({"load", dir.path("app.mot"), "--sn", "01"}).code, 0);
  const CliRun again = run({"load", dir.path("app.mot"), "--sn", "01", "--if-same", "name-only"});
  ASSERT_EQ(again.code, 0) << again.err;
  EXPECT_THAT(again.err, HasSubstr("INFO: \"The selected file has already existed in the programmer.\" answered No "
                                   "by --if-same name-only"));
  EXPECT_THAT(again.err, Not(HasSubstr("Reload anyway?")));
}

TEST_F(RowGuardCliTest, ASlowProgrammerIsSaidToBeWaitedForOnce) {
  SimFaults faults;
  faults.errors.push_back({'D', "descriptor", 0, SimFaultAction::kNoAnswer});
  benchWith(faults);
  dir.write("app.mot", test::SFile({test::S2(0x4000, test::Counting(16, 1)), test::kS9}));
  const CliRun run = this->run({"load", dir.path("app.mot"), "--sn", "01"});
  EXPECT_EQ(run.code, 1);
  const std::string said = "INFO: Waiting for the programmer to prepare its store";
  const auto first = run.err.find(said);
  ASSERT_NE(first, std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(said, first + 1), std::string::npos);
}

TEST_F(RowGuardCliTest, AFourDigitProductsReadPrintsFourDigitAddresses) {
  benchWith({});
  onlineSettings("ZK40A14P");
  SettingsFile(dir.path(kSettingsFileName)).write(kSectionProgrammer, kKeyPowerSet, "50");
  const CliRun read = run({"read", "--sn", "01", "--start", "F000", "--end", "F0FF", "-o", dir.path("a.mot")});
  ASSERT_EQ(read.code, 0) << read.err;
  EXPECT_THAT(read.out, HasSubstr("Read F000 to F0FF (256 bytes)"));
  const CliRun blocks = run({"blocks", "ZK40A14P"});
  EXPECT_THAT(blocks.out, HasSubstr("User flash  0xE000-0xFFFF (8192 bytes)"));
}

}  // namespace
}  // namespace fd
