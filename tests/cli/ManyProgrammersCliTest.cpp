// `setup` and `load` for several programmers at once, as a line prepares its bench: what
// each programmer holds afterwards, the exit code when one of them fails, the reload answer
// for each, and every malformed choice of programmers refused before anything is sent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "cli/CliFixture.h"
#include "flows/load/LoadFile.h"
#include "flows/load/MultiLoad.h"
#include "formats/SRecord.h"
#include "link/Protocol.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::Bytes;
using test::CliRun;

class ManyProgrammersCliTest : public test::CliTest {
protected:
  ManyProgrammersCliTest() : data(test::RandomBytes(3000, 5)) {
    dir.write("app.mot", test::S2Image(0x4000, data));
    SettingsFile settings(dir.path(kSettingsFileName));
    settings.write(kSectionLog, kKeyAutoSaveLog, "1");
  }
  void demoBench() {
    VirtualClock clock;
    std::string error;
    ASSERT_TRUE(SimBench::demo(clock)->save(bench, error)) << error;
  }
  CliRun run(std::vector<std::string> args) { return cli(std::move(args), bench); }
  std::vector<SimProgrammerSetup> programmers() {
    VirtualClock clock;
    auto loaded = SimBench::load(bench, clock);
    EXPECT_TRUE(loaded.bench) << loaded.error;
    std::vector<SimProgrammerSetup> all;
    for (std::size_t i = 0; loaded.bench && i < loaded.bench->programmerCount(); ++i) all.push_back(loaded.bench->programmer(i).setup());
    return all;
  }
  // The bytes at 0x4000 of a programmer's store.
  Bytes storedAt4000(const SimProgrammerSetup& p) const {
    Bytes out;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const auto page = p.image.find(static_cast<std::uint16_t>((0x4000 + i) >> 8));
      out.push_back(page == p.image.end() ? 0xFF : page->second[(0x4000 + i) & 0xFF]);
    }
    return out;
  }
  static std::string product(const SimProgrammerSetup& p) {
    const std::string name = InfoMcuName(p.info);
    return name.substr(0, name.find_last_not_of(' ') + 1);
  }
  static std::string fileName(const SimProgrammerSetup& p) {
    const std::string name(p.info.begin() + info::kFileName, p.info.begin() + info::kFileName + info::kFileNameSize);
    return name.substr(0, name.find_last_not_of(' ') + 1);
  }
  int historyCount(const std::string& text) const {
    if (!dir.exists(kHistoryFileName)) return 0;
    const std::string log = dir.read(kHistoryFileName);
    int n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }

  Bytes data;
  std::string app = dir.path("app.mot");
  std::string bench = dir.path("bench.json");
};

TEST_F(ManyProgrammersCliTest, EightFreshProgrammersAreSetUpAndLoadedTogether) {
  ASSERT_EQ(cli({"bench-init", bench, "--programmers", "8"}, "").code, 0);
  const CliRun setup = run({"setup", "--all", "--offline", "--product", "ZK40F8C12", "--power", "5"});
  ASSERT_EQ(setup.code, 0) << setup.err;
  for (const SimProgrammerSetup& p : programmers()) {
    EXPECT_EQ(product(p), "ZK40F8C12");
    EXPECT_EQ(p.info[info::kPower], kPowerCode5V);
  }

  const CliRun load = run({"load", app, "--all"});
  ASSERT_EQ(load.code, 0) << load.err;
  for (const char* sn : {"01", "04", "08"}) EXPECT_THAT(load.out, HasSubstr(std::string(sn) + "  Load successfully\n"));
  const auto all = programmers();
  ASSERT_EQ(all.size(), 8u);
  for (std::size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(storedAt4000(all[i]), data) << "programmer " << i + 1;
    EXPECT_FALSE(all[i].storeDamaged) << "programmer " << i + 1;
  }
  EXPECT_EQ(historyCount(kLoadSuccessText), 8);

  const auto listed = nlohmann::json::parse(run({"--json", "list"}).out);
  ASSERT_EQ(listed["rows"].size(), 8u);
  for (const auto& row : listed["rows"]) EXPECT_EQ(row["file"], "app") << row["sn"];
}

TEST_F(ManyProgrammersCliTest, LikeCopiesOneProgrammersSetupAndKeepsEachOnesImage) {
  demoBench();
  const auto before = programmers();
  const CliRun like = run({"--json", "setup", "--like", "01", "--sn", "02,03"});
  ASSERT_EQ(like.code, 0) << like.err;
  const auto j = nlohmann::json::parse(like.out);
  EXPECT_EQ(j["like"], "01");
  ASSERT_EQ(j["results"].size(), 2u);
  const auto after = programmers();
  EXPECT_EQ(after[0].info, before[0].info);
  for (std::size_t i : {1u, 2u}) {
    EXPECT_EQ(product(after[i]), product(before[0])) << i;
    EXPECT_TRUE(std::equal(after[i].info.begin() + info::kIdCode, after[i].info.begin() + info::kIdCode + info::kIdCodeSize,
                           before[0].info.begin() + info::kIdCode))
        << i;
    EXPECT_EQ(after[i].info[info::kPower], before[0].info[info::kPower]) << i;
    EXPECT_EQ(fileName(after[i]), fileName(before[i])) << i;
    EXPECT_EQ(after[i].image, before[i].image) << i;
  }
}

TEST_F(ManyProgrammersCliTest, AProgrammerThatCannotTakeTheImageFailsAloneAndTheCommandExitsOne) {
  demoBench();
  // 02 holds a part whose flash starts at 0xE0000: the image at 0x4000 is outside it.
  const CliRun load = run({"--json", "load", app, "--sn", "01,02,03"});
  EXPECT_EQ(load.code, 1) << load.err;
  const auto j = nlohmann::json::parse(load.out);
  EXPECT_FALSE(j["success"].get<bool>());
  ASSERT_EQ(j["results"].size(), 3u);
  EXPECT_TRUE(j["results"][0]["success"].get<bool>());
  EXPECT_FALSE(j["results"][1]["success"].get<bool>());
  EXPECT_THAT(j["results"][1]["messages"].dump(), HasSubstr(kOutOfMemoryMapText));
  EXPECT_TRUE(j["results"][2]["success"].get<bool>());

  const auto after = programmers();
  EXPECT_EQ(storedAt4000(after[0]), data);
  EXPECT_EQ(fileName(after[1]), "motor_ctl");
  EXPECT_FALSE(after[1].storeDamaged);
  EXPECT_EQ(storedAt4000(after[2]), data);
  EXPECT_EQ(historyCount(kLoadSuccessText), 2);
}

TEST_F(ManyProgrammersCliTest, TheSameFileAgainIsAnsweredForEachProgrammerByIfSame) {
  ASSERT_EQ(cli({"bench-init", bench, "--programmers", "3"}, "").code, 0);
  ASSERT_EQ(run({"setup", "--all", "--offline", "--product", "ZK40F8C12"}).code, 0);
  ASSERT_EQ(run({"load", app, "--all"}).code, 0);

  const CliRun unanswered = run({"load", app, "--all"});
  EXPECT_EQ(unanswered.code, 2);
  EXPECT_THAT(unanswered.err, HasSubstr("--if-same"));

  const CliRun nameOnly = run({"load", app, "--all", "--if-same", "name-only"});
  EXPECT_EQ(nameOnly.code, 0) << nameOnly.err;
  for (const char* sn : {"01", "02", "03"}) {
    EXPECT_THAT(nameOnly.out, HasSubstr(std::string(sn) + "  " + kMsgNameReloaded + "\n"));
  }
  const CliRun kept = run({"load", app, "--sn", "01,03", "--if-same", "cancel"});
  EXPECT_EQ(kept.code, 0) << kept.err;
  for (const SimProgrammerSetup& p : programmers()) EXPECT_EQ(storedAt4000(p), data);
}

TEST_F(ManyProgrammersCliTest, AFileThatIsRefusedLeavesEveryProgrammerAsItWas) {
  demoBench();
  dir.write("plain.mot", "S1130000000102030405060708090A0B0C0D0E0F74\n");  // no header line
  const auto before = programmers();
  const CliRun load = run({"load", dir.path("plain.mot"), "--all"});
  EXPECT_EQ(load.code, 1);
  EXPECT_THAT(load.err, HasSubstr(kNotMotFileText));
  EXPECT_THAT(load.out, HasSubstr(std::string("02  ") + kMsgNoFileTaken));
  const auto after = programmers();
  for (std::size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i].info, before[i].info) << i;
    EXPECT_EQ(after[i].image, before[i].image) << i;
  }
}

TEST_F(ManyProgrammersCliTest, MalformedChoicesOfProgrammersAreRefusedBeforeAnythingIsSent) {
  demoBench();
  const std::string benchBefore = dir.read("bench.json");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string err;
  } cases[] = {
      {{"load", app, "--sn", "01,01"}, 2, "--sn names 01 twice"},
      {{"load", app, "--sn", "01,"}, 2, "--sn takes row numbers"},
      {{"load", app, "--sn", ""}, 2, "--sn takes row numbers"},
      {{"load", app, "--sn", "01", "--all"}, 2, "excludes"},
      {{"load", app}, 2, ""},
      {{"setup", "--all"}, 2, "--offline or --online"},
      {{"setup", "--offline", "--power", "5"}, 2, "needs --sn"},
      {{"setup", "--like", "01"}, 2, "needs --sn"},
      {{"setup", "--like", "01", "--sn", "01,02"}, 2, "names a programmer that --sn sets up too"},
      {{"setup", "--like", "01", "--sn", "02", "--online"}, 2, "--like copies"},
      {{"setup", "--like", "01", "--sn", "02", "--product", "ZK40F8C12"}, 2, "--like copies"},
      {{"setup", "--like", "", "--sn", "02"}, 2, ""},
      {{"setup", "--like", "09", "--sn", "02"}, 2, ""},
      // Rows that are not detected: a failed operation, and nobody is touched.
      {{"load", app, "--sn", "01,05"}, 1, "No programmer 05 is detected."},
      {{"setup", "--sn", "02,06", "--offline", "--power", "5"}, 1, "No programmer 06 is detected."},
      {{"setup", "--like", "07", "--sn", "02"}, 1, "No programmer 07 is detected."},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + ' ';
    const CliRun r = run(c.args);
    EXPECT_EQ(r.code, c.code) << shown << '\n' << r.err;
    if (!c.err.empty()) {
      EXPECT_THAT(r.err, HasSubstr(c.err)) << shown;
    }
    EXPECT_EQ(dir.read("bench.json"), benchBefore) << shown;
  }
  EXPECT_EQ(historyCount(kLoadSuccessText), 0);
}

}  // namespace
}  // namespace fd
