#include "flows/single/PowerSetFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/RecordingPrompter.h"
#include "support/TempDir.h"

namespace fd {
namespace {

class PowerSetFlowTest : public ::testing::Test {
protected:
  void SetUp() override { state.appDir = dir.dir(); }
  std::string stored() const { return settings.read(kSectionProgrammer, kKeyPowerSet); }

  test::TempDir dir;
  AppState state;
  SettingsFile settings{dir.path(kSettingsFileName)};
  test::RecordingPrompter prompter;
};

TEST_F(PowerSetFlowTest, OnLineOpensFromTheFirstCharacterOfTheStoredValue) {
  const struct {
    const char* value;
    PowerChoice choice;
  } cases[] = {
      {"30", PowerChoice::Output3V},
      {"3F", PowerChoice::Output3V},  // only the first character is looked at
      {"50", PowerChoice::Output5V},
      {"00", PowerChoice::NoOutput},
      {"", PowerChoice::NoOutput},
      {"x5", PowerChoice::NoOutput},
  };
  for (const auto& c : cases) {
    settings.write(kSectionProgrammer, kKeyPowerSet, c.value);
    PowerSetFlow flow(state, prompter);
    flow.open();
    EXPECT_EQ(flow.view().choice, c.choice) << c.value;
  }
}

TEST_F(PowerSetFlowTest, OffLineOpensFromTheBlockAndStoresThere) {
  const struct {
    std::uint8_t code;
    PowerChoice choice;
  } cases[] = {
      {0x30, PowerChoice::Output3V}, {0x50, PowerChoice::Output5V}, {0x00, PowerChoice::NoOutput},
      {0xFF, PowerChoice::NoOutput}};
  state.offlineMode = 1;
  settings.write(kSectionProgrammer, kKeyPowerSet, "00");
  const std::string fileBefore = dir.read(kSettingsFileName);
  for (const auto& c : cases) {
    state.programmerInfo[info::kPower] = c.code;
    PowerSetFlow flow(state, prompter);
    flow.open();
    EXPECT_EQ(flow.view().choice, c.choice) << int(c.code);
  }
  PowerSetFlow flow(state, prompter);
  flow.open();
  flow.choose(PowerChoice::Output5V);
  ASSERT_TRUE(flow.ok());
  EXPECT_EQ(state.programmerInfo[info::kPower], 0x50);
  EXPECT_EQ(state.powerSet, 0x00);
  EXPECT_EQ(dir.read(kSettingsFileName), fileBefore);
}

TEST_F(PowerSetFlowTest, OkStoresTheCodeAndItsTextOnLineTheCloseBoxNothing) {
  const struct {
    PowerChoice choice;
    std::uint8_t code;
    const char* text;
  } cases[] = {
      {PowerChoice::Output3V, 0x30, "30"}, {PowerChoice::Output5V, 0x50, "50"}, {PowerChoice::NoOutput, 0x00, "00"}};
  for (const auto& c : cases) {
    settings.write(kSectionProgrammer, kKeyPowerSet, "3F");
    state.powerSet = 0x3F;
    PowerSetFlow flow(state, prompter);
    flow.open();
    flow.choose(c.choice);
    ASSERT_TRUE(flow.ok());
    EXPECT_EQ(flow.result(), FlowResult::Ok);
    EXPECT_EQ(state.powerSet, c.code);
    EXPECT_EQ(stored(), c.text);
  }
  PowerSetFlow cancelled(state, prompter);
  cancelled.open();
  cancelled.choose(PowerChoice::Output5V);
  cancelled.closeBox();
  EXPECT_EQ(cancelled.result(), FlowResult::Cancel);
  EXPECT_EQ(stored(), "00");
  EXPECT_EQ(state.powerSet, 0x00);
  EXPECT_TRUE(prompter.messages().empty());
}

}  // namespace
}  // namespace fd
