// FileIo: only regular files, nothing that hangs, replaced files whole or not at all,
// records whole or not at all, and a sentence for the user whenever something is refused.
#include "formats/FileIo.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "formats/FileIoTestHook.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using test::AsPlainUser;
using test::ScopedFileWriteHook;
using test::TempDir;

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

std::vector<std::string> Entries(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.dir())) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The path an open descriptor names, as the system sees it.
std::string PathOf(int descriptor) {
  std::error_code ec;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(descriptor), ec).string();
}

// A sentence for the user: it names the file and carries no library prefix.
void ExpectUserText(const FileResult& r, const std::string& path) {
  EXPECT_FALSE(r.ok);
  EXPECT_THAT(r.error, HasSubstr("\"" + path + "\""));
  EXPECT_THAT(r.error, Not(StartsWith("[")));
  EXPECT_EQ(r.error.back(), '.') << r.error;
}

// Writes the first half of what it is given, then reports a full disk.
struct HalfThenFull {
  int calls = 0;
  ssize_t operator()(int descriptor, const char* data, std::size_t size) {
    if (calls++ == 0 && size > 1) return ::write(descriptor, data, size / 2);
    errno = ENOSPC;
    return -1;
  }
};

class FileIoTest : public ::testing::Test {
protected:
  TempDir tmp;
  std::string file = tmp.path("data.txt");
};

// ---------------------------------------------------------------- readAll

TEST_F(FileIoTest, ReadsAWholeFile) {
  tmp.write("data.txt", std::string("a\0b\r\n", 5));
  std::string bytes = "stale";
  const FileResult r = FileIo::readAll(file, bytes);
  EXPECT_TRUE(r);
  EXPECT_EQ(r.error, "");
  EXPECT_EQ(bytes, std::string("a\0b\r\n", 5));
}

TEST_F(FileIoTest, ReadRefusesWhatIsNoRegularFile) {
  std::string bytes = "stale";
  FileResult r = FileIo::readAll(tmp.path("none"), bytes);
  ExpectUserText(r, tmp.path("none"));
  EXPECT_THAT(r.error, HasSubstr("does not exist"));
  EXPECT_EQ(bytes, "");

  fs::create_directory(tmp.path("folder"));
  r = FileIo::readAll(tmp.path("folder"), bytes);
  ExpectUserText(r, tmp.path("folder"));
  EXPECT_THAT(r.error, HasSubstr("is a folder"));

  r = FileIo::readAll("/dev/zero", bytes);
  ExpectUserText(r, "/dev/zero");
  EXPECT_THAT(r.error, HasSubstr("is a device"));
  EXPECT_EQ(bytes, "");
}

TEST_F(FileIoTest, ReadingAFifoDoesNotWaitForAWriter) {
  ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0);
  std::string bytes;
  const FileResult r = FileIo::readAll(file, bytes);  // would hang here without O_NONBLOCK
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("is a pipe"));
}

TEST_F(FileIoTest, ReadRefusesAFileOverTheLimit) {
  tmp.write("data.txt", "0123456789A");
  std::string bytes;
  FileResult r = FileIo::readAll(file, bytes, 10);
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("too large"));
  EXPECT_THAT(r.error, HasSubstr("11 bytes"));
  EXPECT_EQ(bytes, "");
  EXPECT_TRUE(FileIo::readAll(file, bytes, 11));
  EXPECT_EQ(bytes, "0123456789A");
}

TEST_F(FileIoTest, ReadRefusesAnUnreadableFile) {
  tmp.write("data.txt", "secret");
  ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  std::string bytes;
  const FileResult r = FileIo::readAll(file, bytes);
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("cannot be read"));
}

// ---------------------------------------------------------------- replace

TEST_F(FileIoTest, ReplaceWritesANewFileWithTheUsualMode) {
  const mode_t old = ::umask(027);
  const FileResult r = FileIo::replace(file, "new");
  ::umask(old);
  ASSERT_TRUE(r) << r.error;
  EXPECT_EQ(tmp.read("data.txt"), "new");
  EXPECT_EQ(ModeOf(file), 0640u);
  EXPECT_EQ(Entries(tmp), std::vector<std::string>{"data.txt"});
}

TEST_F(FileIoTest, ReplaceKeepsTheModeOfTheFile) {
  for (const mode_t mode : {0600u, 0640u, 0664u}) {
    tmp.write("data.txt", "old");
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    ASSERT_TRUE(FileIo::replace(file, "new"));
    EXPECT_EQ(ModeOf(file), mode);
    EXPECT_EQ(tmp.read("data.txt"), "new");
  }
  EXPECT_EQ(Entries(tmp), std::vector<std::string>{"data.txt"});
}

TEST_F(FileIoTest, TheTemporaryFileHasANewNameEveryTimeBesideTheFile) {
  std::vector<std::string> temps;
  {
    ScopedFileWriteHook hook([&](int descriptor, const char* data, std::size_t size) {
      temps.push_back(PathOf(descriptor));
      return ::write(descriptor, data, size);
    });
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(FileIo::replace(file, "round " + std::to_string(i)));
  }
  ASSERT_EQ(temps.size(), 5u);
  const std::string real = fs::canonical(tmp.dir()).string();
  for (const std::string& t : temps) {
    EXPECT_EQ(fs::path(t).parent_path().string(), real) << t;
    EXPECT_NE(fs::path(t).filename(), "data.txt");
  }
  EXPECT_EQ(std::set<std::string>(temps.begin(), temps.end()).size(), temps.size()) << "no fixed name";
  EXPECT_EQ(tmp.read("data.txt"), "round 4");
  EXPECT_EQ(Entries(tmp), std::vector<std::string>{"data.txt"});
}

TEST_F(FileIoTest, LinksPlantedAtTemporaryNamesAreNotFollowed) {
  tmp.write("data.txt", "old");
  tmp.write("victim", "victim");
  // The names a fixed scheme would pick, and the name an earlier replacement used.
  std::string used;
  {
    ScopedFileWriteHook hook([&](int descriptor, const char* data, std::size_t size) {
      used = PathOf(descriptor);
      return ::write(descriptor, data, size);
    });
    ASSERT_TRUE(FileIo::replace(file, "first"));
  }
  const std::vector<std::string> planted = {
      file + ".tmp", tmp.path(".data.txt.tmp"), tmp.path(".data.txt.tmp" + std::to_string(::getpid()) + ".0"),
      tmp.path("data.txt~"), used};
  for (const std::string& p : planted) fs::create_symlink(tmp.path("victim"), p);
  ASSERT_TRUE(FileIo::replace(file, "second"));
  EXPECT_EQ(tmp.read("victim"), "victim");
  EXPECT_EQ(tmp.read("data.txt"), "second");
  for (const std::string& p : planted) EXPECT_TRUE(fs::is_symlink(p)) << p;
}

TEST_F(FileIoTest, ALinkIsWrittenThroughAndStaysALink) {
  fs::create_directory(tmp.path("real"));
  tmp.write("real/target.txt", "old");
  ASSERT_EQ(::chmod(tmp.path("real/target.txt").c_str(), 0600), 0);
  fs::create_symlink("real/target.txt", tmp.path("hop"));  // relative, from the link's folder
  fs::create_symlink(tmp.path("hop"), file);
  ASSERT_TRUE(FileIo::replace(file, "new"));
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_TRUE(fs::is_symlink(tmp.path("hop")));
  EXPECT_EQ(tmp.read("real/target.txt"), "new");
  EXPECT_EQ(ModeOf(tmp.path("real/target.txt")), 0600u);
  EXPECT_EQ(Entries(tmp), (std::vector<std::string>{"data.txt", "hop", "real"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path("real")), fs::directory_iterator()), 1);

  // A link to nothing yet gets its file.
  fs::create_symlink("later.txt", tmp.path("dangling"));
  ASSERT_TRUE(FileIo::replace(tmp.path("dangling"), "made"));
  EXPECT_TRUE(fs::is_symlink(tmp.path("dangling")));
  EXPECT_EQ(tmp.read("later.txt"), "made");
}

TEST_F(FileIoTest, AReadOnlyFileIsRefusedAndUnchanged) {
  tmp.write("data.txt", "kept");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  // No write bit at all: refused even for root, who could write it anyway.
  const FileResult r = FileIo::replace(file, "new");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("read-only"));
  EXPECT_EQ(tmp.read("data.txt"), "kept");
  EXPECT_EQ(ModeOf(file), 0444u);
  EXPECT_EQ(Entries(tmp), std::vector<std::string>{"data.txt"});
}

TEST_F(FileIoTest, AFileTheUserMayNotWriteIsRefusedAndUnchanged) {
  tmp.write("data.txt", "kept");
  ASSERT_EQ(::chmod(file.c_str(), 0466), 0);  // others may write, its owner may not
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  FileResult r = FileIo::replace(file, "new");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("cannot be written"));
  r = FileIo::append(file, "more");
  ExpectUserText(r, file);
  EXPECT_EQ(tmp.read("data.txt"), "kept");
  EXPECT_EQ(Entries(tmp), std::vector<std::string>{"data.txt"});
}

TEST_F(FileIoTest, AFolderThatTakesNoNewFilesRefusesTheReplacement) {
  tmp.write("data.txt", "kept");
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(tmp.dir().c_str(), 0555), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  const FileResult r = FileIo::replace(file, "new");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("does not take new files"));
  EXPECT_EQ(tmp.read("data.txt"), "kept");
}

TEST_F(FileIoTest, ReplaceRefusesAFolderOrAPipe) {
  fs::create_directory(tmp.path("folder"));
  FileResult r = FileIo::replace(tmp.path("folder"), "x");
  ExpectUserText(r, tmp.path("folder"));
  EXPECT_THAT(r.error, HasSubstr("is a folder"));
  EXPECT_TRUE(fs::is_directory(tmp.path("folder")));

  ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0);
  r = FileIo::replace(file, "x");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("is a pipe"));
  EXPECT_TRUE(fs::is_fifo(file));

  r = FileIo::replace(tmp.path("no/such/folder/x"), "x");
  ExpectUserText(r, tmp.path("no/such/folder/x"));
  EXPECT_THAT(r.error, HasSubstr("does not exist"));
  EXPECT_EQ(Entries(tmp), (std::vector<std::string>{"data.txt", "folder"}));
}

TEST_F(FileIoTest, AFailedWriteLeavesTheFileAndNoTemporaryFile) {
  tmp.write("data.txt", "kept");
  for (const bool existing : {true, false}) {
    const std::string path = existing ? file : tmp.path("new.txt");
    ScopedFileWriteHook hook(HalfThenFull{});
    const FileResult r = FileIo::replace(path, "a longer new content");
    ExpectUserText(r, path);
    EXPECT_THAT(r.error, HasSubstr("the disk is full"));
  }
  EXPECT_EQ(tmp.read("data.txt"), "kept");
  EXPECT_EQ(Entries(tmp), std::vector<std::string>{"data.txt"});
}

// ---------------------------------------------------------------- append

TEST_F(FileIoTest, AppendAddsToTheEndThroughShortWrites) {
  tmp.write("data.txt", "older\r\n");
  {
    // One byte at a time: every short write is carried on.
    ScopedFileWriteHook hook([](int descriptor, const char* data, std::size_t) { return ::write(descriptor, data, 1); });
    ASSERT_TRUE(FileIo::append(file, "a\r\nb\r\n"));
  }
  EXPECT_TRUE(FileIo::append(file, "c"));
  EXPECT_EQ(tmp.read("data.txt"), "older\r\na\r\nb\r\nc");
}

TEST_F(FileIoTest, AShortWriteIsCutBackSoTheRecordIsWholeOrNotThere) {
  tmp.write("data.txt", "older\r\n");
  {
    ScopedFileWriteHook hook(HalfThenFull{});
    const FileResult r = FileIo::append(file, "a record of some length\r\n");
    ExpectUserText(r, file);
    EXPECT_THAT(r.error, HasSubstr("record could not be written"));
    EXPECT_THAT(r.error, HasSubstr("the disk is full"));
  }
  EXPECT_EQ(tmp.read("data.txt"), "older\r\n");
  {
    // Nothing written at all: nothing to cut.
    ScopedFileWriteHook hook([](int, const char*, std::size_t) -> ssize_t {
      errno = EIO;
      return -1;
    });
    EXPECT_FALSE(FileIo::append(file, "x"));
  }
  EXPECT_EQ(tmp.read("data.txt"), "older\r\n");
  EXPECT_TRUE(FileIo::append(file, "next\r\n"));
  EXPECT_EQ(tmp.read("data.txt"), "older\r\nnext\r\n");
}

TEST_F(FileIoTest, AppendNeverCreatesAndRefusesWhatIsNoRegularFile) {
  FileResult r = FileIo::append(file, "x");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("does not exist"));
  EXPECT_FALSE(tmp.exists("data.txt"));

  fs::create_directory(file);
  r = FileIo::append(file, "x");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("is a folder"));
  fs::remove(file);

  ASSERT_EQ(::mkfifo(file.c_str(), 0666), 0);
  r = FileIo::append(file, "x");  // no reader: must neither hang nor write
  ExpectUserText(r, file);
  const int reader = ::open(file.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  r = FileIo::append(file, "x");  // a reader: still no file
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("is a pipe"));
  char byte = 0;
  EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing went into the pipe";
  ::close(reader);

  r = FileIo::append("/dev/null", "x");
  ExpectUserText(r, "/dev/null");
  EXPECT_THAT(r.error, HasSubstr("is a device"));
}

TEST_F(FileIoTest, AppendToAReadOnlyFileIsRefused) {
  tmp.write("data.txt", "kept");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  const FileResult r = FileIo::append(file, "x");
  ExpectUserText(r, file);
  EXPECT_THAT(r.error, HasSubstr("read-only"));
  EXPECT_FALSE(FileIo::append(file, "")) << "an empty record tells the same";
  EXPECT_EQ(tmp.read("data.txt"), "kept");
}

// ---------------------------------------------------------------- createIfMissing

TEST_F(FileIoTest, CreateIfMissingNeverTouchesWhatIsThere) {
  const mode_t old = ::umask(022);
  EXPECT_TRUE(FileIo::createIfMissing(file));
  ::umask(old);
  EXPECT_EQ(tmp.read("data.txt"), "");
  EXPECT_EQ(ModeOf(file), 0644u);

  tmp.write("data.txt", "kept");
  EXPECT_FALSE(FileIo::createIfMissing(file));
  EXPECT_EQ(tmp.read("data.txt"), "kept");

  fs::create_symlink(tmp.path("elsewhere"), tmp.path("link"));
  EXPECT_FALSE(FileIo::createIfMissing(tmp.path("link")));
  EXPECT_FALSE(tmp.exists("elsewhere"));

  fs::create_directory(tmp.path("folder"));
  EXPECT_FALSE(FileIo::createIfMissing(tmp.path("folder")));
  EXPECT_FALSE(FileIo::createIfMissing(tmp.path("no/such/file")));
}

}  // namespace
}  // namespace fd
