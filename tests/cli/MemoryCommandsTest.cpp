// erase and read on the command line, on a bench whose target holds a known pattern: the
// blocks named as the window lists them, the S-record file as the Read window saves it,
// the usage errors, and the failures that end with exit 1 and no file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "cli/CliFixture.h"
#include "formats/SRecord.h"
#include "flows/memory/SaveReadData.h"
#include "formats/SRecordWriter.h"
#include "support/PeerTools.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::CliRun;
using Bytes = std::vector<std::uint8_t>;

// One programmer whose ZK40F8C12 target holds page k of each run filled with fill + k.
std::string BenchText(const std::string& faults = "") {
  return R"({"programmers": [{"target": {"selfPowered": true,
      "flash": [{"start": "02400", "size": 2048, "blockSize": 1024},
                {"start": "04000", "size": 65536, "blockSize": 8192}],
      "memory": [{"page": "024", "count": 8, "fill": "10", "step": 1},
                 {"page": "040", "count": 256, "fill": "00", "step": 1}]})" +
         (faults.empty() ? std::string() : ", \"faults\": " + faults) + "}]}";
}

std::uint8_t TargetByte(std::uint32_t address) {
  const std::uint32_t page = address >> 8;
  if (page >= 0x024 && page < 0x02C) return static_cast<std::uint8_t>(0x10 + page - 0x024);
  if (page >= 0x040 && page < 0x140) return static_cast<std::uint8_t>(page - 0x040);
  return 0xFF;
}

Bytes TargetBytes(std::uint32_t start, std::uint32_t end) {
  Bytes bytes;
  for (std::uint32_t a = start; a <= end; ++a) bytes.push_back(TargetByte(a));
  return bytes;
}

class MemoryCommands : public test::CliTest {
protected:
  void SetUp() override {
    useBench();
    chooseOnlineProduct("ZK40F8C12");
  }
  void useBench(const std::string& faults = "") { dir.write("bench.json", BenchText(faults)); }
  CliRun onBench(const std::vector<std::string>& args) { return cli(args, dir.path("bench.json")); }
};

TEST_F(MemoryCommands, EraseSendsEachNamedBlockAndAReadShowsThemErased) {
  const CliRun erase = onBench({"--trace", dir.path("trace.txt"), "erase", "--sn", "01", "--blocks", "1,a"});
  ASSERT_EQ(erase.code, 0) << erase.err;
  EXPECT_THAT(erase.out, HasSubstr("Erased: Block A, Block 1"));
  const std::string trace = dir.read("trace.txt");
  const auto first = trace.find("Write h1 [45] sent=1 => 0\nWrite h1 [24 00] sent=2 => 0");
  const auto second = trace.find("Write h1 [45] sent=1 => 0\nWrite h1 [60 00] sent=2 => 0");
  EXPECT_NE(first, std::string::npos) << trace;
  EXPECT_LT(first, second) << "in list order";

  const CliRun read = onBench({"read", "--sn", "1", "--blocks", "A,B", "-o", dir.path("data.mot")});
  ASSERT_EQ(read.code, 0) << read.err;
  Bytes expected(0x400, 0xFF);
  const Bytes blockB = TargetBytes(0x2800, 0x2BFF);
  expected.insert(expected.end(), blockB.begin(), blockB.end());
  EXPECT_EQ(dir.read("data.mot"), WriteSRecords(expected, 0x2400).text);
  EXPECT_THAT(read.out, HasSubstr("Read 02400 to 02BFF (2048 bytes) into " + dir.path("data.mot")));
}

TEST_F(MemoryCommands, TheSavedFileGivesBackTheTargetsBytes) {
  const CliRun read = onBench({"read", "--sn", "01", "--start", "4005", "--end", "4ffa", "-o", dir.path("range")});
  ASSERT_EQ(read.code, 0) << read.err;
  ASSERT_TRUE(dir.exists("range.mot")) << "the save's default extension";
  const std::string text = dir.read("range.mot");
  const Bytes expected = TargetBytes(0x4005, 0x4FFA);
  EXPECT_EQ(text, WriteSRecords(expected, 0x4005).text);

  // Our own reader: the pages around the range read 0xFF.
  TextPageSink sink;
  ASSERT_TRUE(ConvertToPages(text, sink).ok);
  std::map<std::uint32_t, std::uint8_t> back;
  for (const PageRecord& page : sink.pages()) {
    const auto bytes = DecodePageText(page.text);
    ASSERT_TRUE(bytes);
    for (std::size_t i = 0; i < 256; ++i) back[page.page * 256u + i] = (*bytes)[i];
  }
  for (std::uint32_t a = 0x4000; a < 0x5000; ++a) {
    ASSERT_EQ(back.at(a), a >= 0x4005 && a <= 0x4FFA ? TargetByte(a) : 0xFF) << a;
  }

  const std::string srecCat = test::FindOnPath("srec_cat");
  if (srecCat.empty()) GTEST_SKIP() << "srec_cat is not on PATH";
  // srec_cat refuses a record with a wrong checksum; the data land at offset 0.
  ASSERT_EQ(test::RunTool(srecCat, {dir.path("range.mot"), "-motorola", "-offset", "-16389", "-o",
                                    dir.path("range.bin"), "-binary"},
                          dir.path("srec.log")),
            0)
      << dir.read("srec.log");
  EXPECT_EQ(dir.read("range.bin"), std::string(expected.begin(), expected.end()));
}

TEST_F(MemoryCommands, UsageErrorsNameTheirOption) {
  dir.write("taken.mot", "keep");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"erase", "--sn", "01"}, "--blocks or --all"},
      {{"erase", "--sn", "01", "--blocks", ""}, "--blocks"},
      {{"erase", "--sn", "01", "--blocks", "A,,1"}, "--blocks"},
      {{"erase", "--sn", "01", "--blocks", "A", "--all"}, "--all"},
      {{"erase", "--sn", "01", "--blocks", "Z"}, "no block \"Z\" (its blocks: A,B,0,1,2,3,4,5,6,7)"},
      {{"erase", "--sn", "09", "--all"}, "--sn"},
      {{"read", "--sn", "01", "-o", "x.mot"}, "--blocks or --start and --end"},
      {{"read", "--sn", "01", "--start", "4000", "-o", "x.mot"}, "--start"},
      {{"read", "--sn", "01", "--start", "040000", "--end", "4FFF", "-o", "x.mot"}, "--start"},
      {{"read", "--sn", "01", "--start", "4000", "--end", "4G00", "-o", "x.mot"}, "--end"},
      {{"read", "--sn", "01", "--start", "4000", "--end", "", "-o", "x.mot"}, "--end"},
      {{"read", "--sn", "01", "--blocks", "0", "-o", ""}, "-o"},
      {{"read", "--sn", "01", "--blocks", "0", "-o", "taken.mot"}, "give --force"},
      {{"read", "--sn", "01", "--start", "2400", "--end", "4000", "-o", "x.mot"}, "Input address is out of memory map!"},
      {{"read", "--sn", "01", "--start", "F000", "--end", "E000", "-o", "x.mot"}, "Exchange start address"},
      {{"read", "--sn", "01", "--blocks", "A,0", "-o", "x.mot"}, "at the same time."},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    for (auto& a : args) {
      if (a == "x.mot" || a == "taken.mot") a = dir.path(a);
    }
    SCOPED_TRACE(args[0] + " " + args.back());
    const CliRun run = onBench(args);
    EXPECT_EQ(run.code, 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.err));
    EXPECT_FALSE(dir.exists("x.mot"));
  }
  EXPECT_EQ(dir.read("taken.mot"), "keep");

  // A row with no programmer is a failed operation, not a usage error.
  const CliRun absent = onBench({"erase", "--sn", "02", "--all"});
  EXPECT_EQ(absent.code, 1) << absent.err;
  EXPECT_THAT(absent.err, HasSubstr("No programmer 02 is detected."));
}

TEST_F(MemoryCommands, FourDigitProductsTakeFourDigitAddresses) {
  chooseOnlineProduct("ZK40A20S");  // type code 1
  const CliRun longer = onBench({"read", "--sn", "01", "--start", "0C000", "--end", "0C0FF", "-o", dir.path("x.mot")});
  EXPECT_EQ(longer.code, 2);
  EXPECT_THAT(longer.err, HasSubstr("--start takes at most 4 hex digits"));
}

TEST_F(MemoryCommands, ForceReplacesAnExistingFile) {
  dir.write("old.mot", "keep");
  const CliRun run = onBench({"read", "--sn", "01", "--start", "4000", "--end", "400F", "-o", dir.path("old.mot"), "--force"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(dir.read("old.mot"), WriteSRecords(TargetBytes(0x4000, 0x400F), 0x4000).text);
}

// The program's own files are never an output, --force or not, by whatever name: S-records
// in the history log or the settings would lose them.
TEST_F(MemoryCommands, ReadNeverWritesOverTheProgramsOwnFiles) {
  ASSERT_EQ(onBench({"list"}).code, 0);  // the app folder's files exist
  std::filesystem::create_hard_link(dir.path(kHistoryFileName), dir.path("hard.log"));
  std::filesystem::create_symlink(dir.path(kSettingsFileName), dir.path("link.ini"));
  std::filesystem::create_directory(dir.path("sub"));
  const struct {
    std::string output;
    const char* what;
  } cases[] = {
      {dir.path(kHistoryFileName), "history log"},
      {dir.path("sub/../") + kHistoryFileName, "history log"},
      {dir.path("hard.log"), "history log"},
      {dir.path(kSettingsFileName), "settings file"},
      {dir.path("link.ini"), "settings file"},
      {dir.path(kLoadRecordFileName), "load-record file"},
      {dir.path("bench.json"), "bench file"},
  };
  const std::string history = dir.read(kHistoryFileName);
  const std::string settings = dir.read(kSettingsFileName);
  const std::string record = dir.read(kLoadRecordFileName);
  const std::string bench = dir.read("bench.json");
  for (const auto& c : cases) {
    const CliRun run = onBench({"read", "--sn", "01", "--blocks", "0", "-o", c.output, "--force"});
    EXPECT_EQ(run.code, 2) << c.output;
    EXPECT_THAT(run.err, HasSubstr("is the program's " + std::string(c.what))) << c.output;
  }
  EXPECT_EQ(dir.read(kHistoryFileName), history);
  EXPECT_EQ(dir.read(kSettingsFileName), settings);
  EXPECT_EQ(dir.read(kLoadRecordFileName), record);
  EXPECT_EQ(dir.read("bench.json"), bench);
}

// ".mot" goes only to a name that is a file to be: a device keeps its name (and is refused
// as no regular file) instead of turning into a new file beside it.
TEST_F(MemoryCommands, ADeviceIsNotMadeIntoAFileBesideIt) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const CliRun run = onBench({"read", "--sn", "01", "--blocks", "0", "-o", "/dev/full", "--force"});
  EXPECT_EQ(run.code, 2);
  EXPECT_THAT(run.err, HasSubstr("/dev/full is not a regular file"));
  EXPECT_FALSE(std::filesystem::exists("/dev/full.mot"));
  EXPECT_EQ(WithDefaultExtension("/dev/full"), "/dev/full");
  EXPECT_EQ(WithDefaultExtension(dir.path("new")), dir.path("new.mot"));
  EXPECT_EQ(WithDefaultExtension(dir.path("new.bin")), dir.path("new.bin"));
}

TEST_F(MemoryCommands, AStoppedReadExitsOneWithTheMessageAndNoFile) {
  const struct {
    const char* faults;
    const char* message;
  } cases[] = {
      {R"({"corruptReadCrc": true})", "ERROR: CRC code check error!"},
      {R"({"busyAfterCommands": "R"})", "ERROR: Time out error!"},
      {R"({"errors": [{"command": "R", "code": 50}]})", "ERROR: No target is connected!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.faults);
    useBench(c.faults);
    const CliRun run = onBench({"read", "--sn", "01", "--blocks", "0", "-o", dir.path("out.mot")});
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_FALSE(dir.exists("out.mot"));
  }
}

TEST_F(MemoryCommands, AStoppedEraseExitsOneNamingWhatWasErased) {
  useBench(R"({"errors": [{"command": "E", "code": 128}]})");
  const CliRun run = onBench({"erase", "--sn", "01", "--all"});
  EXPECT_EQ(run.code, 1);
  EXPECT_THAT(run.err, HasSubstr("ERROR: Target power is short cut!"));
  EXPECT_THAT(run.out, HasSubstr("Erased before the erase stopped: none"));
}

TEST_F(MemoryCommands, WithoutAProductNothingReachesTheTarget) {
  chooseOnlineProduct(kNotSelect);
  const CliRun erase = onBench({"erase", "--sn", "01", "--blocks", "A"});
  EXPECT_EQ(erase.code, 1);
  EXPECT_THAT(erase.err, HasSubstr("WARNING: No product is selected."));
  const CliRun read = onBench({"read", "--sn", "01", "--start", "4000", "--end", "4FFF", "-o", dir.path("out.mot")});
  EXPECT_EQ(read.code, 1);
  EXPECT_FALSE(dir.exists("out.mot"));
}

}  // namespace
}  // namespace fd
