// `load` and `program` on the simulated bench as a production line runs them: the outcome
// and its exit code, the reload answers, the history entries, the bench written back for the
// next command, and Intel HEX and binary twins that reach the target as the same bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "cli/CliFixture.h"
#include "flows/load/LoadFile.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using test::Bytes;
using test::CliRun;

class LoadProgramCliTest : public test::CliTest {
protected:
  LoadProgramCliTest() : data(test::RandomBytes(3000, 11)) {
    VirtualClock clock;
    std::string error;
    EXPECT_TRUE(SimBench::demo(clock)->save(bench, error)) << error;
    // The twins: the same bytes at 0x4000 as S-records, Intel HEX and a binary.
    dir.write("app.mot", test::S2Image(0x4000, data));
    std::string hex;
    for (std::size_t at = 0; at < data.size(); at += 16) {
      hex += test::IntelLine(0, static_cast<std::uint16_t>(0x4000 + at),
                             Bytes(data.begin() + at, data.begin() + std::min(data.size(), at + 16))) + "\n";
    }
    dir.write("app.hex", hex + ":00000001FF\n");
    dir.write("app.bin", std::string(data.begin(), data.end()));
  }

  CliRun run(std::vector<std::string> args) { return cli(std::move(args), bench); }
  SimProgrammerSetup programmer(std::size_t slot) {
    VirtualClock clock;
    auto loaded = SimBench::load(bench, clock);
    EXPECT_TRUE(loaded.bench) << loaded.error;
    return loaded.bench->programmer(slot).setup();
  }
  // The bytes at 0x4000 of a page map.
  Bytes bytesAt4000(const SimPages& pages) const {
    Bytes out;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto page = pages.find(static_cast<std::uint16_t>((0x4000 + i) >> 8));
      out.push_back(page == pages.end() ? 0xFF : page->second[(0x4000 + i) & 0xFF]);
    }
    return out;
  }
  void onlineSettings(const char* product, const char* power) {
    SettingsFile settings(dir.path(kSettingsFileName));
    ASSERT_EQ(cli({"options"}, "").code, 0);  // the first-run settings
    settings.write(kSectionProgrammer, kKeyProductNumber, product);
    settings.write(kSectionProgrammer, kKeyPowerSet, power);
  }

  Bytes data;
  std::string bench = dir.path("bench.json");
};

TEST_F(LoadProgramCliTest, LoadThenGangProgramsTheLoadedBytesAcrossRuns) {
  const CliRun load = run({"load", dir.path("app.mot"), "--sn", "01"});
  ASSERT_EQ(load.code, 0) << load.err;
  EXPECT_THAT(load.out, HasSubstr("01  app.mot: 12 pages loaded"));
  EXPECT_THAT(load.err, HasSubstr("INFO: Selected file is loaded to the programmer."));
  EXPECT_THAT(dir.read(kHistoryFileName), HasSubstr("No.01 | ZK40F8C12    | app             .mot | Load successfully"));
  EXPECT_EQ(bytesAt4000(programmer(0).image), data);

  const CliRun list = run({"list"});
  EXPECT_THAT(list.out, HasSubstr("01  ZK40F8C12     app"));
  const CliRun gang = run({"gang", "--sn", "01"});
  ASSERT_EQ(gang.code, 0) << gang.err;
  EXPECT_EQ(bytesAt4000(programmer(0).target.memory), data);
}

TEST_F(LoadProgramCliTest, TwinsInEveryFormatGiveTheSameStoreAndTheSameTarget) {
  onlineSettings("ZK40F8C12", "50");
  std::vector<SimPages> stores, targets;
  for (const char* file : {"app.mot", "app.hex", "app.bin"}) {
    SCOPED_TRACE(file);
    std::vector<std::string> base = std::string(file) == "app.bin" ? std::vector<std::string>{"--base", "0x4000"}
                                                                   : std::vector<std::string>{};
    std::vector<std::string> load = {"--json", "load", dir.path(file), "--sn", "01"};
    load.insert(load.end(), base.begin(), base.end());
    const CliRun loaded = run(load);
    ASSERT_EQ(loaded.code, 0) << loaded.err;
    const auto j = nlohmann::json::parse(loaded.out);
    EXPECT_EQ(j["result"], "done");
    EXPECT_EQ(j["pages"], 12);
    stores.push_back(programmer(0).image);

    std::vector<std::string> program = {"program", dir.path(file), "--sn", "01"};
    program.insert(program.end(), base.begin(), base.end());
    const CliRun programmed = run(program);
    ASSERT_EQ(programmed.code, 0) << programmed.err;
    EXPECT_THAT(programmed.out, HasSubstr("12 pages programmed"));
    targets.push_back(programmer(0).target.memory);
  }
  EXPECT_EQ(stores[1], stores[0]);
  EXPECT_EQ(stores[2], stores[0]);
  EXPECT_EQ(targets[1], targets[0]);
  EXPECT_EQ(targets[2], targets[0]);
  EXPECT_EQ(bytesAt4000(targets[0]), data);
  EXPECT_THAT(dir.read(kHistoryFileName), HasSubstr("No.01 | ZK40F8C12    | app             .mot | Program successfully"));
}

TEST_F(LoadProgramCliTest, TheSameFileAgainIsAnsweredByIfSame) {
  ASSERT_EQ(run({"load", dir.path("app.mot"), "--sn", "01"}).code, 0);
  const struct {
    std::vector<std::string> ifSame;
    int code;
    std::string err;
    std::string out;
  } cases[] = {
      {{}, 2, "--if-same", ""},
      {{"--if-same", "cancel"}, 0, "The selected file has already existed", ""},
      {{"--if-same", "name-only"}, 0, "INFO: File name reload is completed.", ""},
      {{"--if-same", "reload"}, 0, "INFO: Selected file is loaded to the programmer.", "(from the load record)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ifSame.empty() ? "none" : c.ifSame[1]);
    std::vector<std::string> args = {"load", dir.path("app.mot"), "--sn", "01"};
    args.insert(args.end(), c.ifSame.begin(), c.ifSame.end());
    const CliRun again = run(args);
    EXPECT_EQ(again.code, c.code) << again.err;
    EXPECT_THAT(again.err, HasSubstr(c.err));
    EXPECT_THAT(again.out, HasSubstr(c.out));
    EXPECT_EQ(bytesAt4000(programmer(0).image), data);
  }
}

TEST_F(LoadProgramCliTest, RefusedFilesAndProgrammersExitOne) {
  dir.write("not.mot", "S1130000000102030405060708090A0B0C0D0E0F74\r\n");
  dir.write("header.mot", test::SFile({test::kS9}));
  dir.write("empty.hex", ":00000001FF\n");
  dir.write("big.mot", test::SFile({test::S2(0x4000, {1}), test::S2(0x200000, {2}), test::kS9}));
  dir.write("big.hex", test::IntelLine(4, 0, {0x00, 0x20}) + "\n" + test::IntelLine(0, 0, {1}) + "\n:00000001FF\n");
  dir.write("sum.mot", test::SFile({test::S2(0x4000, {1}, 1), test::kS9}));
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"load", dir.path("not.mot"), "--sn", "01"}, "WARNING: Selected file is not mot file."},
      {{"load", dir.path("missing.mot"), "--sn", "01"}, "ERROR: Can not open selected file!"},
      {{"load", dir.path("missing.hex"), "--sn", "01"}, "ERROR: Can not open selected file!"},
      {{"program", dir.path("app.mot"), "--sn", "02"}, "WARNING: No product is selected."},
      {{"load", dir.path("header.mot"), "--sn", "01"}, "ERROR: Selected file holds no data to program!"},
      {{"load", dir.path("empty.hex"), "--sn", "01"}, "no data"},
      {{"load", dir.path("big.mot"), "--sn", "01"}, "ERROR: Selected file is out of MCU memory map!"},
      {{"load", dir.path("big.hex"), "--sn", "01"}, "ERROR: Selected file is out of MCU memory map!"},
      {{"load", dir.path("app.bin"), "--sn", "01", "--base", "0x200000"},
       "ERROR: Selected file is out of MCU memory map!"},
      {{"load", dir.path("sum.mot"), "--sn", "01"}, "ERROR: Selected file has a bad record in line 2: the checksum"},
  };
  for (const auto& c : cases) {
    const CliRun refused = run(c.args);
    EXPECT_EQ(refused.code, 1) << c.args[1];
    EXPECT_THAT(refused.err, HasSubstr(c.err)) << c.args[1];
    EXPECT_THAT(refused.err, Not(HasSubstr("Selected file is loaded")));
  }
}

TEST_F(LoadProgramCliTest, EveryMalformedOptionIsAUsageError) {
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"load", dir.path("app.bin"), "--sn", "01"}, "--base is needed"},
      {{"load", dir.path("app.bin"), "--sn", "01", "--base", "0x"}, "--base"},
      {{"load", dir.path("app.bin"), "--sn", "01", "--base", "12G4"}, "--base"},
      {{"load", dir.path("app.bin"), "--sn", "01", "--base", "1000000"}, "--base"},
      {{"load", dir.path("app.bin"), "--sn", "01", "--base", ""}, "--base"},
      {{"load", dir.path("app.mot"), "--sn", "01", "--base", "4000"}, "--base is only for a binary"},
      {{"load", dir.path("app.mot"), "--sn", "9"}, "--sn"},
      {{"load", dir.path("app.mot"), "--sn", ""}, "--sn"},
      {{"load", dir.path("app.mot")}, "--sn"},
      {{"load", "", "--sn", "01"}, "FILE"},
      {{"load", dir.path("app.mot"), "--sn", "01", "--if-same", "maybe"}, "--if-same"},
      {{"program", dir.path("app.mot"), "--sn", "01", "--if-same", "reload"}, "--if-same"},
      {{"load", dir.path("app.mot"), "--sn", "05"}, "No programmer 05 is detected."},
  };
  for (const auto& c : cases) {
    const CliRun usage = run(c.args);
    // Not detected is a failed operation (1), not a usage error.
    EXPECT_EQ(usage.code, std::string(c.err).find("is detected") != std::string::npos ? 1 : 2) << ::testing::PrintToString(c.args);
    EXPECT_THAT(usage.err, HasSubstr(c.err)) << ::testing::PrintToString(c.args);
  }
  // Nothing reached the programmers' stores.
  EXPECT_NE(bytesAt4000(programmer(0).image), data);
}

}  // namespace
}  // namespace fd
