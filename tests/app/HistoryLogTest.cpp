#include "app/HistoryLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "formats/FileIoTestHook.h"
#include "formats/FileLock.h"
#include "support/ForeignLock.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::AsPlainUser;
using test::TempDir;

constexpr LocalTime kMorning{2024, 3, 5, 7, 8, 9};
constexpr LocalTime kEvening{2024, 12, 31, 23, 59, 58};

TEST(HistoryTextTest, DateLineIsZeroPaddedAndFollowedByTheTitle) {
  EXPECT_EQ(HistoryDateLine(kMorning, kTitleOfflineLoad), "\n2024-03-05, 07:08:09  Operation: Off-line Load");
  EXPECT_EQ(HistoryDateLine(kEvening, kTitleGang), "\n2024-12-31, 23:59:58  Operation: On-line E.P.V");
  EXPECT_EQ(HistoryDateLine(LocalTime{987, 1, 2, 3, 4, 5}, kTitleOnlineProgram),
            "\n0987-01-02, 03:04:05  Operation: On-line Program");
}

TEST(HistoryTextTest, GangResultTexts) {
  const struct {
    std::uint8_t code;
    const char* text;
  } cases[] = {
      {0x00, "Successfully completed."},
      {0x12, "Verify error of communication between PC and the programmer!"},
      {0x13, "Program the target with verify error!"},
      {0x22, "Can not erase the on-board external flash!"},
      {0x23, "Can not write to the on-board external flash!"},
      {0x32, "No target is connected!"},
      {0x70, "No target is connected!"},
      {0x33, "Target is not powered!"},
      {0x34, "Detected power is not match to the setting value!"},
      {0x35, "Can not set the new baud rate to the target!"},
      {0x40, "ID code is not match!"},
      {0x50, "Can not erase the target!"},
      {0x60, "Program to the target end with error!"},
      {0x80, "Unknown error!"},
      {0xFF, "Unknown error!"},
      {0x01, "Unknown error!"},
      {0x41, "Unknown error!"},
  };
  for (const auto& c : cases) EXPECT_EQ(GangResultText(c.code), c.text) << int(c.code);
}

std::vector<GangLogRow> EveryKindOfRow() {
  using Kind = GangLogRow::Kind;
  return {
      {"01", Kind::Done, "ZK40F1234567", "firmware_v2_long", 0x00},
      {"02", Kind::NotTaking, "", "", 0xFF},
      {"03", Kind::ResetError, "", "", 0xFF},
      {"04", Kind::InfoError, "", "", 0xFF},
      {"05", Kind::FlashEmpty, "", "", 0xFF},
      {"06", Kind::Done, "ZK40", "app", 0x40},
      {"07", Kind::Done, "ZK40", "a\r\nNo.08 | x", 0x80},
  };
}

TEST(HistoryTextTest, GangRecordLayout) {
  EXPECT_EQ(GangRecordText(kMorning, EveryKindOfRow()),
            "\n2024-03-05, 07:08:09  Operation: On-line E.P.V"
            "\nNo.01 | ZK40F1234567 | firmware_v2_long.mot | Successfully completed."
            "\nNo.02 | N.A."
            "\nNo.03Reset error!!!"
            "\nNo.04Can not get information!"
            "\nNo.05External flash is empty!"
            "\nNo.06 | ZK40 | app.mot | ID code is not match!"
            "\nNo.07 | ZK40 | a??No.08 | x.mot | Unknown error!"
            "\n");
  EXPECT_EQ(GangRecordText(kMorning, {}), "\n2024-03-05, 07:08:09  Operation: On-line E.P.V\n");
}

class HistoryLogTest : public ::testing::Test {
protected:
  static constexpr const char* kLog = "history.log";
  static constexpr const char* kIni = "settings.ini";
  TempDir tmp;
  HistoryLog log{tmp.path(kLog)};
  SettingsFile settings{tmp.path(kIni)};

  void SetUp() override {
    tmp.write(kLog, "");
    setLog("1", "1");
  }
  void setLog(const char* autoLog, const char* autoId) {
    tmp.write(kIni, std::string("[Log information]\r\nAuto save log=") + autoLog + "\r\nAuto save ID=" + autoId + "\r\n");
  }
  std::string onDisk() const { return tmp.read(kLog); }
};

TEST_F(HistoryLogTest, AppendWritesCrLfAndKeepsWhatWasThere) {
  tmp.write(kLog, "older\r\n");
  ASSERT_TRUE(log.append("a\nb\n"));
  EXPECT_EQ(onDisk(), "older\r\na\r\nb\r\n");
}

TEST_F(HistoryLogTest, TwoGangRecordsAreSeparatedByAnEmptyLine) {
  ASSERT_TRUE(log.append(GangRecordText(kMorning, {{"01", GangLogRow::Kind::NotTaking, "", "", 0}})));
  ASSERT_TRUE(log.append(GangRecordText(kEvening, {{"01", GangLogRow::Kind::ResetError, "", "", 0},
                                                  {"02", GangLogRow::Kind::Done, "ZK40F1", "main", 0x00}})));
  EXPECT_EQ(onDisk(),
            "\r\n2024-03-05, 07:08:09  Operation: On-line E.P.V\r\nNo.01 | N.A.\r\n"
            "\r\n2024-12-31, 23:59:58  Operation: On-line E.P.V\r\nNo.01Reset error!!!\r\n"
            "No.02 | ZK40F1 | main.mot | Successfully completed.\r\n");
}

TEST_F(HistoryLogTest, AppendNeverCreatesTheFile) {
  std::filesystem::remove(tmp.path(kLog));
  EXPECT_FALSE(log.append("x\n"));
  EXPECT_FALSE(tmp.exists(kLog));
}

TEST_F(HistoryLogTest, AppendRefusesAFolderOrFifoInThePlaceOfTheFile) {
  std::filesystem::remove(tmp.path(kLog));
  std::filesystem::create_directory(tmp.path(kLog));
  EXPECT_FALSE(log.append("x\n"));
  std::filesystem::remove(tmp.path(kLog));
  ASSERT_EQ(::mkfifo(tmp.path(kLog).c_str(), 0666), 0);
  EXPECT_FALSE(log.append("x\n")) << "must neither hang nor write into a pipe";
}

TEST_F(HistoryLogTest, AppendToReadOnlyFileFailsAndLeavesIt) {
  tmp.write(kLog, "kept\r\n");
  ASSERT_EQ(::chmod(tmp.path(kLog).c_str(), 0444), 0);
  AsPlainUser user(tmp);
  if (!user.active()) GTEST_SKIP() << "cannot drop root rights";
  EXPECT_FALSE(log.append("x\n"));
  EXPECT_EQ(onDisk(), "kept\r\n");
}

TEST_F(HistoryLogTest, ARecordIsWholeOrNotThereAndAFailureSaysWhy) {
  tmp.write(kLog, "older\r\n");
  {
    // Half of the record lands, then the disk is full.
    int calls = 0;
    test::ScopedFileWriteHook hook([&](int descriptor, const char* data, std::size_t size) -> ssize_t {
      if (calls++ == 0) return ::write(descriptor, data, size / 2);
      errno = ENOSPC;
      return -1;
    });
    const FileResult r = log.append(GangRecordText(kMorning, {{"01", GangLogRow::Kind::NotTaking, "", "", 0}}));
    EXPECT_FALSE(r);
    EXPECT_NE(r.error.find(tmp.path(kLog)), std::string::npos) << r.error;
    EXPECT_NE(r.error.find("disk is full"), std::string::npos) << r.error;
  }
  EXPECT_EQ(onDisk(), "older\r\n");
  const FileResult missing = HistoryLog(tmp.path("gone.log")).append("x\n");
  EXPECT_NE(missing.error.find("does not exist"), std::string::npos) << missing.error;
}

TEST_F(HistoryLogTest, AnAppendHoldsTheFoldersLockAndNamesAHolderThatKeepsIt) {
  ScopedLockPolicy noWait({0, {}});
  tmp.write(kLog, "older\r\n");
  {
    test::ForeignLock other(tmp.path(FileLock::kAppFolderLockName));
    ASSERT_TRUE(other.held());
    const FileResult r = log.append("x\n");
    EXPECT_FALSE(r);
    EXPECT_NE(r.error.find("in use by process " + std::to_string(::getpid())), std::string::npos) << r.error;
    EXPECT_EQ(onDisk(), "older\r\n");
  }
  EXPECT_TRUE(log.append("x\n"));
  EXPECT_EQ(onDisk(), "older\r\nx\r\n");
}

// The Single Operation window: one date line per opening, then one line per success.
class SingleOperationLogTest : public HistoryLogTest {
protected:
  SingleOperationLog single{settings, log};

  void load(const LocalTime& t, std::string_view product, std::string_view file, std::string_view id) {
    single.recordSuccess(t, kTitleOfflineLoad, "01", product, file, kLoadSuccessText, id);
  }
};

TEST_F(SingleOperationLogTest, OneDateLinePerWindowOpening) {
  single.reset();
  load(kMorning, "ZK40F1", "main", "0102030405060A");
  single.recordSuccess(kEvening, kTitleOnlineProgram, "03", "ZK40F2", "other", kProgramSuccessText, "");
  EXPECT_TRUE(single.logStarted());
  single.reset();
  EXPECT_FALSE(single.logStarted());
  load(kEvening, "ZK40F1", "main", "");
  EXPECT_EQ(onDisk(),
            "\r\n2024-03-05, 07:08:09  Operation: Off-line Load\r\n"
            "No.01 | ZK40F1       | main            .mot | Load successfully | ID code: 0102030405060A\r\n"
            "No.03 | ZK40F2       | other           .mot | Program successfully | ID code: \r\n"
            "\r\n2024-12-31, 23:59:58  Operation: Off-line Load\r\n"
            "No.01 | ZK40F1       | main            .mot | Load successfully | ID code: \r\n");
}

// Another program's record must never come between a date line and its first entry: the
// two are written together, in one write, and the window's later entries one write each.
TEST_F(SingleOperationLogTest, TheDateLineAndTheFirstEntryAreOneAppend) {
  setLog("1", "0");
  std::vector<std::string> writes;
  {
    test::ScopedFileWriteHook hook([&](int descriptor, const char* data, std::size_t size) -> ssize_t {
      writes.emplace_back(data, size);
      return ::write(descriptor, data, size);
    });
    single.reset();
    load(kMorning, "P", "f", "");
    load(kMorning, "P", "g", "");
  }
  const std::vector<std::string> expected = {
      "\r\n2024-03-05, 07:08:09  Operation: Off-line Load\r\n"
      "No.01 | P            | f               .mot | Load successfully\r\n",
      "No.01 | P            | g               .mot | Load successfully\r\n"};
  EXPECT_EQ(writes, expected);
}

TEST_F(SingleOperationLogTest, NamesArePaddedOrCutToTheirWidth) {
  const struct {
    const char* product;
    const char* file;
    const char* fields;
  } cases[] = {
      {"", "", " |              |                 .mot"},
      {"ZK40F1234567", "0123456789ABCDEF", " | ZK40F1234567 | 0123456789ABCDEF.mot"},
      {"ZK40F1234567890", "0123456789ABCDEFGHIJ", " | ZK40F1234567 | 0123456789ABCDEF.mot"},
      {"Not select  ", "a\nb", " | Not select   | a?b             .mot"},
  };
  setLog("1", "0");
  for (const auto& c : cases) {
    tmp.write(kLog, "");
    single.reset();
    load(kMorning, c.product, c.file, "FF");
    EXPECT_EQ(onDisk(), std::string("\r\n2024-03-05, 07:08:09  Operation: Off-line Load\r\nNo.01") + c.fields +
                            " | Load successfully\r\n");
  }
}

TEST_F(SingleOperationLogTest, AutoSaveIdOffLeavesTheIdOut) {
  setLog("1", "0");
  load(kMorning, "P", "f", "0102030405060A");
  EXPECT_EQ(onDisk().find("ID code"), std::string::npos);
  setLog("1", "1");  // read at every operation, so it counts at once
  load(kMorning, "P", "f", "0102030405060A");
  EXPECT_NE(onDisk().find(" | Load successfully | ID code: 0102030405060A\r\n"), std::string::npos);
}

TEST_F(SingleOperationLogTest, AnEntryThatCannotBeWrittenSaysWhyAndKeepsTheDateLineDue) {
  std::filesystem::remove(tmp.path(kLog));
  single.reset();
  const FileResult r = single.recordSuccess(kMorning, kTitleOfflineLoad, "01", "P", "f", kLoadSuccessText, "");
  EXPECT_FALSE(r);
  EXPECT_NE(r.error.find("does not exist"), std::string::npos) << r.error;
  EXPECT_FALSE(single.logStarted());
  tmp.write(kLog, "");
  EXPECT_TRUE(single.recordSuccess(kMorning, kTitleOfflineLoad, "01", "P", "f", kLoadSuccessText, ""));
  EXPECT_EQ(onDisk().find("\r\n2024-03-05, 07:08:09  Operation: Off-line Load\r\n"), 0u);
}

TEST_F(SingleOperationLogTest, LogOffWritesNothing) {
  for (const char* off : {"0", "", "yes"}) {
    setLog(off, "1");
    single.reset();
    load(kMorning, "P", "f", "01");
    EXPECT_EQ(onDisk(), "") << off;
    EXPECT_FALSE(single.logStarted());
  }
  // Switched on later in the same opening: the first entry still gets its date line.
  setLog("1", "0");
  load(kEvening, "P", "f", "01");
  EXPECT_EQ(onDisk(), "\r\n2024-12-31, 23:59:58  Operation: Off-line Load\r\n"
                      "No.01 | P            | f               .mot | Load successfully\r\n");
}

TEST_F(SingleOperationLogTest, MissingLogFileIsSkippedAndNotCreated) {
  std::filesystem::remove(tmp.path(kLog));
  load(kMorning, "P", "f", "01");
  EXPECT_FALSE(tmp.exists(kLog));
  EXPECT_FALSE(single.logStarted()) << "the next entry that can be written needs its date line";
  tmp.write(kLog, "");
  setLog("1", "0");
  load(kEvening, "P", "f", "01");
  EXPECT_EQ(onDisk(), "\r\n2024-12-31, 23:59:58  Operation: Off-line Load\r\n"
                      "No.01 | P            | f               .mot | Load successfully\r\n");
}

}  // namespace
}  // namespace fd
