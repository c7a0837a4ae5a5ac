// Is the right image in every socket? The main window's expected image (Start refuses while
// a ticked programmer holds another), its check from the context menu, and the image's
// SHA-256 a row shows when this host's run log tells which load it holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>

#include "app/RunLog.h"
#include "flows/main/MainFlow.h"
#include "support/MainRig.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::MainRig;
using test::ReadyProgrammer;

class MainFlowImages : public ::testing::Test {
protected:
  void SetUp() override {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.bench.attach(ReadyProgrammer("ZK40G16B", "motor_ctl", 2000));
    // The file 01 holds: its name, its size and the time its block keeps (local time).
    rig.dir.write("blinky.mot", std::string(2000, 'x'));
    std::tm local{};
    local.tm_year = 126;
    local.tm_mon = 11;
    local.tm_mday = 10;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 7;
    local.tm_isdst = -1;
    const auto when = std::chrono::system_clock::from_time_t(std::mktime(&local));
    std::filesystem::last_write_time(file, std::chrono::file_clock::from_sys(when));
  }
  void tickOnly(std::initializer_list<int> rows) {
    for (int r = 0; r < static_cast<int>(rig.view().rows.size()); ++r) {
      rig.flow().setChecked(r, std::find(rows.begin(), rows.end(), r) != rows.end());
    }
  }
  MainRig rig;
  std::string file = rig.dir.path("blinky.mot");
};

TEST_F(MainFlowImages, StartRefusesNamingEachTickedProgrammerThatHoldsAnotherImage) {
  rig.flow().open();
  rig.flow().expectImage(file);
  tickOnly({0, 1});
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle) << "nothing started";
  ASSERT_NE(rig.prompter.last(), nullptr);
  EXPECT_THAT(rig.prompter.last()->text, HasSubstr("These programmers do not hold blinky.mot"));
  EXPECT_THAT(rig.prompter.last()->text, HasSubstr("\n02: product ZK40G16B, not ZK40F8C12 as 01; file motor_ctl, not blinky"));
  EXPECT_THAT(rig.prompter.last()->text, ::testing::Not(HasSubstr("\n01:")));

  tickOnly({0});
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Running) << "01 holds the file";
}

TEST_F(MainFlowImages, TheMenusCheckSaysTheResultAndKeepsTheFileForTheNextStarts) {
  rig.flow().open();
  ASSERT_TRUE(rig.flow().canCheckImages());
  tickOnly({0});
  rig.prompter.chooseOpenNext(file);
  rig.flow().checkImagesAgainstFile();
  ASSERT_NE(rig.prompter.last(), nullptr);
  EXPECT_EQ(rig.prompter.last()->text, "Every ticked programmer holds blinky.mot.");
  EXPECT_EQ(rig.flow().expectedImage(), file);

  // A cancelled choice keeps the check as it was.
  rig.prompter.chooseOpenNext(std::nullopt);
  rig.flow().checkImagesAgainstFile();
  EXPECT_EQ(rig.flow().expectedImage(), file);
  tickOnly({1});
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  rig.flow().expectImage({});  // "Stop checking images"
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_FALSE(rig.flow().canCheckImages()) << "not while a run is running";
}

TEST_F(MainFlowImages, ARowShowsTheShaOfTheLastLoadOnlyWhileItHoldsThatLoadsFile) {
  const auto load = [](const char* file, const char* product, char digit) {
    RunRecord r;
    r.time = "2026-12-10T09:06:00.000+01:00";
    r.operation = "load";
    r.sn = "01";
    r.product = product;
    r.file = file;
    r.stamp = "26-12-10,09:05:07";
    r.result = kRunOk;
    r.sha256 = std::string(64, digit);
    return RunRecordLine(r);
  };
  rig.dir.write(kRunLogFileName, load("blinky.mot", "ZK40F8C12", 'a'));
  rig.flow().open();
  EXPECT_EQ(rig.view().rows[0].imageSha, "aaaaaaaaaaaa");
  EXPECT_EQ(rig.view().rows[1].imageSha, "") << "no load of 02 is known";
  rig.flow().close();

  // A later load of another file: what 01 holds now came from elsewhere.
  rig.dir.write(kRunLogFileName, load("blinky.mot", "ZK40F8C12", 'a') + load("other.mot", "ZK40F8C12", 'b'));
  MainRig again;
  again.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  again.dir.write(kRunLogFileName, rig.dir.read(kRunLogFileName));
  again.flow().open();
  EXPECT_EQ(again.view().rows[0].imageSha, "");
}

}  // namespace
}  // namespace fd
