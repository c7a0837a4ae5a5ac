// Real copies of flashdock-cli started together, as a production line's script starts one
// command per programmer: on one bench file and one app folder, nothing one of them does
// may be lost to another (the loads, the history records, the settings changes).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "link/Clock.h"
#include "sim/SimBench.h"
#include "support/ForeignLock.h"
#include "support/SRecordText.h"
#include "support/TempDir.h"

extern char** environ;

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::TempDir;

struct Started {
  pid_t pid = -1;
  std::string out;  // file names of its output
  std::string err;
};

struct Ended {
  int code = -1;
  std::string err;
};

class TwoProcesses : public ::testing::Test {
protected:
  TwoProcesses() : data(test::RandomBytes(3000, 5)) {
    VirtualClock clock;
    std::string error;
    EXPECT_TRUE(SimBench::demo(clock)->save(bench, error)) << error;
    dir.write("app.mot", test::S2Image(0x4000, data));
  }

  // Starts the real program with the session options, its output into files of its own.
  Started start(const std::vector<std::string>& args, const std::string& simulate) {
    std::vector<std::string> all = {FLASHDOCK_CLI, "--virtual-time", "--app-dir", appDir, "--simulate", simulate};
    all.insert(all.end(), args.begin(), args.end());
    Started s;
    const std::string tag = std::to_string(count_++);
    s.out = dir.path("out" + tag + ".txt");
    s.err = dir.path("err" + tag + ".txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&s.pid, FLASHDOCK_CLI, &actions, nullptr, argv.data(), environ) != 0) s.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return s;
  }

  Ended wait(const Started& s) {
    Ended e;
    int status = 0;
    if (s.pid > 0 && ::waitpid(s.pid, &status, 0) == s.pid && WIFEXITED(status)) e.code = WEXITSTATUS(status);
    std::ifstream in(s.err);
    std::stringstream text;
    text << in.rdbuf();
    e.err = text.str();
    return e;
  }

  SimProgrammerSetup programmer(std::size_t slot) {
    VirtualClock clock;
    auto loaded = SimBench::load(bench, clock);
    EXPECT_TRUE(loaded.bench) << loaded.error;
    return loaded.bench ? loaded.bench->programmer(slot).setup() : SimProgrammerSetup{};
  }

  test::Bytes bytesAt4000(const SimPages& pages) const {
    test::Bytes out;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto page = pages.find(static_cast<std::uint16_t>((0x4000 + i) >> 8));
      out.push_back(page == pages.end() ? 0xFF : page->second[(0x4000 + i) & 0xFF]);
    }
    return out;
  }

  TempDir dir;
  std::string appDir = dir.path("app");
  std::string bench = dir.path("bench.json");
  test::Bytes data;

private:
  int count_ = 0;
};

TEST_F(TwoProcesses, StartedTogetherOnOneBenchAndOneAppFolderNothingIsLost) {
  std::vector<Started> started;
  // Two loads on the one bench file (programmers 01 and 03 take the image at 0x4000).
  started.push_back(start({"load", dir.path("app.mot"), "--sn", "01"}, bench));
  started.push_back(start({"load", dir.path("app.mot"), "--sn", "03"}, bench));
  // Loads on benches of their own, all logging into the one history log.
  for (int i = 0; i < 6; ++i) started.push_back(start({"load", dir.path("app.mot"), "--sn", "01"}, "demo"));
  // Two settings changes, each of its own key (and the same product).
  started.push_back(start({"setup", "--sn", "01", "--online", "--product", "ZK40F8C12", "--power", "3"}, "demo"));
  started.push_back(
      start({"setup", "--sn", "01", "--online", "--product", "ZK40F8C12", "--id", "0102030405060A"}, "demo"));
  for (const Started& s : started) {
    ASSERT_GT(s.pid, 0) << "cannot start " << FLASHDOCK_CLI;
  }
  for (const Started& s : started) {
    const Ended e = wait(s);
    EXPECT_EQ(e.code, 0) << e.err;
  }

  // Both loads landed in the bench.
  EXPECT_EQ(bytesAt4000(programmer(0).image), data) << "programmer 01's load was lost";
  EXPECT_EQ(bytesAt4000(programmer(2).image), data) << "programmer 03's load was lost";

  // Every record whole, under its own date line.
  const std::string log = dir.read("app/" + std::string(kHistoryFileName));
  const std::regex dateLine(R"(\d{4}-\d\d-\d\d, \d\d:\d\d:\d\d  Operation: Off-line Load)");
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t end; (end = log.find("\r\n", from)) != std::string::npos; from = end + 2) {
    lines.push_back(log.substr(from, end - from));
  }
  EXPECT_EQ(from, log.size()) << "the log ends in a whole line";
  int records = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].starts_with("No.")) continue;
    ++records;
    EXPECT_THAT(lines[i], HasSubstr(" | app             .mot | Load successfully")) << "line " << i;
    ASSERT_GE(i, 2u) << log;
    EXPECT_TRUE(std::regex_match(lines[i - 1], dateLine)) << "line " << i << " is not under its date line:\n" << log;
    EXPECT_EQ(lines[i - 2], "") << log;
  }
  EXPECT_EQ(records, 8) << log;
  EXPECT_EQ(lines.size(), 3u * 8) << log;

  // Both settings changes kept.
  const SettingsFile settings(appDir + "/" + kSettingsFileName);
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyPowerSet), "30");
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyIdCode), "0102030405060A");
}

TEST_F(TwoProcesses, ASecondProgramWaitsOnceSaidThenGivesUpNamingTheHolder) {
  // Another program holds the bench for longer than this one waits.
  test::ForeignLock holder(bench + ".lock");
  ASSERT_TRUE(holder.held());
  // Waits of less than a second go unsaid; this one is said.
  const Ended e = wait(start({"--lock-wait", "1.3", "list"}, bench));
  EXPECT_EQ(e.code, 1);
  const std::string pid = std::to_string(::getpid());
  EXPECT_THAT(e.err, HasSubstr("INFO: Waiting for process " + pid + ", which is using \"" + bench +
                               "\" (at most 1.3 s).\n"));
  EXPECT_THAT(e.err, HasSubstr("ERROR: The file \"" + bench + "\" is in use by process " + pid));
  const std::size_t first = e.err.find("Waiting");
  EXPECT_EQ(e.err.find("Waiting", first + 1), std::string::npos) << "said once: " << e.err;
}

TEST_F(TwoProcesses, AnEmptyOrMalformedLockWaitIsAUsageError) {
  for (const char* value : {"", "soon", "-1", "1e3"}) {
    const Ended e = wait(start({"--lock-wait", value, "list"}, "1"));
    EXPECT_EQ(e.code, 2) << value;
    EXPECT_THAT(e.err, HasSubstr("--lock-wait")) << value;
  }
}

}  // namespace
}  // namespace fd
