// The socket map from the command line: what the sockets command refuses, and that a map
// that would guess a row stops every command before a port is looked at.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/SocketMap.h"
#include "cli/CliFixture.h"

namespace fd::test {
namespace {

using ::testing::HasSubstr;

TEST_F(CliTest, SocketsRefusesWhatIsNoStationsPorts) {
  const struct {
    std::vector<std::string> args;
    const char* simulate;
    const char* err;
  } cases[] = {
      {{"sockets"}, "demo", "a simulated bench has none"},
      {{"--port", "/dev/ttyUSB0", "sockets"}, "", "--port and --usb-serial pick some"},
      {{"sockets", "--save", "--clear"}, "", "excludes"},
  };
  for (const auto& c : cases) {
    const CliRun run = cli(c.args, c.simulate);
    EXPECT_EQ(run.code, 2) << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.err));
  }
}

TEST_F(CliTest, AMapThatWouldGuessARowStopsEveryCommandUntilItIsMended) {
  dir.write(kSettingsFileName, "[Sockets]\r\n01=1-1.1\r\n03=1-1.3\r\n");
  for (const char* command : {"list", "gang"}) {
    const CliRun run = cli({command}, "");
    EXPECT_EQ(run.code, 1) << command << '\n' << run.err;
    EXPECT_THAT(run.err, HasSubstr("Row 02 of the socket map")) << command;
  }
  const CliRun cleared = cli({"sockets", "--clear"}, "");
  EXPECT_EQ(cleared.code, 0) << cleared.err;
  EXPECT_THAT(cleared.out, HasSubstr("The socket map is cleared"));
  EXPECT_TRUE(ReadSocketMap(SettingsFile(dir.path(kSettingsFileName))).paths.empty());
}

}  // namespace
}  // namespace fd::test
