// The first-run Initiation window drawn over its flow: what the boxes show, what a click
// does, what OK and the close box store.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "app/AppState.h"
#include "flows/init/InitOptionsFlow.h"
#include "app/SettingsFile.h"
#include "gui/app/CInitDlg.h"

namespace fd {
namespace {

class InitDlgTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    settings.write(kSectionLog, kKeyAutoSaveLog, "1");
    settings.write(kSectionLog, kKeyAutoSaveId, "1");
  }
  std::string log() const { return settings.read(kSectionLog, kKeyAutoSaveLog); }
  std::string id() const { return settings.read(kSectionLog, kKeyAutoSaveId); }

  QTemporaryDir dir;
  SettingsFile settings{dir.filePath(QString::fromLatin1(kSettingsFileName)).toStdString()};
};

TEST_F(InitDlgTest, ShowsTitleTextAndBoxesAsStored) {
  const struct {
    const char* log;
    const char* id;
    bool logChecked, idChecked, idEnabled;
  } cases[] = {
      {"1", "1", true, true, true},
      {"0", "1", false, true, false},  // the ID box keeps its tick while disabled
      {"1", "0", true, false, true},
      {"yes", "", false, false, false},  // anything but "1" is off
  };
  for (const auto& c : cases) {
    settings.write(kSectionLog, kKeyAutoSaveLog, c.log);
    settings.write(kSectionLog, kKeyAutoSaveId, c.id);
    InitOptionsFlow flow(settings);
    flow.open();
    CInitDlg dialog(flow);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Initiation"));
    EXPECT_EQ(dialog.text()->text(), QString::fromLatin1(kInitText));
    EXPECT_EQ(dialog.logBox()->text(), QStringLiteral("Auto save the operation to history"));
    EXPECT_EQ(dialog.idBox()->text(), QStringLiteral("Auto save the ID code when load new file"));
    EXPECT_EQ(dialog.okButton()->text(), QStringLiteral("&OK"));
    EXPECT_TRUE(dialog.okButton()->isDefault());
    EXPECT_EQ(dialog.logBox()->isChecked(), c.logChecked) << c.log;
    EXPECT_EQ(dialog.idBox()->isChecked(), c.idChecked) << c.id;
    EXPECT_EQ(dialog.idBox()->isEnabled(), c.idEnabled) << c.log;
  }
}

TEST_F(InitDlgTest, ClicksThenOkStoreTheBoxes) {
  enum Click { Log, Id };
  const struct {
    std::vector<Click> clicks;
    const char* log;
    const char* id;
    bool idEnabledAtEnd;
  } cases[] = {
      {{}, "1", "1", true},
      {{Log}, "0", "0", false},
      {{Id}, "1", "0", true},
      {{Log, Log}, "1", "1", true},
      {{Id, Log}, "0", "0", false},
      {{Id, Log, Log}, "1", "0", true},
  };
  for (const auto& c : cases) {
    settings.write(kSectionLog, kKeyAutoSaveLog, "1");
    settings.write(kSectionLog, kKeyAutoSaveId, "1");
    InitOptionsFlow flow(settings);
    flow.open();
    CInitDlg dialog(flow);
    dialog.show();
    for (Click click : c.clicks) (click == Log ? dialog.logBox() : dialog.idBox())->click();
    EXPECT_EQ(dialog.idBox()->isEnabled(), c.idEnabledAtEnd);
    if (c.clicks.size() == 1 && c.clicks[0] == Log) {
      EXPECT_TRUE(dialog.idBox()->isChecked()) << "a disabled ID box keeps its tick";
      test::SaveGrab(dialog, QStringLiteral("flashdock-init-unticked"));
      test::ExpectCaptionsWhole(dialog, "flashdock-init-unticked");
    }
    dialog.okButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(log(), c.log);
    EXPECT_EQ(id(), c.id);
  }
}

TEST_F(InitDlgTest, CloseBoxStoresNothing) {
  settings.write(kSectionLog, kKeyAutoSaveId, "0");
  InitOptionsFlow flow(settings);
  flow.open();
  CInitDlg dialog(flow);
  dialog.show();
  test::SaveGrab(dialog, QStringLiteral("flashdock-init"));
  test::ExpectCaptionsWhole(dialog, "flashdock-init");
  dialog.logBox()->click();
  dialog.close();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(log(), "1");
  EXPECT_EQ(id(), "0");
}

TEST_F(InitDlgTest, ControlsSitInsideTheWindowWithoutOverlapping) {
  InitOptionsFlow flow(settings);
  flow.open();
  CInitDlg dialog(flow);
  const QRect window = dialog.rect();
  const QWidget* controls[] = {dialog.text(), dialog.logBox(), dialog.idBox(), dialog.okButton()};
  for (const QWidget* w : controls) EXPECT_TRUE(window.contains(w->geometry())) << w->metaObject()->className();
  EXPECT_FALSE(dialog.idBox()->geometry().intersects(dialog.okButton()->geometry()));
  EXPECT_FALSE(dialog.text()->geometry().intersects(dialog.logBox()->geometry()));
}

}  // namespace
}  // namespace fd
