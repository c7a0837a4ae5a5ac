#include "host/HostSession.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "link/serial/SerialBridge.h"
#include "sim/SimBench.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;

TEST(HostSession, OptionsThatCannotBeHonouredSayWhy) {
  test::TempDir dir;
  const struct {
    HostOptions options;
    std::string error;
  } cases[] = {
      {{.simulate = "nine", .appDir = dir.dir()}, "nine"},
      {{.simulate = "12", .appDir = dir.dir()}, "0 to 8"},
      {{.simulate = dir.path("none.json"), .appDir = dir.dir()}, "none.json"},
      {{.simulate = "demo", .appDir = dir.dir(), .tracePath = dir.path("no/such/folder/trace.txt")}, "trace"},
      {{.simulate = "demo", .appDir = dir.path("settings.ini/sub")}, "settings.ini"},
  };
  dir.write("settings.ini", "x");
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(HostSession::create(c.options, nullptr, error), nullptr) << c.error;
    EXPECT_THAT(error, HasSubstr(c.error));
  }
}

TEST(HostSession, ASimulatedSessionHasItsBenchAndItsFolder) {
  test::TempDir dir;
  std::string error;
  auto session = HostSession::create({.simulate = "demo", .appDir = dir.path("new/app")}, nullptr, error);
  ASSERT_TRUE(session) << error;
  ASSERT_NE(session->bench(), nullptr);
  EXPECT_EQ(session->state().appDir, dir.path("new/app/"));
  std::uint32_t count = 0;
  EXPECT_EQ(session->bridge().BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 3u);
}

TEST(HostSession, TheTraceFileGetsEveryBridgeCall) {
  test::TempDir dir;
  std::string error;
  {
    auto session = HostSession::create(
        {.simulate = "1", .appDir = dir.dir(), .tracePath = dir.path("trace.txt")}, nullptr, error);
    ASSERT_TRUE(session) << error;
    std::uint32_t count = 0;
    session->bridge().BridgeGetNumDevices(count);
    BridgeHandle handle = kNoHandle;
    session->bridge().BridgeOpen(0, handle);
    session->bridge().BridgeSetFlowControl(handle, kResetLine);
  }
  const std::string trace = dir.read("trace.txt");
  EXPECT_THAT(trace, HasSubstr("GetNumDevices count=1 => 0\n"));
  EXPECT_THAT(trace, HasSubstr("Open index=0 -> h1 => 0\n"));
  EXPECT_THAT(trace, HasSubstr("SetFlowControl h1 reset => 0\n"));
}

TEST(SerialBridge, HandlesItNeverGaveOutFailCleanly) {
  SerialBridge bridge;
  std::uint32_t count = 99;
  EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  BridgeHandle handle = kNoHandle;
  EXPECT_NE(bridge.BridgeOpen(count, handle), kBridgeOk);  // one past the last device
  std::uint8_t byte = 0;
  std::uint32_t moved = 7;
  EXPECT_EQ(bridge.BridgeWrite(42, &byte, 1, moved), kBridgeInvalidHandle);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(bridge.BridgeRead(42, &byte, 1, moved), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeGetModemStatus(42, byte), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeSetFlowControl(42, kResetLine), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeClose(42), kBridgeInvalidHandle);
}

}  // namespace
}  // namespace fd
