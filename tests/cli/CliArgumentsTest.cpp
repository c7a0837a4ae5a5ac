// An empty or malformed value never means "everything" or "real hardware": it is a usage
// error naming the option. Limits and failures show in the exit code.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "app/AppState.h"
#include "cli/CliFixture.h"
#include "link/Clock.h"
#include "sim/SimBench.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using test::CliRun;
using test::CliTest;

TEST_F(CliTest, EmptyAndMalformedValuesAreUsageErrorsNamingTheOption) {
  const struct {
    std::vector<std::string> args;
    const char* names;
  } cases[] = {
      {{"--simulate", "", "gang"}, "--simulate"},
      {{"--app-dir", "", "list"}, "--app-dir"},
      {{"--trace", "", "list"}, "--trace"},
      {{"--simulate", "demo", "gang", "--sn", ""}, "--sn"},
      {{"--simulate", "demo", "gang", "--sn", "01,,03"}, "--sn"},
      {{"--simulate", "demo", "gang", "--sn", "09"}, "--sn"},
      {{"--simulate", "demo", "gang", "--sn", "1x"}, "--sn"},
      {{"--simulate", "demo", "info", "--device", ""}, "--device"},
      {{"--simulate", "demo", "info", "--device", "-1"}, "--device"},
      {{"--simulate", "demo", "info", "--device", "0x1"}, "--device"},
      {{"--port", "", "list"}, "--port"},
      {{"--usb-serial", "", "list"}, "--usb-serial"},
      {{"--usb-id", "", "list"}, "--usb-id"},
      {{"--usb-id", "2f3a", "list"}, "--usb-id"},
      {{"--usb-id", "2f3a:00390", "list"}, "--usb-id"},
      {{"--simulate", "demo", "--port", "/dev/ttyUSB0", "list"}, "--port"},
      {{"--simulate", "demo", "--usb-serial", "FD1", "list"}, "--usb-serial"},
      {{"selftest"}, "--device"},
      {{"--simulate", "demo", "selftest", "--device", "0", "--port", "/dev/ttyUSB0"}, "--port"},
      {{"emulate", "--programmers", "0"}, "--programmers"},
      {{"emulate", "--bench", ""}, "--bench"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> all = {"flashdock-cli", "--virtual-time"};
    if (c.args[0] != "--app-dir") all.insert(all.end(), {"--app-dir", dir.dir()});
    all.insert(all.end(), c.args.begin(), c.args.end());
    const CliRun run = raw(all);
    EXPECT_EQ(run.code, 2) << c.names << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.names));
    EXPECT_THAT(run.out, Not(HasSubstr("Result:"))) << "nothing ran";
  }
  EXPECT_FALSE(dir.exists(kHistoryFileName)) << "no session was set up";
}

TEST_F(CliTest, AListThatShowedAnErrorExitsOne) {
  const std::string path = dir.path("bench.json");
  {
    VirtualClock clock;
    auto bench = SimBench::demo(clock);
    bench->programmer(1).faults().busyAfterReset = true;  // never leaves reset
    std::string error;
    ASSERT_TRUE(bench->save(path, error)) << error;
  }
  const CliRun run = cli({"list"}, path);
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.err, HasSubstr("ERROR: Can not reset the programmer!"));
  EXPECT_THAT(run.out, HasSubstr("2 programmers are detected"));
}

TEST_F(CliTest, NineProgrammersAreRefusedByEveryCommand) {
  const std::string path = dir.path("nine.json");
  ASSERT_EQ(cli({"bench-init", path, "--programmers", "8"}, "").code, 0);
  {
    VirtualClock clock;
    auto loaded = SimBench::load(path, clock);
    ASSERT_TRUE(loaded.bench) << loaded.error;
    loaded.bench->attach();
    std::string error;
    ASSERT_TRUE(loaded.bench->save(path, error)) << error;
  }
  for (const std::vector<std::string>& args : {std::vector<std::string>{"list"},
                                               std::vector<std::string>{"info", "--device", "8"},
                                               std::vector<std::string>{"info", "--device", "0"},
                                               std::vector<std::string>{"gang"}}) {
    const CliRun run = cli(args, path);
    EXPECT_EQ(run.code, 1) << args[0] << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr("More programmers are detected.")) << args[0];
  }
}

TEST_F(CliTest, BenchInitWritesABenchThatRunsAndNeverReplacesOneUnasked) {
  const std::string path = dir.path("line.json");
  CliRun made = cli({"bench-init", path, "--demo"}, "");
  ASSERT_EQ(made.code, 0) << made.err;
  EXPECT_THAT(made.out, HasSubstr("3 programmers"));
  const CliRun list = cli({"list"}, path);
  EXPECT_EQ(list.code, 0) << list.err;
  EXPECT_THAT(list.out, HasSubstr("3 programmers are detected"));

  const std::string before = dir.read("line.json");
  const CliRun again = cli({"bench-init", path, "--programmers", "2"}, "");
  EXPECT_EQ(again.code, 1);
  EXPECT_THAT(again.err, HasSubstr("--force"));
  EXPECT_EQ(dir.read("line.json"), before);
  EXPECT_EQ(cli({"bench-init", path, "--programmers", "2", "--force"}, "").code, 0);
  EXPECT_THAT(cli({"list"}, path).out, HasSubstr("2 programmers are detected"));

  EXPECT_EQ(cli({"bench-init", path, "--programmers", "9", "--force"}, "").code, 2);
  EXPECT_EQ(cli({"bench-init", path, "--demo", "--programmers", "2", "--force"}, "").code, 2);
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

// A signal while the gang runs ends it as Cancel does: the record is written, the bench is
// saved, and the exit status says which signal it was.
TEST_F(CliTest, ATerminateSignalDuringAGangEndsItAsCancelWouldAndExits143) {
  const std::string path = dir.path("bench.json");
  {
    VirtualClock clock;
    auto bench = SimBench::demo(clock);
    bench->programmer(0).faults().busyAfterCommands = "S";  // never finishes by itself
    std::string error;
    ASSERT_TRUE(bench->save(path, error)) << error;
  }
  // The signal comes once the command listens for it.
  std::thread sender([] {
    for (;;) {
      struct sigaction now {};
      sigaction(SIGTERM, nullptr, &now);
      if (now.sa_handler != SIG_DFL) break;
      std::this_thread::yield();
    }
    ::kill(::getpid(), SIGTERM);
  });
  const CliRun run = cli({"gang"}, path);
  sender.join();
  EXPECT_EQ(run.code, 128 + SIGTERM) << run.err;
  const std::string log = dir.read(kHistoryFileName);
  EXPECT_NE(log.find("Operation: On-line E.P.V"), std::string::npos) << log;
  VirtualClock clock;
  auto saved = SimBench::load(path, clock);
  ASSERT_TRUE(saved.bench) << saved.error;
  EXPECT_FALSE(saved.bench->programmer(0).epvRunning()) << "the run was stopped, not left going";
}

TEST_F(CliTest, OptionsThatCannotBeSavedSaySoAndExitOne) {
  ASSERT_EQ(cli({"options"}, "").code, 0);
  ASSERT_EQ(::chmod(dir.path(kSettingsFileName).c_str(), 0444), 0);
  const CliRun run = cli({"options", "--auto-save-log", "off"}, "");
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.err, HasSubstr("could not be saved"));
  EXPECT_THAT(run.out, Not(HasSubstr("Auto save log: off")));
}

TEST_F(CliTest, AGangThatSucceededButCouldNotSaveTheBenchSaysBoth) {
  const std::string path = dir.path("bench.json");
  ASSERT_EQ(cli({"bench-init", path, "--demo"}, "").code, 0);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const CliRun run = cli({"gang"}, path);
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.out, HasSubstr("E.P.V is successfully completed."));
  EXPECT_THAT(run.err, HasSubstr("read-only"));
  EXPECT_THAT(run.err, HasSubstr("The run succeeded, but the bench state was not saved."));
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST_F(CliTest, AMissingBenchFileSaysHowToMakeOne) {
  const CliRun run = cli({"list"}, dir.path("none.json"));
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.err, HasSubstr("flashdock-cli bench-init " + dir.path("none.json")));
}

}  // namespace
}  // namespace fd
