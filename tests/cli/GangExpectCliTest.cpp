// gang --expect FILE: nothing starts while a programmer taking part holds another image
// than FILE, and the refusal names each of them with what differs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/AppState.h"
#include "app/RunLog.h"
#include "cli/CliFixture.h"
#include "link/Clock.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace test;

class GangExpect : public test::CliTest {
protected:
  GangExpect() {
    VirtualClock clock;
    auto demo = SimBench::demo(clock);
    std::string error;
    EXPECT_TRUE(demo->save(bench, error)) << error;
    dir.write("app.mot", SFile({S2(0x4000, Filled(32, 0x11)), kS9}));
  }
  test::CliRun run(std::vector<std::string> args) { return cli(std::move(args), bench); }
  std::size_t runLines() const { return RunLog(dir.path(kRunLogFileName)).read().records.size(); }
  std::string bench = dir.path("bench.json");
};

TEST_F(GangExpect, RunsWhenEveryProgrammerHoldsTheFileAndRefusesNamingThoseThatDoNot) {
  ASSERT_EQ(run({"load", dir.path("app.mot"), "--sn", "01"}).code, 0);
  const std::size_t before = runLines();

  const test::CliRun good = run({"gang", "--sn", "01", "--expect", dir.path("app.mot")});
  EXPECT_EQ(good.code, 0) << good.err;
  EXPECT_EQ(runLines(), before + 1) << "the run took place";

  // Programmer 02 holds another product's other file.
  const test::CliRun refused = run({"gang", "--sn", "01,02", "--expect", dir.path("app.mot")});
  EXPECT_EQ(refused.code, 1);
  EXPECT_THAT(refused.err, HasSubstr("These programmers do not hold app.mot; nothing is started until they do:"));
  EXPECT_THAT(refused.err, HasSubstr("02: product ZK40G16B, not ZK40F8C12 as 01; file motor_ctl, not app; stamp "));
  EXPECT_THAT(refused.err, Not(HasSubstr("\n01: ")));
  EXPECT_EQ(runLines(), before + 1) << "nothing started";

  // The same file written again has another stamp: what 01 holds is no longer it.
  dir.write("app.mot", SFile({S2(0x4000, Filled(32, 0x22)), kS9}));
  std::filesystem::last_write_time(dir.path("app.mot"), std::filesystem::file_time_type::clock::now() +
                                                            std::chrono::hours(1));
  const test::CliRun changed = run({"gang", "--sn", "01", "--expect", dir.path("app.mot")});
  EXPECT_EQ(changed.code, 1);
  EXPECT_THAT(changed.err, HasSubstr("01: stamp "));
}

TEST_F(GangExpect, AFileThatCannotBeReadRefusesAndAnEmptyValueIsAUsageError) {
  const test::CliRun missing = run({"gang", "--expect", dir.path("none.mot")});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.err, HasSubstr("ERROR: Can not open " + dir.path("none.mot")));
  EXPECT_EQ(runLines(), 0u);
  EXPECT_EQ(run({"gang", "--expect", ""}).code, 2);
}

}  // namespace
}  // namespace fd
