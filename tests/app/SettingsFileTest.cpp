#include "app/SettingsFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <ostream>

#include "formats/FileIoTestHook.h"
#include "formats/FileLock.h"
#include "support/ForeignLock.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::AsPlainUser;
using test::TempDir;

constexpr const char* kName = "settings.ini";

class SettingsFileTest : public ::testing::Test {
protected:
  TempDir tmp;
  SettingsFile settings{tmp.path(kName)};

  std::string content() const { return tmp.read(kName); }
  // What is in the folder but the folder's lock file, which stays once made.
  std::vector<std::string> folderEntries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(tmp.dir())) {
      if (e.path().filename() != FileLock::kAppFolderLockName) names.push_back(e.path().filename());
    }
    return names;
  }
};

TEST_F(SettingsFileTest, MissingFileReadsEmptyAndIsNotThere) {
  EXPECT_EQ(settings.read(kSectionLog, kKeyAutoSaveLog), "");
  EXPECT_FALSE(settings.exists());
  EXPECT_FALSE(settings.openableForWrite());
  EXPECT_FALSE(tmp.exists(kName)) << "reading must not create the file";
}

TEST_F(SettingsFileTest, FirstWriteCreatesFileWithCrLfLines) {
  ASSERT_TRUE(settings.write(kSectionLog, kKeyAutoSaveLog, "1"));
  ASSERT_TRUE(settings.write(kSectionLog, kKeyAutoSaveId, "0"));
  ASSERT_TRUE(settings.write(kSectionProgrammer, kKeyPowerSet, "50"));
  EXPECT_EQ(content(),
            "[Log information]\r\nAuto save log=1\r\nAuto save ID=0\r\n"
            "[Programmer information]\r\nPower set=50\r\n");
  EXPECT_TRUE(settings.exists());
  EXPECT_TRUE(settings.openableForWrite());
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyPowerSet), "50");
}

struct ReadCase {
  const char* what;
  const char* file;
  const char* section;
  const char* key;
  const char* expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.what; }

// A readable test name from the case's description.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  std::string name;
  for (const char* p = info.param.what; *p; ++p) name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

class SettingsReadTest : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(SettingsReadTest, ReadsWhatTheFileHolds) {
  tmp.write(kName, GetParam().file);
  EXPECT_EQ(settings.read(GetParam().section, GetParam().key), GetParam().expected);
}

const ReadCase kReadCases[] = {
    {"names in other case", "[LOG INFORMATION]\r\nauto SAVE log=1\r\n", "Log information", "Auto save log", "1"},
    {"asked in other case", "[Log information]\r\nAuto save log=1\r\n", "log information", "AUTO save LOG", "1"},
    {"spaces around key and value", "[ Log information ]\r\n  Auto save log  =   0  \r\n", "Log information", "Auto save log", "0"},
    {"LF line ends", "[A]\nk=v\n[B]\nk=w\n", "B", "k", "w"},
    {"lone CR line ends", "[A]\rk=v\r[B]\rk=w\r", "B", "k", "w"},
    {"no final line end", "[A]\r\nk=last", "A", "k", "last"},
    {"UTF-8 mark before the first section", "\xEF\xBB\xBF[A]\r\nk=v\r\n", "A", "k", "v"},
    {"value holding '='", "[A]\r\nk=a=b\r\n", "A", "k", "a=b"},
    {"key in another section", "[A]\r\nk=v\r\n[B]\r\nx=1\r\n", "B", "k", ""},
    {"missing section", "[A]\r\nk=v\r\n", "C", "k", ""},
    {"empty value", "[A]\r\nk=\r\n", "A", "k", ""},
    {"garbage lines between", "[A]\r\nthis is no setting\r\n=orphan\r\n[broken\r\n[A]\r\nk=v\r\n%%%\r\n", "A", "k", "v"},
    {"key after a broken header is not in the section", "[A]\r\n[broken\r\nk=v\r\n", "A", "k", ""},
    {"comments", "; k=no\r\n[A]\r\n# k=no\r\nk=yes\r\n", "A", "k", "yes"},
    {"binary junk", "\x01\x02\xff\xfe\r\n[A]\r\nk=v\r\n\x7f\x80", "A", "k", "v"},
    {"empty file", "", "A", "k", ""},
};

INSTANTIATE_TEST_SUITE_P(Files, SettingsReadTest, ::testing::ValuesIn(kReadCases), CaseName<ReadCase>);

TEST_F(SettingsFileTest, ValuesAreCutTo127Characters) {
  const std::string longValue(200, 'x');
  ASSERT_TRUE(settings.write("A", "k", longValue));
  EXPECT_EQ(settings.read("A", "k"), std::string(127, 'x'));
  EXPECT_NE(content().find(longValue), std::string::npos) << "the file keeps the whole value";
}

TEST_F(SettingsFileTest, ReadsTheFileAtEveryCall) {
  tmp.write(kName, "[Log information]\r\nAuto save log=1\r\n");
  EXPECT_TRUE(AutoSaveLog(settings));
  tmp.write(kName, "[Log information]\r\nAuto save log=0\r\n");
  EXPECT_FALSE(AutoSaveLog(settings));
}

TEST_F(SettingsFileTest, OnOffKeysAreOnOnlyForExactlyOne) {
  const struct {
    const char* value;
    bool on;
  } cases[] = {{"1", true}, {" 1 ", true}, {"0", false}, {"01", false}, {"1x", false}, {"yes", false}, {"", false}};
  for (const auto& c : cases) {
    tmp.write(kName, std::string("[Log information]\r\nAuto save log=") + c.value + "\r\nAuto save ID=" + c.value +
                         "\r\n[main window]\r\noperator mode=" + c.value + "\r\n");
    EXPECT_EQ(AutoSaveLog(settings), c.on) << '"' << c.value << '"';
    EXPECT_EQ(AutoSaveId(settings), c.on) << '"' << c.value << '"';
    EXPECT_EQ(OperatorModeSetting(settings), c.on) << '"' << c.value << '"';
  }
  tmp.write(kName, "[Log information]\r\nOperator mode=1\r\n");
  EXPECT_FALSE(OperatorModeSetting(settings)) << "the key of another section";
}

// Writing one key must leave every other byte of the file alone: comments, foreign lines,
// spacing, other sections and the file's own line ends.
struct EditCase {
  const char* what;
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.what; }

class SettingsEditTest : public SettingsFileTest, public ::testing::WithParamInterface<EditCase> {};

TEST_P(SettingsEditTest, ChangesOnlyTheOneSetting) {
  const EditCase& c = GetParam();
  tmp.write(kName, c.before);
  ASSERT_TRUE(settings.write(c.section, c.key, c.value));
  EXPECT_EQ(content(), c.after);
  EXPECT_EQ(settings.read(c.section, c.key), c.value);
}

const EditCase kEditCases[] = {
    {"existing key, other case, keeps its spelling and spacing",
     "; kept\r\n[log information]\r\nAUTO SAVE LOG = 1   \r\nAuto save ID=1\r\n",
     "Log information", "Auto save log", "0",
     "; kept\r\n[log information]\r\nAUTO SAVE LOG = 0\r\nAuto save ID=1\r\n"},
    {"new key goes after the section's last setting",
     "[Log information]\r\nAuto save log=1\r\n; about programmers\r\n\r\n[Programmer information]\r\nPower set=00\r\n",
     "Log information", "Auto save ID", "0",
     "[Log information]\r\nAuto save log=1\r\nAuto save ID=0\r\n; about programmers\r\n\r\n[Programmer information]\r\nPower set=00\r\n"},
    {"new section at the end, LF file stays LF",
     "[Other]\nx=1\ngarbage line\n",
     "Log information", "Auto save log", "1",
     "[Other]\nx=1\ngarbage line\n[Log information]\nAuto save log=1\n"},
    {"file without final line end",
     "[Other]\r\nx=1",
     "Other", "y", "2",
     "[Other]\r\nx=1\r\ny=2"},
    {"new section after a last line without line end",
     "[Other]\r\nx=1",
     "New", "y", "2",
     "[Other]\r\nx=1\r\n[New]\r\ny=2\r\n"},
    {"empty section header gets its first key",
     "[Log information]\r\n[Other]\r\nx=1\r\n",
     "Log information", "Auto save ID", "1",
     "[Log information]\r\nAuto save ID=1\r\n[Other]\r\nx=1\r\n"},
    {"duplicates all take the value",
     "[A]\r\nk=1\r\n[B]\r\nk=keep\r\n[a]\r\nK=2\r\n",
     "A", "k", "3",
     "[A]\r\nk=3\r\n[B]\r\nk=keep\r\n[a]\r\nK=3\r\n"},
    {"same key under a broken header is not touched",
     "[A]\r\n[broken\r\nk=other\r\n",
     "A", "k", "v",
     "[A]\r\nk=v\r\n[broken\r\nk=other\r\n"},
    {"empty value",
     "[A]\r\nk=old\r\n",
     "A", "k", "",
     "[A]\r\nk=\r\n"},
    {"UTF-8 mark kept",
     "\xEF\xBB\xBF[A]\r\nk=old\r\n",
     "A", "k", "new",
     "\xEF\xBB\xBF[A]\r\nk=new\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Files, SettingsEditTest, ::testing::ValuesIn(kEditCases), CaseName<EditCase>);

TEST_F(SettingsFileTest, RefusesWhatCannotBeStoredOnOneLine) {
  const std::string before = "[A]\r\nk=v\r\n";
  tmp.write(kName, before);
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"A", "k", "two\r\nlines"}, {"A", "k", "x\n[Log information]"}, {"A", "k=1", "v"}, {"A]", "k", "v"},
      {"A\n", "k", "v"},          {"", "k", "v"},                   {"A", "", "v"},    {"A", "[k", "v"},
      {"A", ";k", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(settings.write(c.section, c.key, c.value)) << c.section << " / " << c.key << " / " << c.value;
  }
  EXPECT_FALSE(settings.write("A", "k", std::string("nul\0byte", 8)));
  EXPECT_EQ(content(), before);
}

TEST_F(SettingsFileTest, WriteLeavesNoTempFileAndKeepsPermissions) {
  tmp.write(kName, "[A]\r\nk=1\r\n");
  ASSERT_EQ(::chmod(tmp.path(kName).c_str(), 0640), 0);
  ASSERT_TRUE(settings.write("A", "k", "2"));
  ASSERT_TRUE(settings.write("B", "k", "3"));
  struct stat st {};
  ASSERT_EQ(::stat(tmp.path(kName).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{kName});
}

TEST_F(SettingsFileTest, WritesThroughASymbolicLink) {
  tmp.write("real.ini", "[A]\r\nk=1\r\n");
  std::filesystem::create_symlink(tmp.path("real.ini"), tmp.path(kName));
  ASSERT_TRUE(settings.write("A", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(tmp.path(kName)));
  EXPECT_EQ(tmp.read("real.ini"), "[A]\r\nk=2\r\n");
}

TEST_F(SettingsFileTest, ReadOnlyFileIsReadButNeverReplaced) {
  const std::string before = "[Log information]\r\nAuto save log=0\r\n";
  tmp.write(kName, before);
  ASSERT_EQ(::chmod(tmp.path(kName).c_str(), 0444), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  EXPECT_TRUE(settings.exists());
  EXPECT_FALSE(settings.openableForWrite());
  EXPECT_EQ(settings.read(kSectionLog, kKeyAutoSaveLog), "0");
  // The folder is writable, so a rename could replace the file: it must not.
  EXPECT_FALSE(settings.write(kSectionLog, kKeyAutoSaveLog, "1"));
  EXPECT_EQ(content(), before);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{kName});
}

TEST_F(SettingsFileTest, WritableFileInReadOnlyFolderIsKeptAndSaysWhy) {
  // Without a temporary file beside it the file could only be rewritten in place, and a
  // crash half way would leave it broken: it is kept as it is instead.
  const std::string before = "; note\r\n[A]\r\nk=1\r\n";
  tmp.write(kName, before);
  ASSERT_EQ(::chmod(tmp.path(kName).c_str(), 0666), 0);
  ASSERT_EQ(::chmod(tmp.dir().c_str(), 0555), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  EXPECT_FALSE(settings.write("A", "k", "longer value"));
  EXPECT_THAT(settings.lastError(), HasSubstr(tmp.path(kName)));
  EXPECT_THAT(settings.lastError(), HasSubstr("does not take new files"));
  EXPECT_EQ(content(), before);
}

TEST_F(SettingsFileTest, AFailedWriteSaysWhyAndChangesNothing) {
  const std::string before = "[A]\r\nk=1\r\n";
  tmp.write(kName, before);
  ASSERT_EQ(::chmod(tmp.path(kName).c_str(), 0444), 0);
  EXPECT_FALSE(settings.write("A", "k", "2"));
  EXPECT_THAT(settings.lastError(), HasSubstr("read-only"));
  EXPECT_FALSE(settings.write("A", "k", "1")) << "already there, but the file still cannot be written";
  EXPECT_THAT(settings.lastError(), HasSubstr("read-only"));
  ASSERT_EQ(::chmod(tmp.path(kName).c_str(), 0644), 0);
  {
    test::ScopedFileWriteHook full([](int, const char*, std::size_t) -> ssize_t {
      errno = ENOSPC;
      return -1;
    });
    EXPECT_FALSE(settings.write("A", "k", "2"));
    EXPECT_THAT(settings.lastError(), HasSubstr("disk is full"));
  }
  EXPECT_EQ(content(), before);
  EXPECT_EQ(folderEntries(), std::vector<std::string>{kName});
  EXPECT_FALSE(settings.write("A", "k", "two\nlines"));
  EXPECT_THAT(settings.lastError(), HasSubstr("one line"));
  EXPECT_TRUE(settings.write("A", "k", "2"));
  EXPECT_EQ(settings.lastError(), "");
  EXPECT_EQ(content(), "[A]\r\nk=2\r\n");
}

// Two programs changing settings at once: each change is read, made and saved under the
// folder's lock, so neither throws the other's away; a holder that does not let go in time
// is named and nothing is changed.
TEST_F(SettingsFileTest, AChangeHoldsTheFoldersLockAndNamesAHolderThatKeepsIt) {
  ScopedLockPolicy noWait({0, {}});
  tmp.write(kName, "[A]\r\nk=1\r\n");
  {
    test::ForeignLock other(tmp.path(FileLock::kAppFolderLockName));
    ASSERT_TRUE(other.held());
    EXPECT_FALSE(settings.write("A", "k", "2"));
    EXPECT_THAT(settings.lastError(), HasSubstr("\"" + tmp.path(kName) + "\" is in use by process " +
                                                std::to_string(::getpid())));
    EXPECT_FALSE(settings.writeDefault("A", "new", "3"));
    EXPECT_EQ(content(), "[A]\r\nk=1\r\n");
  }
  EXPECT_TRUE(settings.write("A", "k", "2")) << settings.lastError();
  // A default goes only where there is no value yet.
  EXPECT_TRUE(settings.writeDefault("A", "k", "9"));
  EXPECT_TRUE(settings.writeDefault("A", "new", "3"));
  EXPECT_EQ(content(), "[A]\r\nk=2\r\nnew=3\r\n");
  // The lock is let go with the change.
  EXPECT_TRUE(test::ForeignLock(tmp.path(FileLock::kAppFolderLockName)).held());
}

TEST_F(SettingsFileTest, AnUnreadableFileIsNeitherReadNorReplaced) {
  tmp.write(kName, "[A]\r\nk=1\r\n");
  ASSERT_EQ(::chmod(tmp.path(kName).c_str(), 0200), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  EXPECT_EQ(settings.read("A", "k"), "");
  EXPECT_FALSE(settings.openableForWrite());
  EXPECT_FALSE(settings.write("A", "k", "2"));
  EXPECT_THAT(settings.lastError(), HasSubstr("cannot be read"));
}

TEST_F(SettingsFileTest, NoFileInReadOnlyFolderFailsCleanly) {
  ASSERT_EQ(::chmod(tmp.dir().c_str(), 0555), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  EXPECT_FALSE(settings.write("A", "k", "1"));
  EXPECT_FALSE(settings.exists());
}

TEST_F(SettingsFileTest, FolderInPlaceOfTheFile) {
  std::filesystem::create_directory(tmp.path(kName));
  EXPECT_TRUE(settings.exists());
  EXPECT_FALSE(settings.openableForWrite());
  EXPECT_EQ(settings.read("A", "k"), "");
  EXPECT_FALSE(settings.write("A", "k", "1"));
  EXPECT_THAT(settings.lastError(), HasSubstr("is a folder"));
}

}  // namespace
}  // namespace fd
