#include "app/Startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/ScriptedDialogHost.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::AsPlainUser;
using test::ScriptedDialogHost;
using test::TempDir;

const std::string kDefaultsFile =
    "[Log information]\r\n"
    "Auto save log=1\r\n"
    "Auto save ID=1\r\n"
    "[Programmer information]\r\n"
    "Product number=Not select\r\n"
    "ID code=C3C3C3C3C3C3C3\r\n"
    "Power set=00\r\n";

class StartupTest : public ::testing::Test {
protected:
  TempDir tmp;
  AppState state;
  ScriptedDialogHost dialogs;

  void SetUp() override { state.appDir = tmp.dir(); }
  StartupReport start() { return RunStartup(state, dialogs); }
  std::string settingsText() const { return tmp.read(kSettingsFileName); }
};

TEST_F(StartupTest, FirstRunWritesTheFiveDefaultsAndShowsInitiationOnce) {
  const StartupReport first = start();
  EXPECT_TRUE(first.firstRun);
  EXPECT_TRUE(first.initiationShown);
  EXPECT_EQ(settingsText(), kDefaultsFile);
  EXPECT_EQ(dialogs.runs, std::vector<std::string>{kInitTitle});
  EXPECT_TRUE(dialogs.initiationSeen.logChecked);
  EXPECT_TRUE(dialogs.initiationSeen.idChecked);
  EXPECT_TRUE(dialogs.initiationSeen.idEnabled);
  EXPECT_EQ(tmp.read(kHistoryFileName), "");
  EXPECT_EQ(tmp.read(kLoadRecordFileName), "");
  EXPECT_TRUE(tmp.exists(kHistoryFileName));
  EXPECT_TRUE(tmp.exists(kLoadRecordFileName));

  AppState again;
  again.appDir = tmp.dir();
  const StartupReport second = RunStartup(again, dialogs);
  EXPECT_FALSE(second.firstRun);
  EXPECT_FALSE(second.initiationShown);
  EXPECT_EQ(dialogs.count(kInitTitle), 1);
  EXPECT_EQ(settingsText(), kDefaultsFile);
}

TEST_F(StartupTest, InitiationChoiceIsStoredOverTheDefaults) {
  dialogs.onInitiation = [](InitOptionsFlow& flow) {
    flow.setLogChecked(false);
    flow.ok();
    return true;
  };
  start();
  SettingsFile settings(tmp.path(kSettingsFileName));
  EXPECT_EQ(settings.read(kSectionLog, kKeyAutoSaveLog), "0");
  EXPECT_EQ(settings.read(kSectionLog, kKeyAutoSaveId), "0");
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyProductNumber), kNotSelect);
}

TEST_F(StartupTest, StateAfterStartupIgnoresTheSettingsFile) {
  tmp.write(kSettingsFileName,
            "[Programmer information]\r\nProduct number=ZK40F1234567\r\nID code=0102030405060A\r\nPower set=50\r\n");
  state.idCode = IdCode{1, 2, 3, 4, 5, 6, 7};
  start();
  EXPECT_EQ(state.productNumber, kNotSelect);
  EXPECT_TRUE(state.productNotSelected());
  EXPECT_EQ(state.powerSet, 0x00);
  EXPECT_EQ(state.idCode, kDefaultIdCode);
  EXPECT_TRUE(dialogs.runs.empty());
}

TEST_F(StartupTest, ExistingFilesAreLeftUntouched) {
  const std::string settings = "; mine\r\n[Log information]\r\nAuto save log=0\r\n";
  const std::string history = "\r\n2024-01-01, 00:00:00  Operation: On-line E.P.V\r\nNo.01 | N.A.\r\n";
  const std::string record("\x01\x02\x00\xff binary", 11);
  tmp.write(kSettingsFileName, settings);
  tmp.write(kHistoryFileName, history);
  tmp.write(kLoadRecordFileName, record);
  const StartupReport report = start();
  EXPECT_FALSE(report.firstRun);
  EXPECT_EQ(settingsText(), settings) << "a present file gets no defaults, not even missing ones";
  EXPECT_EQ(tmp.read(kHistoryFileName), history);
  EXPECT_EQ(tmp.read(kLoadRecordFileName), record);
}

TEST_F(StartupTest, UnreadableHistoryAndRecordFilesAreNotEmptied) {
  tmp.write(kSettingsFileName, kDefaultsFile);
  tmp.write(kHistoryFileName, "old history\r\n");
  tmp.write(kLoadRecordFileName, "old record");
  ASSERT_EQ(::chmod(tmp.path(kHistoryFileName).c_str(), 0200), 0);
  ASSERT_EQ(::chmod(tmp.path(kLoadRecordFileName).c_str(), 0200), 0);
  {
    AsPlainUser user(tmp);
    if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
    start();
  }
  ::chmod(tmp.path(kHistoryFileName).c_str(), 0600);
  ::chmod(tmp.path(kLoadRecordFileName).c_str(), 0600);
  EXPECT_EQ(tmp.read(kHistoryFileName), "old history\r\n");
  EXPECT_EQ(tmp.read(kLoadRecordFileName), "old record");
}

TEST_F(StartupTest, ReadOnlySettingsFileIsAFirstRunAtEveryStartButKeepsItsContent) {
  const std::string mine = "[Log information]\r\nAuto save log=0\r\n[Programmer information]\r\nPower set=30\r\n";
  tmp.write(kSettingsFileName, mine);
  ASSERT_EQ(::chmod(tmp.path(kSettingsFileName).c_str(), 0444), 0);
  dialogs.onInitiation = [](InitOptionsFlow& flow) {
    flow.setLogChecked(true);
    flow.ok();
    return true;
  };
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE(run);
    const StartupReport report = start();
    EXPECT_TRUE(report.firstRun);
    EXPECT_TRUE(report.initiationShown);
    EXPECT_EQ(dialogs.count(kInitTitle), run);
    EXPECT_FALSE(dialogs.initiationSeen.logChecked) << "the window shows what the file holds";
    EXPECT_EQ(settingsText(), mine);
    EXPECT_TRUE(tmp.exists(kHistoryFileName));
  }
}

TEST_F(StartupTest, EmptySettingsFileCountsAsFirstRun) {
  tmp.write(kSettingsFileName, "");
  const StartupReport report = start();
  EXPECT_TRUE(report.firstRun);
  EXPECT_EQ(settingsText(), kDefaultsFile);
  EXPECT_EQ(dialogs.count(kInitTitle), 1);
}

TEST_F(StartupTest, GarbageSettingsFileIsKeptAndStartupCompletes) {
  const std::string junk = "\x01\x02 not an ini file\r\n[[[\r\n=\r\n]]\r\n";
  tmp.write(kSettingsFileName, junk);
  const StartupReport report = start();
  EXPECT_FALSE(report.firstRun);
  EXPECT_EQ(settingsText(), junk);
  EXPECT_EQ(state.idCode, kDefaultIdCode);
}

TEST_F(StartupTest, UnwritableFolderStillCompletes) {
  ASSERT_EQ(::chmod(tmp.dir().c_str(), 0555), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  const StartupReport report = start();
  EXPECT_TRUE(report.firstRun);
  EXPECT_TRUE(report.initiationShown);
  EXPECT_FALSE(tmp.exists(kSettingsFileName));
  EXPECT_FALSE(tmp.exists(kHistoryFileName));
  EXPECT_EQ(state.idCode, kDefaultIdCode);
}

TEST_F(StartupTest, HeadlessWritesDefaultsWithoutAWindow) {
  const StartupReport report = RunStartupHeadless(state);
  EXPECT_TRUE(report.firstRun);
  EXPECT_FALSE(report.initiationShown);
  EXPECT_EQ(settingsText(), kDefaultsFile);
  EXPECT_TRUE(tmp.exists(kHistoryFileName));
  EXPECT_TRUE(tmp.exists(kLoadRecordFileName));
  EXPECT_FALSE(RunStartupHeadless(state).firstRun);
}

TEST(AppDirTest, ExecutableDirIsTheFolderOfThisProgram) {
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
  const std::string dir = ExecutableDir("whatever");
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  EXPECT_TRUE(std::filesystem::equivalent(dir + exe.filename().string(), exe));
}

TEST(AppDirTest, OverrideIsCreatedAndNormalized) {
  TempDir tmp;
  std::string normalized;
  std::string error;
  ASSERT_TRUE(PrepareAppDir(tmp.path("a/b/../c/"), normalized, error)) << error;
  EXPECT_EQ(normalized, tmp.path("a/c/"));
  EXPECT_TRUE(std::filesystem::is_directory(normalized));
  EXPECT_EQ(error, "");
  EXPECT_TRUE(std::filesystem::is_empty(normalized)) << "the write test leaves nothing behind";
}

TEST(AppDirTest, UnusableOverrideGivesAClearMessage) {
  TempDir tmp;
  tmp.write("file", "x");
  std::string normalized = "unchanged";
  std::string error;
  EXPECT_FALSE(PrepareAppDir(tmp.path("file"), normalized, error));
  EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
  EXPECT_FALSE(PrepareAppDir(tmp.path("file/sub"), normalized, error));
  EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
  EXPECT_FALSE(PrepareAppDir("", normalized, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(normalized, "unchanged");

  ASSERT_EQ(::chmod(tmp.dir().c_str(), 0555), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  EXPECT_FALSE(PrepareAppDir(tmp.dir(), normalized, error));
  EXPECT_NE(error.find("cannot be written"), std::string::npos) << error;
  EXPECT_FALSE(PrepareAppDir(tmp.path("new"), normalized, error));
  EXPECT_NE(error.find("cannot be created"), std::string::npos) << error;
}

TEST(AppDirTest, TheUsersDataFolderIsXdgDataHomeElseInHome) {
  {
    test::ScopedEnv xdg("XDG_DATA_HOME", "/data/of/me");
    test::ScopedEnv home("HOME", "/home/me");
    EXPECT_EQ(UserDataDir(), "/data/of/me/flashdock/");
  }
  {
    test::ScopedEnv xdg("XDG_DATA_HOME", "relative/is/ignored");
    test::ScopedEnv home("HOME", "/home/me/");
    EXPECT_EQ(UserDataDir(), "/home/me/.local/share/flashdock/");
  }
  {
    test::ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    test::ScopedEnv home("HOME", nullptr);
    EXPECT_EQ(UserDataDir(), "");
  }
}

}  // namespace
}  // namespace fd
