#include "formats/FileLock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "support/ForeignLock.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::AsPlainUser;
using test::TempDir;

using ForeignHold = test::ForeignLock;

// A policy for one test: how long to wait, and every notice kept.
struct Policy {
  explicit Policy(double seconds, std::function<void()> onNotice = {})
      : guard({seconds,
               [this, onNotice](const std::string& sentence) {
                 notices.push_back(sentence);
                 if (onNotice) onNotice();
               },
               0}) {}
  std::vector<std::string> notices;
  ScopedLockPolicy guard;
};

TEST(FileLock, TheLockFileIsBesideTheFileOrTheFoldersOwn) {
  TempDir dir;
  std::filesystem::create_directory(dir.path("real"));
  std::filesystem::create_directory_symlink(dir.path("real"), dir.path("alias"));
  dir.write("real/bench.json", "{}");
  std::filesystem::create_symlink(dir.path("real/bench.json"), dir.path("link.json"));
  const std::string real = std::filesystem::canonical(dir.path("real")).string();
  const struct {
    std::string file;
    FileLock::Place place;
    std::string lock;
  } cases[] = {
      {dir.path("real/bench.json"), FileLock::Place::kBeside, real + "/bench.json.lock"},
      {dir.path("alias/bench.json"), FileLock::Place::kBeside, real + "/bench.json.lock"},
      {dir.path("link.json"), FileLock::Place::kBeside, real + "/bench.json.lock"},  // where it is saved
      {dir.path("real/settings.ini"), FileLock::Place::kAppFolder, real + "/.flashdock.lock"},
      {dir.path("alias/history.log"), FileLock::Place::kAppFolder, real + "/.flashdock.lock"},
  };
  for (const auto& c : cases) EXPECT_EQ(FileLock::lockFileOf(c.file, c.place), c.lock) << c.file;
}

TEST(FileLock, ALockHeldElsewhereIsRefusedNamingTheProcessOnceTheWaitRunsOut) {
  TempDir dir;
  const std::string file = dir.path("bench.json");
  dir.write("bench.json", "{}");
  ForeignHold other(FileLock::lockFileOf(file, FileLock::Place::kBeside));
  ASSERT_TRUE(other.held());

  Policy policy(0);
  FileLock lock;
  std::string error;
  EXPECT_FALSE(lock.acquire(file, FileLock::Place::kBeside, error));
  EXPECT_FALSE(lock.held());
  EXPECT_THAT(error, HasSubstr("\"" + file + "\" is in use by process " + std::to_string(::getpid())));
  EXPECT_THAT(error, HasSubstr("--lock-wait"));
  EXPECT_TRUE(policy.notices.empty()) << "nothing was waited for";

  // Let go: the next try takes it, and says nothing.
  other.release();
  EXPECT_TRUE(lock.acquire(file, FileLock::Place::kBeside, error)) << error;
  EXPECT_TRUE(lock.held());
  EXPECT_TRUE(policy.notices.empty());
}

TEST(FileLock, AWaitSaysOnceWhoItWaitsForAndEndsWhenTheHolderLetsGo) {
  TempDir dir;
  const std::string file = dir.path("settings.ini");
  ForeignHold other(FileLock::lockFileOf(file, FileLock::Place::kAppFolder));
  ASSERT_TRUE(other.held());
  // The holder lets go as soon as the waiter has said that it waits.
  Policy policy(60, [&other] { other.release(); });
  FileLock lock;
  std::string error;
  EXPECT_TRUE(lock.acquire(file, FileLock::Place::kAppFolder, error)) << error;
  ASSERT_EQ(policy.notices.size(), 1u);
  EXPECT_THAT(policy.notices[0], HasSubstr("Waiting for process " + std::to_string(::getpid())));
  EXPECT_THAT(policy.notices[0], HasSubstr("\"" + file + "\""));
  EXPECT_THAT(policy.notices[0], HasSubstr("at most 60 s"));
}

TEST(FileLock, OneProcessSharesItsLockAndLetsGoWithTheLastHolder) {
  TempDir dir;
  const std::string file = dir.path("history.log");
  Policy policy(0);
  std::string error;
  auto first = std::make_unique<FileLock>();
  ASSERT_TRUE(first->acquire(file, FileLock::Place::kAppFolder, error)) << error;
  FileLock second;
  ASSERT_TRUE(second.acquire(dir.path("settings.ini"), FileLock::Place::kAppFolder, error))
      << "nested work in one folder must not wait for itself: " << error;
  // The holder's number is in the lock file for whoever finds it taken.
  EXPECT_EQ(dir.read(".flashdock.lock"), std::to_string(::getpid()) + "\n");

  first.reset();
  EXPECT_FALSE(ForeignHold(dir.path(".flashdock.lock")).held()) << "still held by the second";
  FileLock moved = std::move(second);
  EXPECT_FALSE(second.held());
  EXPECT_FALSE(ForeignHold(dir.path(".flashdock.lock")).held());
  moved.release();
  EXPECT_TRUE(ForeignHold(dir.path(".flashdock.lock")).held()) << "the last one let go";
}

TEST(FileLock, AFolderThatTakesNoLockFileLocksTheFileItself) {
  TempDir dir;
  dir.write("history.log", "");
  ::chmod(dir.path("history.log").c_str(), 0666);
  ::chmod(dir.dir().c_str(), 0555);
  AsPlainUser user(dir);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  Policy policy(0);
  std::string error;
  {
    ForeignHold other(dir.path("history.log"));
    ASSERT_TRUE(other.held());
    FileLock lock;
    EXPECT_FALSE(lock.acquire(dir.path("history.log"), FileLock::Place::kAppFolder, error));
    EXPECT_THAT(error, HasSubstr("in use by process"));
  }
  FileLock lock;
  EXPECT_TRUE(lock.acquire(dir.path("history.log"), FileLock::Place::kAppFolder, error)) << error;
  EXPECT_TRUE(lock.held());
  EXPECT_FALSE(dir.exists(".flashdock.lock"));
  // Nothing there and no lock file possible: nothing to guard, the caller's own step fails.
  FileLock none;
  EXPECT_TRUE(none.acquire(dir.path("missing.ini"), FileLock::Place::kAppFolder, error)) << error;
  EXPECT_FALSE(none.held());
}

}  // namespace
}  // namespace fd
