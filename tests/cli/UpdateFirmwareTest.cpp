// update-firmware on a bench file: the same checks and messages as the desktop's update,
// the progress lines, the confirmation, and the firmware the bench file keeps afterwards.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <unistd.h>

#include "cli/CliFixture.h"
#include "link/Clock.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Standard input from /dev/null while it lives: no terminal that could be asked.
class NoTerminalInput {
public:
  NoTerminalInput() : saved_(::dup(STDIN_FILENO)) {
    const int none = ::open("/dev/null", O_RDONLY);
    ::dup2(none, STDIN_FILENO);
    ::close(none);
  }
  ~NoTerminalInput() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }

private:
  int saved_;
};

class UpdateFirmwareCli : public CliTest {
protected:
  // A bench of one programmer with its update jumpers set and an old firmware page.
  std::string bench(const std::string& extra = "") {
    const std::string path = dir.path("bench.json");
    dir.write("bench.json", R"({"programmers": [{"updateJumpers": true,
        "firmware": [{"page": "FC5", "count": 1, "fill": "00"}])" + extra + "}]}");
    return path;
  }
  std::string firmware(int pages) {
    std::vector<std::string> lines;
    for (int k = 0; k < pages; ++k) {
      // The last pages of the programmer's flash: an update always brings page 0xFFF.
      const std::uint32_t page = 0x100000 - 0x100 * static_cast<std::uint32_t>(pages - k);
      lines.push_back(S2(page, Filled(128, 0x5A)));
      lines.push_back(S2(page + 0x80, Filled(120, 0x5A)));
    }
    lines.push_back(kS8);
    dir.write("new.mot", SFile(lines));
    return dir.path("new.mot");
  }
  SimPages firmwareOnBench(const std::string& path) {
    VirtualClock clock;
    SimBenchLoad load = SimBench::load(path, clock);
    EXPECT_TRUE(load.bench) << load.error;
    return load.bench ? load.bench->programmer(0).setup().firmware : SimPages{};
  }
  NoTerminalInput input;
};

TEST_F(UpdateFirmwareCli, UpdatesTheProgrammerAndTheBenchFileKeepsTheNewFirmware) {
  const std::string path = bench();
  const CliRun run = cli({"update-firmware", firmware(3), "--yes"}, path);
  ASSERT_EQ(run.code, 0) << run.err;
  // --yes answered the window's instruction: it is said once, not shown as if it waited.
  EXPECT_THAT(run.err, HasSubstr("INFO: \"Enter update mode...\" answered OK by --yes\n"));
  EXPECT_THAT(run.err, Not(HasSubstr("Please insert the programmer")));
  EXPECT_THAT(run.err, HasSubstr("INFO: The programmer is updated.\nDisconnected the USB cable.\n"));
  EXPECT_THAT(run.out, HasSubstr("Updating 20%"));
  EXPECT_THAT(run.out, HasSubstr("Updating 100%"));
  const SimPages pages = firmwareOnBench(path);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages.begin()->first, 0xFFD);
  EXPECT_EQ(pages.at(0xFFD)[0], 0x5A);
  EXPECT_EQ(pages.at(0xFFF)[0], 0x5A);
  EXPECT_EQ(pages.at(0xFFF)[255], 0xFF);
}

TEST_F(UpdateFirmwareCli, ABinaryFirmwareGoesToItsBaseAndNeedsOne) {
  const std::string path = bench();
  dir.write("fw.bin", std::string(0x200, '\x3C'));
  const CliRun missing = cli({"update-firmware", dir.path("fw.bin"), "--yes"}, path);
  EXPECT_EQ(missing.code, 2);
  EXPECT_THAT(missing.err, HasSubstr("--base is needed"));
  const CliRun stray = cli({"update-firmware", firmware(1), "--base", "0xFFE00", "--yes"}, path);
  EXPECT_EQ(stray.code, 2);
  EXPECT_THAT(stray.err, HasSubstr("--base is only for a binary"));
  EXPECT_EQ(cli({"update-firmware", dir.path("fw.bin"), "--base", "", "--yes"}, path).code, 2);
  EXPECT_EQ(firmwareOnBench(path).count(0xFC5), 1u);

  const CliRun run = cli({"update-firmware", dir.path("fw.bin"), "--base", "0xFFE00", "--yes"}, path);
  ASSERT_EQ(run.code, 0) << run.err;
  const SimPages pages = firmwareOnBench(path);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages.at(0xFFE)[0], 0x3C);
  EXPECT_EQ(pages.at(0xFFF)[255], 0x3C);
}

TEST_F(UpdateFirmwareCli, FailuresExitOneWithTheirMessagesAndLeaveTheFirmware) {
  struct Case {
    const char* name;
    std::string simulate;
    std::string file;
    const char* message;
  };
  dir.write("not.mot", "S1130000\r\n");
  const std::vector<Case> cases = {
      {"not a mot file", bench(), dir.path("not.mot"), "WARNING: Selected file is not mot file."},
      {"no such file", bench(), dir.path("missing.mot"), "ERROR: Can not open selected file!"},
      {"block 1 not erased", bench(R"(, "faults": {"boot": {"erase": {"1": "fails"}}})"), firmware(1),
       "ERROR: Block 1 erase error!"},
      {"the demo's three programmers", "demo", firmware(1), "ERROR: More than 1 programmers are detected!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CliRun run = cli({"update-firmware", c.file, "--yes"}, c.simulate);
    EXPECT_EQ(run.code, 1);
    EXPECT_THAT(run.err, HasSubstr(c.message));
    EXPECT_THAT(run.err, Not(HasSubstr("The programmer is updated.")));
    if (c.simulate != "demo") {
      const SimPages pages = firmwareOnBench(c.simulate);
      // Block 2, which holds the old page, is never reached.
      EXPECT_EQ(pages.count(0xFC5), 1u);
    }
  }
}

TEST_F(UpdateFirmwareCli, WithoutATerminalOnlyYesConfirmsAndEmptyValuesAreUsageErrors) {
  const std::string path = bench();
  const CliRun refused = cli({"update-firmware", firmware(1)}, path);
  EXPECT_EQ(refused.code, 2);
  EXPECT_THAT(refused.err, HasSubstr("--yes"));
  EXPECT_THAT(refused.err, Not(HasSubstr("UPDATE:")));
  EXPECT_EQ(firmwareOnBench(path).count(0xFC5), 1u);

  const CliRun empty = cli({"update-firmware", "", "--yes"}, path);
  EXPECT_EQ(empty.code, 2);
  EXPECT_THAT(empty.err, HasSubstr("the firmware file name is empty"));
  EXPECT_EQ(cli({"update-firmware", "--yes"}, path).code, 2);
}

}  // namespace
}  // namespace fd::test
