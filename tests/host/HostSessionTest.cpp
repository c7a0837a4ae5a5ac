#include "host/HostSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "link/Clock.h"
#include "link/serial/SerialBridge.h"
#include "sim/SimBench.h"
#include "support/ForeignLock.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using test::AsPlainUser;
using test::TempDir;

// A bench file as a user would write it by hand: the session's own format differs.
constexpr const char* kHandWrittenBench = "{ \"programmers\": [ {\"attached\": true}, {\"attached\": true} ] }\n";

TEST(HostSession, OptionsThatCannotBeHonouredSayWhy) {
  TempDir dir;
  const struct {
    HostOptions options;
    std::string error;
  } cases[] = {
      {{.simulate = "nine", .appDir = dir.dir()}, "nine"},
      {{.simulate = "12", .appDir = dir.dir()}, "0 to 8"},
      {{.simulate = dir.path("none.json"), .appDir = dir.dir()}, "none.json"},
      {{.simulate = "demo", .appDir = dir.dir(), .tracePath = dir.path("no/such/folder/trace.txt")}, "trace"},
      {{.simulate = "demo", .appDir = dir.path("settings.ini/sub")}, "settings.ini"},
  };
  dir.write("settings.ini", "x");
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(HostSession::create(c.options, nullptr, error), nullptr) << c.error;
    EXPECT_THAT(error, HasSubstr(c.error));
  }
}

TEST(HostSession, ASimulatedSessionHasItsBenchAndItsFolder) {
  TempDir dir;
  std::string error;
  auto session = HostSession::create({.simulate = "demo", .appDir = dir.path("new/app")}, nullptr, error);
  ASSERT_TRUE(session) << error;
  ASSERT_NE(session->bench(), nullptr);
  EXPECT_EQ(session->state().appDir, dir.path("new/app/"));
  std::uint32_t count = 0;
  EXPECT_EQ(session->bridge().BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 3u);
}

TEST(HostSession, TheTraceFileGetsEveryBridgeCall) {
  TempDir dir;
  std::string error;
  {
    auto session = HostSession::create(
        {.simulate = "1", .appDir = dir.dir(), .tracePath = dir.path("trace.txt")}, nullptr, error);
    ASSERT_TRUE(session) << error;
    std::uint32_t count = 0;
    session->bridge().BridgeGetNumDevices(count);
    BridgeHandle handle = kNoHandle;
    session->bridge().BridgeOpen(0, handle);
    session->bridge().BridgeSetFlowControl(handle, kResetLine);
  }
  const std::string trace = dir.read("trace.txt");
  EXPECT_THAT(trace, StartsWith(std::string(kTraceFileHeader) + "\n"));
  EXPECT_THAT(trace, HasSubstr("GetNumDevices count=1 => 0\n"));
  EXPECT_THAT(trace, HasSubstr("Open index=0 -> h1 => 0\n"));
  EXPECT_THAT(trace, HasSubstr("SetFlowControl h1 reset => 0\n"));
}

// ---------------------------------------------------------------- the bench file, once

TEST(HostSession, TheBenchIsSavedOncePerRun) {
  TempDir dir;
  dir.write("bench.json", kHandWrittenBench);
  std::string error;
  {
    auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir()}, nullptr, error);
    ASSERT_TRUE(session) << error;
    ASSERT_TRUE(session->bench()->detach(1));
    ASSERT_TRUE(session->saveBench(error)) << error;
    EXPECT_EQ(dir.read("bench.json"), session->bench()->toJson());
    dir.write("bench.json", "changed by hand since");
    EXPECT_TRUE(session->saveBench(error)) << "a second save does nothing";
    EXPECT_EQ(dir.read("bench.json"), "changed by hand since");
  }
  EXPECT_EQ(dir.read("bench.json"), "changed by hand since") << "the end of the session saves nothing more";
}

TEST(HostSession, WithoutAnExplicitSaveTheEndOfTheSessionSavesTheBench) {
  TempDir dir;
  dir.write("bench.json", kHandWrittenBench);
  std::string error;
  {
    auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir()}, nullptr, error);
    ASSERT_TRUE(session) << error;
    ASSERT_TRUE(session->bench()->detach(1));
  }
  VirtualClock clock;
  const SimBenchLoad again = SimBench::load(dir.path("bench.json"), clock);
  ASSERT_TRUE(again.bench) << again.error;
  EXPECT_TRUE(again.bench->deviceIndexOf(0));
  EXPECT_FALSE(again.bench->deviceIndexOf(1));
}

TEST(HostSession, AFailedSaveSaysWhyAndTheEndOfTheSessionDoesNotTryAgain) {
  TempDir dir;
  dir.write("bench.json", kHandWrittenBench);
  ASSERT_EQ(::chmod(dir.path("bench.json").c_str(), 0444), 0);
  std::string error;
  {
    auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir()}, nullptr, error);
    ASSERT_TRUE(session) << error;
    ASSERT_TRUE(session->bench()->detach(1));
    EXPECT_FALSE(session->saveBench(error));
    EXPECT_THAT(error, HasSubstr(dir.path("bench.json")));
    EXPECT_THAT(error, HasSubstr("read-only"));
    ::chmod(dir.path("bench.json").c_str(), 0644);
  }
  EXPECT_EQ(dir.read("bench.json"), kHandWrittenBench);
}

TEST(HostSession, ABenchTheRunDidNotChangeIsNotWritten) {
  TempDir dir;
  const std::string smallest = R"({"programmers":[{}]})";
  dir.write("bench.json", smallest);
  {
    std::string error;
    auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir()}, nullptr, error);
    ASSERT_TRUE(session) << error;
    std::uint32_t count = 0;
    EXPECT_EQ(session->bridge().BridgeGetNumDevices(count), kBridgeOk);
    EXPECT_TRUE(session->saveBench(error)) << error;
  }
  EXPECT_EQ(dir.read("bench.json"), smallest) << "byte for byte as written";

  // A bench nobody may write serves a run that only looks.
  ASSERT_EQ(::chmod(dir.path("bench.json").c_str(), 0444), 0);
  AsPlainUser user(dir);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  std::string error;
  auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.path("app")}, nullptr, error);
  ASSERT_TRUE(session) << error;
  EXPECT_TRUE(session->saveBench(error)) << error;
  EXPECT_EQ(dir.read("bench.json"), smallest);
}

// ---------------------------------------------------------------- two programs, one bench

TEST(HostSession, ABenchIsHeldForTheWholeSessionAndAnotherHolderIsNamed) {
  TempDir dir;
  dir.write("bench.json", kHandWrittenBench);
  const std::string lockFile = dir.path("bench.json.lock");
  ScopedLockPolicy noWait({0, {}});
  {
    test::ForeignLock other(lockFile);
    ASSERT_TRUE(other.held());
    std::string error;
    HostRefusal refusal = HostRefusal::kUsage;
    EXPECT_EQ(HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir()}, nullptr, error, &refusal),
              nullptr);
    EXPECT_EQ(refusal, HostRefusal::kFailed) << "an operation that failed, not a usage error";
    EXPECT_THAT(error, HasSubstr("\"" + dir.path("bench.json") + "\" is in use by process " +
                                 std::to_string(::getpid())));
  }
  EXPECT_EQ(dir.read("bench.json"), kHandWrittenBench);

  std::string error;
  auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir()}, nullptr, error);
  ASSERT_TRUE(session) << error;
  ASSERT_TRUE(session->bench()->detach(0));
  ASSERT_TRUE(session->saveBench(error)) << error;
  EXPECT_FALSE(test::ForeignLock(lockFile).held()) << "held after the save, until the session ends";
  session.reset();
  EXPECT_TRUE(test::ForeignLock(lockFile).held());
}

TEST(HostSession, LockWaitTakesSeconds) {
  const struct {
    const char* text;
    double seconds;  // < 0: refused
  } cases[] = {
      {"30", 30}, {"0", 0}, {"0.5", 0.5}, {"86400", 86400}, {"007", 7},
      {"", -1},   {"-1", -1}, {"1e3", -1}, {"86401", -1},   {".5", -1}, {"5.", -1}, {"1.2.3", -1}, {"inf", -1},
      {"30s", -1}, {" 30", -1}, {"999999999999", -1},
  };
  for (const auto& c : cases) {
    const std::string error = LockWaitError(c.text);
    if (c.seconds < 0) {
      EXPECT_THAT(error, HasSubstr("--lock-wait")) << c.text;
    } else {
      EXPECT_EQ(error, "") << c.text;
      EXPECT_DOUBLE_EQ(LockWaitSeconds(c.text), c.seconds) << c.text;
    }
  }
}

// ---------------------------------------------------------------- what an output may replace

TEST(HostSession, AnOutputFileIsNeverOneOfTheProgramsOwn) {
  TempDir dir;
  dir.write("bench.json", kHandWrittenBench);
  std::string error;
  auto session = HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.path("app")}, nullptr, error);
  ASSERT_TRUE(session) << error;
  const std::string app = dir.path("app/");
  dir.write(std::string("app/") + kHistoryFileName, "");
  std::filesystem::create_hard_link(app + kHistoryFileName, dir.path("hard.log"));
  std::filesystem::create_symlink(app + kSettingsFileName, dir.path("link.ini"));
  const struct {
    std::string path;
    const char* what;  // nullptr: allowed
  } cases[] = {
      {app + kHistoryFileName, "history log"},
      {dir.path("hard.log"), "history log"},
      {dir.path("app/../app/") + kHistoryFileName, "history log"},
      {dir.path("link.ini"), "settings file"},
      {app + kLoadRecordFileName, "load-record file"},
      {app + FileLock::kAppFolderLockName, "lock file"},
      {dir.path("bench.json"), "bench file"},
      {dir.path("bench.json.lock"), "lock file"},
      {dir.path("read.mot"), nullptr},
      {app + "read.mot", nullptr},
  };
  for (const auto& c : cases) {
    std::string refused;
    EXPECT_EQ(session->outputAllowed(c.path, "-o", refused), c.what == nullptr) << c.path;
    if (c.what == nullptr) continue;
    EXPECT_THAT(refused, HasSubstr("\"" + c.path + "\" is the program's " + c.what)) << c.path;
    EXPECT_THAT(refused, HasSubstr("choose another file for -o")) << c.path;
  }
}

// ---------------------------------------------------------------- what a trace may overwrite

TEST(HostSession, TheTraceMayNotOverwriteTheProgramsOwnFilesOrTheBench) {
  TempDir dir;
  dir.write("bench.json", kHandWrittenBench);
  dir.write(kSettingsFileName, "[Log information]\r\nAuto save log=1\r\n");
  std::filesystem::create_directory(dir.path("sub"));
  std::filesystem::create_symlink(dir.path(kSettingsFileName), dir.path("link.txt"));
  std::filesystem::create_hard_link(dir.path("bench.json"), dir.path("hard.txt"));
  const struct {
    std::string trace;
    const char* what;
  } cases[] = {
      {dir.path(kSettingsFileName), "settings file"},
      {dir.path("sub/../") + kSettingsFileName, "settings file"},  // not by its text
      {dir.path("link.txt"), "settings file"},
      {dir.path(kHistoryFileName), "history log"},        // not there yet: still the program's
      {dir.path(kLoadRecordFileName), "load-record file"},
      {dir.path(kDeviceDatabaseFileName), "device database"},
      {dir.path(kManualFileName), "user's manual"},
      {dir.path("bench.json"), "bench file"},
      {dir.path("sub/../bench.json"), "bench file"},
      {dir.path("hard.txt"), "bench file"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(HostSession::create({.simulate = dir.path("bench.json"), .appDir = dir.dir(), .tracePath = c.trace},
                                  nullptr, error),
              nullptr)
        << c.trace;
    EXPECT_THAT(error, HasSubstr("trace"));
    EXPECT_THAT(error, HasSubstr(c.what));
  }
  EXPECT_EQ(dir.read("bench.json"), kHandWrittenBench) << "a refused session writes no bench back";
  EXPECT_EQ(dir.read(kSettingsFileName), "[Log information]\r\nAuto save log=1\r\n");
  EXPECT_FALSE(dir.exists(kHistoryFileName));
}

TEST(HostSession, TheTraceMayOnlyReplaceAnEarlierTrace) {
  TempDir dir;
  dir.write("notes.txt", "my notes\n");
  dir.write("empty.txt", "");
  std::filesystem::create_directory(dir.path("folder"));
  ASSERT_EQ(::mkfifo(dir.path("fifo").c_str(), 0666), 0);
  const struct {
    const char* name;
    const char* says;
  } refused[] = {
      {"notes.txt", "not an earlier trace"},
      {"empty.txt", "not an earlier trace"},
      {"folder", "is a folder"},
      {"fifo", "not a regular file"},  // and must not hang
  };
  for (const auto& c : refused) {
    std::string error;
    EXPECT_EQ(HostSession::create({.simulate = "1", .appDir = dir.dir(), .tracePath = dir.path(c.name)}, nullptr, error),
              nullptr)
        << c.name;
    EXPECT_THAT(error, HasSubstr("trace"));
    EXPECT_THAT(error, HasSubstr(c.says));
  }
  EXPECT_EQ(dir.read("notes.txt"), "my notes\n");

  for (int run = 0; run < 2; ++run) {
    std::string error;
    auto session = HostSession::create({.simulate = "1", .appDir = dir.dir(), .tracePath = dir.path("trace.txt")},
                                       nullptr, error);
    ASSERT_TRUE(session) << run << ": " << error;
    std::uint32_t count = 0;
    session->bridge().BridgeGetNumDevices(count);
  }
  EXPECT_EQ(dir.read("trace.txt"), std::string(kTraceFileHeader) + "\nGetNumDevices count=1 => 0\n")
      << "the earlier trace is replaced, not added to";
}

// ---------------------------------------------------------------- an installed program

TEST(HostSession, AProgramFolderThatCannotBeWrittenUsesTheUsersDataFolder) {
  TempDir dir;
  std::filesystem::create_directory(dir.path("program"));
  dir.write("program/MCUType.mcu", "database");
  ASSERT_EQ(::chmod(dir.path("program").c_str(), 0555), 0);
  AsPlainUser user(dir);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  const HostPlaces places{.executableDir = dir.path("program"), .userDataDir = dir.path("home/share/flashdock")};
  std::string error;
  auto session = HostSession::createIn({.simulate = "1"}, places, error);
  ASSERT_TRUE(session) << error;
  EXPECT_TRUE(session->usingUserDataDir());
  EXPECT_EQ(session->state().appDir, dir.path("home/share/flashdock/"));
  EXPECT_TRUE(std::filesystem::is_directory(session->state().appDir)) << "created on first start";
  EXPECT_EQ(session->programDir(), dir.path("program/"));
  EXPECT_EQ(session->state().programFilesDir(), dir.path("program/"));

  // --app-dir still wins, and a folder it names that cannot be written is still refused.
  auto chosen = HostSession::createIn({.simulate = "1", .appDir = dir.path("mine")}, places, error);
  ASSERT_TRUE(chosen) << error;
  EXPECT_FALSE(chosen->usingUserDataDir());
  EXPECT_EQ(chosen->state().appDir, dir.path("mine/"));
  EXPECT_EQ(chosen->programDir(), dir.path("program/")) << "the shipped files stay where they were installed";
  EXPECT_EQ(HostSession::createIn({.simulate = "1", .appDir = dir.path("program")}, places, error), nullptr);
  EXPECT_THAT(error, HasSubstr("cannot be written"));

  // A trace may not overwrite what the program ships either.
  EXPECT_EQ(HostSession::createIn({.simulate = "1", .tracePath = dir.path("program/MCUType.mcu")}, places, error),
            nullptr);
  EXPECT_THAT(error, HasSubstr("device database"));
}

TEST(HostSession, TheUsersDataFolderFollowsXdgDataHome) {
  TempDir dir;
  std::filesystem::create_directory(dir.path("program"));
  ASSERT_EQ(::chmod(dir.path("program").c_str(), 0555), 0);
  test::ScopedEnv xdg("XDG_DATA_HOME", dir.path("xdg").c_str());
  AsPlainUser user(dir);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  std::string error;
  auto session = HostSession::createIn({.simulate = "1"}, {.executableDir = dir.path("program")}, error);
  ASSERT_TRUE(session) << error;
  EXPECT_TRUE(session->usingUserDataDir());
  EXPECT_EQ(session->state().appDir, dir.path("xdg/flashdock/"));
}

// An installed program: <prefix>/bin holds the programs, <prefix>/share/flashdock what they
// read. Run as root (the folders writable), so that the layout alone decides.
class InstalledLayout : public ::testing::Test {
protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path("usr/bin"));
    std::filesystem::create_directories(dir.path("usr/share/flashdock"));
    dir.write("usr/share/flashdock/MCUType.mcu", "installed database");
    dir.write("usr/share/flashdock/ZK40 Family Flashdock User's Manual.pdf", "installed manual");
  }
  HostPlaces places(const std::string& exeDir) const {
    return {.executableDir = exeDir, .userDataDir = dir.path("home/share/flashdock"), .installPrefix = dir.path("usr")};
  }
  TempDir dir;
};

TEST_F(InstalledLayout, TheUsersFolderKeepsWhatItWritesAndTheShareFolderWhatItShips) {
  std::string error;
  auto session = HostSession::createIn({.simulate = "1"}, places(dir.path("usr/bin")), error);
  ASSERT_TRUE(session) << error;
  EXPECT_TRUE(session->installed());
  EXPECT_FALSE(session->usingUserDataDir()) << "the usual place for an installed program: nothing to say";
  EXPECT_EQ(session->state().appDir, dir.path("home/share/flashdock/"));
  EXPECT_EQ(session->programDir(), dir.path("usr/share/flashdock/"));
  EXPECT_EQ(DeviceDatabasePath(session->state()), dir.path("usr/share/flashdock/MCUType.mcu"));
  EXPECT_EQ(ProgramFilePath(session->state(), kManualFileName),
            dir.path("usr/share/flashdock/ZK40 Family Flashdock User's Manual.pdf"));
  // Nothing is written beside the programs, though root could.
  session.reset();
  EXPECT_TRUE(std::filesystem::is_empty(dir.path("usr/bin")));

  // A device database of the user's own wins over the installed one.
  dir.write("home/share/flashdock/MCUType.mcu", "mine");
  session = HostSession::createIn({.simulate = "1"}, places(dir.path("usr/bin")), error);
  ASSERT_TRUE(session) << error;
  EXPECT_EQ(DeviceDatabasePath(session->state()), dir.path("home/share/flashdock/MCUType.mcu"));
}

TEST_F(InstalledLayout, OnlyTheBinFolderOfThePrefixByItsRealPathIsInstalled) {
  std::filesystem::create_directories(dir.path("elsewhere/bin"));
  std::filesystem::create_directory_symlink(dir.path("usr"), dir.path("usr-link"));
  const struct {
    const char* name;
    std::string exeDir;
    bool installed;
  } cases[] = {
      {"the prefix's bin", dir.path("usr/bin"), true},
      {"the same through a link", dir.path("usr-link/bin/"), true},
      {"a build or unpacked folder", dir.path("elsewhere/bin"), false},
      {"the prefix itself", dir.path("usr"), false},
      {"the share folder", dir.path("usr/share/flashdock"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto session = HostSession::createIn({.simulate = "1"}, places(c.exeDir), error);
    ASSERT_TRUE(session) << error;
    EXPECT_EQ(session->installed(), c.installed);
    if (!c.installed) {
      // A portable program keeps everything beside its executable, as before.
      EXPECT_EQ(std::filesystem::path(session->state().appDir), std::filesystem::path(c.exeDir + "/").lexically_normal());
      EXPECT_EQ(session->programDir(), session->state().appDir);
    }
  }
}

TEST_F(InstalledLayout, AppDirWinsAndThenTheShareFolderIsNotRead) {
  std::string error;
  auto session =
      HostSession::createIn({.simulate = "1", .appDir = dir.path("mine")}, places(dir.path("usr/bin")), error);
  ASSERT_TRUE(session) << error;
  EXPECT_FALSE(session->installed());
  EXPECT_EQ(session->state().appDir, dir.path("mine/"));
  EXPECT_EQ(DeviceDatabasePath(session->state()), dir.path("mine/MCUType.mcu"));
  EXPECT_FALSE(dir.exists("home/share/flashdock"));
}

TEST_F(InstalledLayout, AUsersFolderThatCannotBeMadeIsRefusedWithTheWayOut) {
  std::filesystem::create_directory(dir.path("home"));
  dir.write("home/share", "a file where the folder would be");
  std::string error;
  EXPECT_EQ(HostSession::createIn({.simulate = "1"}, places(dir.path("usr/bin")), error), nullptr);
  EXPECT_THAT(error, HasSubstr("--app-dir"));
  EXPECT_EQ(dir.read("home/share"), "a file where the folder would be");
}

TEST(HostSession, AWritableProgramFolderKeepsItsFiles) {
  TempDir dir;
  std::string error;
  auto session = HostSession::createIn({.simulate = "1"}, {.executableDir = dir.path("program"),
                                                           .userDataDir = dir.path("user")}, error);
  ASSERT_TRUE(session) << error;
  EXPECT_FALSE(session->usingUserDataDir());
  EXPECT_EQ(session->state().appDir, dir.path("program/"));
  EXPECT_EQ(session->programDir(), dir.path("program/"));
  EXPECT_FALSE(dir.exists("user"));
}

TEST(SerialBridge, HandlesItNeverGaveOutFailCleanly) {
  SerialBridge bridge;
  std::uint32_t count = 99;
  EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  BridgeHandle handle = kNoHandle;
  EXPECT_NE(bridge.BridgeOpen(count, handle), kBridgeOk);  // one past the last device
  std::uint8_t byte = 0;
  std::uint32_t moved = 7;
  EXPECT_EQ(bridge.BridgeWrite(42, &byte, 1, moved), kBridgeInvalidHandle);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(bridge.BridgeRead(42, &byte, 1, moved), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeGetModemStatus(42, byte), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeSetFlowControl(42, kResetLine), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeClose(42), kBridgeInvalidHandle);
}

}  // namespace
}  // namespace fd
