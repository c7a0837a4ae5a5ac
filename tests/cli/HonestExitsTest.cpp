// Every run ends and says why: --timeout, JSON that never stops on a byte, the one
// exit-code table, history records that could not be written, file failures with reasons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "cli/CliFixture.h"
#include "cli/JsonText.h"
#include "link/Clock.h"
#include "link/ProgrammerInfo.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class HonestExits : public CliTest {
protected:
  // On-line commands need a product chosen in the settings before they send anything; the
  // demo bench's targets have no supply of their own.
  void SetUp() override { chooseOnlineProduct("ZK40F8C12", "50"); }
  // The demo bench as a file, changed first by `change`.
  template <class Change>
  std::string demoBench(Change change) {
    const std::string path = dir.path("bench.json");
    VirtualClock clock;
    auto bench = SimBench::demo(clock);
    change(*bench);
    std::string error;
    EXPECT_TRUE(bench->save(path, error)) << error;
    return path;
  }
  // The command line in a child process whose files can not grow beyond `limit` bytes, as
  // on a disk that fills up.
  CliRun cliOnFullDisk(const std::vector<std::string>& args, rlim_t limit) {
    int channel[2];
    if (::pipe(channel) != 0) return {-1, "", "no pipe"};
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(channel[0]);
      const rlimit cap{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &cap);
      ::signal(SIGXFSZ, SIG_IGN);
      const CliRun run = cli(args);
      const std::string said = run.err;
      (void)!::write(channel[1], said.data(), said.size());
      ::_exit(run.code);
    }
    ::close(channel[1]);
    std::string err;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) err.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, "", err};
  }
  std::string image(const std::string& name) {
    dir.write(name, SFile({S2(0x4000, Filled(32, 0x11)), kS9}));
    return dir.path(name);
  }
};

TEST_F(HonestExits, ATimeOutEndsALongRunAsCancelWouldAndExitsOne) {
  // Programmer 01 never finishes its run: only the time-out can end the gang.
  const std::string stuck = demoBench([](SimBench& b) { b.programmer(0).faults().busyAfterCommands = "S"; });
  const CliRun gang = cli({"--json", "gang", "--timeout", "5"}, stuck);
  EXPECT_EQ(gang.code, 1) << gang.err;
  EXPECT_THAT(gang.err, HasSubstr("The time-out of 5 s (--timeout) ended the run as Cancel would."));
  EXPECT_EQ(nlohmann::json::parse(gang.out)["success"], false);
  EXPECT_THAT(dir.read(kHistoryFileName), HasSubstr("Operation: On-line E.P.V"));
  VirtualClock clock;
  auto saved = SimBench::load(stuck, clock);
  ASSERT_TRUE(saved.bench) << saved.error;
  EXPECT_FALSE(saved.bench->programmer(0).epvRunning()) << "the run was stopped, and the bench saved";

  // A programmer slow to take the image descriptor is waited for up to 30 s: a shorter
  // time-out ends the load first.
  const std::string slow = demoBench([](SimBench& b) {
    b.programmer(0).faults().errors.push_back(SimErrorFault{'D', "descriptor", 0, SimFaultAction::kDelay, 600000});
  });
  const CliRun load = cli({"load", image("app.mot"), "--sn", "01", "--timeout", "2.5"}, slow);
  EXPECT_EQ(load.code, 1) << load.err;
  EXPECT_THAT(load.err, HasSubstr("(--timeout)"));
}

TEST_F(HonestExits, TimeOutValuesAndCommandsThatTakeIt) {
  const struct {
    std::vector<std::string> args;
    int code;
  } cases[] = {
      {{"gang", "--timeout", ""}, 2},        {{"gang", "--timeout", "0"}, 2},
      {{"gang", "--timeout", "five"}, 2},    {{"gang", "--timeout", "-1"}, 2},
      {{"gang", "--timeout", "5s"}, 2},      {{"list", "--timeout", "5"}, 2},
      {{"gang", "--timeout", "600"}, 0},     {{"erase", "--sn", "01", "--all", "--timeout", "60"}, 0},
  };
  for (const auto& c : cases) {
    const CliRun run = cli(c.args);
    EXPECT_EQ(run.code, c.code) << testing::PrintToString(c.args) << '\n' << run.err;
  }
}

TEST_F(HonestExits, AFirmwareUpdatePastItsFirstEraseRunsToItsEnd) {
  dir.write("bench.json", R"({"programmers": [{"updateJumpers": true}]})");
  std::vector<std::string> lines;
  for (std::uint32_t page = 0xFFD00; page < 0x100000; page += 0x100) lines.push_back(S2(page, Filled(64, 0x5A)));
  lines.push_back(kS8);
  dir.write("new.mot", SFile(lines));
  // Before the first erase the time-out cancels; after it the update goes on and the exit
  // is its own.
  const CliRun early = cli({"update-firmware", dir.path("new.mot"), "--yes", "--timeout", "0.1"}, dir.path("bench.json"));
  EXPECT_EQ(early.code, 1) << early.err;
  EXPECT_THAT(early.err, HasSubstr("ended the run as Cancel would"));
  const CliRun late = cli({"update-firmware", dir.path("new.mot"), "--yes", "--timeout", "1"}, dir.path("bench.json"));
  EXPECT_EQ(late.code, 0) << late.err;
  EXPECT_THAT(late.err, HasSubstr("The programmer is updated."));
  EXPECT_THAT(late.err, HasSubstr("it was held until the update ended"));
}

TEST_F(HonestExits, JsonCarriesAProgrammersBytesAsLatin1AndAFileNameWithItsInvalidBytesEscaped) {
  const std::string path = demoBench([](SimBench& b) {
    ProgrammerInfo& block = b.programmer(0).setup().info;
    block[info::kNames] = 0xC9;             // 'É' in the product's name
    block[info::kFileName + 1] = 0xFF;      // 'ÿ' in the file's name
  });
  const CliRun list = cli({"--json", "list"}, path);
  ASSERT_EQ(list.code, 0) << list.err;
  const auto rows = nlohmann::json::parse(list.out)["rows"];
  EXPECT_EQ(rows[0]["product"].get<std::string>().substr(0, 2), "\xC3\x89");
  EXPECT_THAT(rows[0]["file"].get<std::string>(), HasSubstr("\xC3\xBF"));
  const CliRun info = cli({"--json", "info", "--device", "0"}, path);
  ASSERT_EQ(info.code, 0) << info.err;
  EXPECT_EQ(nlohmann::json::parse(info.out)["product"].get<std::string>().substr(0, 2), "\xC3\x89");

  const std::string name = image("caf\xE9-\xFF.mot");
  const CliRun load = cli({"--json", "load", name, "--sn", "03"}, path);
  ASSERT_EQ(load.code, 0) << load.err;
  const auto j = nlohmann::json::parse(load.out);
  EXPECT_THAT(j["file"].get<std::string>(), HasSubstr("caf\\xE9-\\xFF.mot"));
  EXPECT_EQ(j["success"], true);
}

TEST(JsonText, KeepsValidUtf8AndEscapesEveryInvalidByte) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "plain"},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},        // valid UTF-8 stays
      {"\xE9t\xE9", "\\xE9t\\xE9"},                       // Latin-1 bytes are not UTF-8
      {"\xC0\xAF", "\\xC0\\xAF"},                         // an overlong '/'
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},                // a surrogate
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},           // four bytes
      {"ab\xE2\x82", "ab\\xE2\\x82"},                     // cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8OrEscaped(c.in), c.out) << c.in;
    EXPECT_NO_THROW(nlohmann::json::parse(JsonText(nlohmann::json{{c.in, c.in}})));
  }
  EXPECT_EQ(Latin1Text("A\xE9\xFF"), "A\xC3\xA9\xC3\xBF");
}

TEST_F(HonestExits, ExitCodesFollowOneTable) {
  const struct {
    std::vector<std::string> args;
    std::string simulate;
    int code;
    std::string err;
  } cases[] = {
      {{"list"}, "9", 2, "--simulate takes 0 to 8"},
      {{"list"}, "-1", 2, "--simulate takes 0 to 8"},
      {{"list"}, "+3", 2, "--simulate takes 0 to 8"},
      {{"gang", "--sn", "05"}, "demo", 1, "ERROR: No programmer 05 is detected."},
      {{"load", "x.mot", "--sn", "05"}, "demo", 1, "ERROR: No programmer 05 is detected."},
      {{"erase", "--sn", "05", "--all"}, "demo", 1, "ERROR: No programmer 05 is detected."},
      {{"read", "--sn", "05", "--blocks", "0", "-o", "out.mot"}, "demo", 1, "ERROR: No programmer 05 is detected."},
      {{"setup", "--sn", "05", "--online"}, "demo", 1, "ERROR: No programmer 05 is detected."},
  };
  for (const auto& c : cases) {
    const CliRun run = cli(c.args, c.simulate);
    EXPECT_EQ(run.code, c.code) << testing::PrintToString(c.args) << ' ' << c.simulate << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.err));
  }
}

TEST_F(HonestExits, ARecordTheHistoryLogDidNotTakeFailsEveryCommandAlike) {
  ASSERT_EQ(cli({"options", "--auto-save-log", "on"}, "").code, 0);
  ASSERT_EQ(::chmod(dir.path(kHistoryFileName).c_str(), 0444), 0);
  const struct {
    std::vector<std::string> args;
  } cases[] = {
      {{"--json", "gang"}},
      {{"--json", "load", image("app.mot"), "--sn", "01"}},
  };
  for (const auto& c : cases) {
    const CliRun run = cli(c.args);
    EXPECT_EQ(run.code, 1) << c.args[1] << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr("ERROR: The history record could not be written."));
    EXPECT_EQ(nlohmann::json::parse(run.out)["success"], false) << "never success with a non-zero exit";
  }
}

TEST_F(HonestExits, AProgrammerThatNeverAnswersIsSaidNotPassedOverInSilence) {
  const struct {
    char command;
    const char* stage;
    std::vector<std::string> args;
  } cases[] = {
      {'C', "connect", {"program", "", "--sn", "01"}},
      {'C', "connect", {"erase", "--sn", "01", "--all"}},
      {'C', "connect", {"read", "--sn", "01", "--blocks", "0", "-o", "c.mot"}},
      {'R', "read", {"read", "--sn", "01", "--blocks", "0", "-o", "r.mot"}},
  };
  const std::string file = image("app.mot");
  for (auto c : cases) {
    const std::string path = demoBench([&](SimBench& b) {
      b.programmer(0).faults().errors.push_back(SimErrorFault{c.command, c.stage, 0, SimFaultAction::kNoAnswer, 0});
    });
    if (c.args[0] == "program") c.args[1] = file;
    if (c.args[0] == "read") c.args.back() = dir.path(c.args.back());
    const CliRun run = cli(c.args, path);
    EXPECT_EQ(run.code, 1) << c.args[0] << ' ' << c.command << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr("ERROR: ")) << c.args[0] << ' ' << c.command;
  }
}

TEST_F(HonestExits, FileFailuresSayTheReasonAfterTheWindowsText) {
  std::filesystem::create_directory(dir.path("folder.mot"));
  const CliRun folder = cli({"load", dir.path("folder.mot"), "--sn", "01"});
  EXPECT_EQ(folder.code, 1);
  EXPECT_THAT(folder.err, HasSubstr("ERROR: Can not open selected file! "));
  EXPECT_THAT(folder.err, HasSubstr("folder.mot\" is a folder"));
  const CliRun missing = cli({"program", dir.path("none.mot"), "--sn", "01"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.err, HasSubstr("Can not open selected file! The file"));
  EXPECT_THAT(missing.err, HasSubstr("does not exist"));
}

TEST_F(HonestExits, ATraceTheDiskCouldNotTakeIsSaidAndLeavesNoEmptyFile) {
  ASSERT_EQ(cli({"options"}).code, 0);  // the app folder's files exist before the limit
  const std::string trace = dir.path("trace.txt");
  const CliRun cut = cliOnFullDisk({"--trace", trace, "gang"}, 16 * 1024);
  EXPECT_EQ(cut.code, 1) << cut.err;
  EXPECT_THAT(cut.err, HasSubstr("could not be written whole"));

  const std::string none = dir.path("none.txt");
  const CliRun unopened = cliOnFullDisk({"--trace", none, "list"}, 4);
  EXPECT_EQ(unopened.code, 1) << unopened.err;
  EXPECT_THAT(unopened.err, HasSubstr("Can not create the trace file"));
  EXPECT_FALSE(dir.exists("none.txt")) << "no empty trace left behind";
}

}  // namespace
}  // namespace fd::test
