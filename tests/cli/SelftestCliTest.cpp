// selftest on a simulated bench: each step with its result, and the ones that fail named.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli/CliFixture.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::CliRun;
using test::CliTest;

TEST_F(CliTest, SelftestStepsOnASimulatedProgrammer) {
  const CliRun run = cli({"selftest", "--device", "2"});
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("\"2f3a0039Quorvel Flashdock\""));
  EXPECT_THAT(run.out, ::testing::ContainsRegex("busy line in reset +ok .*busy, result set"));
  EXPECT_THAT(run.out, ::testing::ContainsRegex("busy and result lines +ok .*idle, result set"));
  EXPECT_THAT(run.out, HasSubstr("product ZK40H128R1"));
  EXPECT_THAT(run.out, HasSubstr("All steps passed."));

  const CliRun missing = cli({"selftest", "--device", "3"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_THAT(missing.out, ::testing::ContainsRegex("open +FAIL .*only 3 attached"));
}

TEST_F(CliTest, SelftestNamesTheStepThatFails) {
  // A programmer that never leaves reset: the reset fails, and so does the idle check.
  dir.write("bench.json", R"({"programmers": [{"faults": {"busyAfterReset": true}}]})");
  const CliRun run = cli({"selftest", "--device", "0"}, dir.path("bench.json"));
  EXPECT_EQ(run.code, 1) << run.out << run.err;
  EXPECT_THAT(run.out, ::testing::ContainsRegex("(^|\n)reset +FAIL .*Can not reset the programmer!"));
  EXPECT_THAT(run.out, HasSubstr("step(s) failed."));
}

}  // namespace
}  // namespace fd
