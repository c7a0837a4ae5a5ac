#include "cli/ConsoleHost.h"

#include <gtest/gtest.h>

#include "link/Clock.h"

namespace fd {
namespace {

TEST(ProgressBarText, ShowsTheShareDoneAndTheTimeLeft) {
  VirtualClock clock;
  ProgressEstimate progress(clock);
  progress.begin(4);
  EXPECT_EQ(ProgressBarText(progress, 8), "[        ]   0%");
  clock.advanceUs(30'000'000);
  progress.advance(1);
  EXPECT_EQ(ProgressBarText(progress, 8), "[##      ]  25%  1m 30s left");
  progress.advance(4);
  EXPECT_EQ(ProgressBarText(progress, 8), "[########] 100%");
}

}  // namespace
}  // namespace fd
