#include "flows/init/InitOptionsFlow.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace fd {
namespace {

using test::TempDir;

class InitOptionsFlowTest : public ::testing::Test {
protected:
  TempDir tmp;
  SettingsFile settings{tmp.path("settings.ini")};
  InitOptionsFlow flow{settings};
  int changes = 0;

  void SetUp() override {
    flow.changed = [this] { ++changes; };
  }
  void openWith(const char* autoLog, const char* autoId) {
    tmp.write("settings.ini", std::string("[Log information]\r\nAuto save log=") + autoLog +
                                  "\r\nAuto save ID=" + autoId + "\r\n[Other]\r\nx=1\r\n");
    flow.open();
  }
  std::pair<std::string, std::string> stored() const {
    return {settings.read(kSectionLog, kKeyAutoSaveLog), settings.read(kSectionLog, kKeyAutoSaveId)};
  }
  void expectView(bool log, bool id, bool idEnabled) const {
    EXPECT_EQ(flow.view().logChecked, log);
    EXPECT_EQ(flow.view().idChecked, id);
    EXPECT_EQ(flow.view().idEnabled, idEnabled);
  }
};

TEST_F(InitOptionsFlowTest, OpeningShowsTheStoredKeys) {
  const struct {
    const char* autoLog;
    const char* autoId;
    bool log, id, idEnabled;
  } cases[] = {
      {"1", "1", true, true, true},
      {"1", "0", true, false, true},
      {"0", "1", false, true, false},  // the tick shows even on the disabled box
      {"0", "0", false, false, false},
      {"yes", "", false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.autoLog) + "/" + c.autoId);
    openWith(c.autoLog, c.autoId);
    expectView(c.log, c.id, c.idEnabled);
  }
}

TEST_F(InitOptionsFlowTest, OkAsShownOnFirstRunStoresBothOn) {
  openWith("1", "1");
  flow.ok();
  EXPECT_EQ(stored(), std::make_pair(std::string("1"), std::string("1")));
}

TEST_F(InitOptionsFlowTest, ClearingLogDisablesIdKeepsItsTickAndStoresBothOff) {
  openWith("1", "1");
  flow.setLogChecked(false);
  expectView(false, true, false);
  flow.setIdChecked(false);  // disabled: ignored
  expectView(false, true, false);
  flow.ok();
  EXPECT_EQ(stored(), std::make_pair(std::string("0"), std::string("0")));
  EXPECT_EQ(settings.read("Other", "x"), "1");
}

TEST_F(InitOptionsFlowTest, ClearingAndSettingLogAgainStoresTheIdTick) {
  for (const bool idTick : {true, false}) {
    SCOPED_TRACE(idTick);
    openWith("1", "1");
    flow.setIdChecked(idTick);
    flow.setLogChecked(false);
    flow.setLogChecked(true);
    expectView(true, idTick, true);
    flow.ok();
    EXPECT_EQ(stored(), std::make_pair(std::string("1"), std::string(idTick ? "1" : "0")));
  }
}

TEST_F(InitOptionsFlowTest, ChangedIsCalledForEveryChangeOnly) {
  openWith("1", "1");
  EXPECT_EQ(changes, 1);
  flow.setLogChecked(true);  // no change
  EXPECT_EQ(changes, 1);
  flow.setIdChecked(false);
  flow.setLogChecked(false);
  EXPECT_EQ(changes, 3);
  flow.setIdChecked(true);  // disabled
  EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace fd
