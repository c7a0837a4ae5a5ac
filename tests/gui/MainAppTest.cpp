// The application object from start to end: the first run's Initiation window, the files
// start-up makes, the main window running until it is closed.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "app/AppState.h"
#include "app/SettingsFile.h"
#include "gui/app/CInitDlg.h"
#include "gui/app/CMainApp.h"
#include "gui/main/CMainDlg.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"
#include "support/TempDir.h"

namespace fd {
namespace {

struct MainWindowSeen {
  bool shown = false;
  QString title;
  QString status;
  int rows = -1;
};

// Looks at the main window once its first detection has listed the programmers (the
// window is up and painting while that runs), then closes it with Esc.
void CloseMainWindowWhenShown(MainWindowSeen& seen) {
  test::OnNextModal(
      [&seen](QWidget* modal) {
        auto* window = static_cast<CMainDlg*>(modal);
        seen = {true, window->windowTitle(), window->statusText()->text(), window->list()->rowCount()};
        QTest::keyClick(window, Qt::Key_Escape);
      },
      &CMainDlg::staticMetaObject,
      [](QWidget* modal) { return static_cast<CMainDlg*>(modal)->list()->rowCount() > 0; });
}

class MainAppTest : public ::testing::Test {
protected:
  int runApp(bool operatorMode = false) {
    AppState state;
    state.appDir = dir.dir();
    CMainApp app(state, *bench, pacer, bench.get());
    app.setOperatorMode(operatorMode);
    return app.run();
  }
  SettingsFile settings() const { return SettingsFile(dir.path(kSettingsFileName)); }

  test::TempDir dir;
  VirtualClock clock;
  ClockPacer pacer{clock};
  std::unique_ptr<SimBench> bench = SimBench::fresh(2, clock);
};

TEST_F(MainAppTest, FirstRunAsksOnceThenRunsTheMainWindowUntilClosed) {
  bool initiationShown = false;
  MainWindowSeen seen;
  test::OnNextModal(
      [&](QWidget* modal) {
        auto* init = static_cast<CInitDlg*>(modal);
        initiationShown = true;
        EXPECT_EQ(init->parentWidget(), nullptr);  // no owner: nothing else exists yet
        init->logBox()->click();
        init->okButton()->click();
        CloseMainWindowWhenShown(seen);
      },
      &CInitDlg::staticMetaObject);
  EXPECT_EQ(runApp(), 0);
  EXPECT_TRUE(initiationShown);
  ASSERT_TRUE(seen.shown);
  EXPECT_EQ(seen.title, QStringLiteral("ZK40 Family Flashdock"));
  EXPECT_EQ(seen.status, QStringLiteral("2 programmers are detected"));
  EXPECT_EQ(seen.rows, 2);
  EXPECT_EQ(settings().read(kSectionLog, kKeyAutoSaveLog), "0");
  EXPECT_EQ(settings().read(kSectionLog, kKeyAutoSaveId), "0");
  EXPECT_TRUE(dir.exists(kHistoryFileName));
  EXPECT_TRUE(dir.exists(kLoadRecordFileName));

  // The next start goes straight to the main window.
  MainWindowSeen second;
  bool askedAgain = false;
  QPointer<QTimer> initWatch =
      test::OnNextModal([&](QWidget*) { askedAgain = true; }, &CInitDlg::staticMetaObject);
  CloseMainWindowWhenShown(second);
  EXPECT_EQ(runApp(), 0);
  EXPECT_TRUE(second.shown);
  EXPECT_FALSE(askedAgain);
  delete initWatch;
  // The closed window left every programmer free to be opened again.
  for (std::uint32_t index = 0; index < 2; ++index) {
    BridgeHandle handle = kNoHandle;
    EXPECT_EQ(bench->BridgeOpen(index, handle), kBridgeOk) << index;
    bench->BridgeClose(handle);
  }
}

TEST_F(MainAppTest, TheWindowOpensInOperatorModeByTheOptionOrTheSetting) {
  const struct {
    bool option;
    const char* setting;
    bool operatorMode;
  } cases[] = {{false, "0", false}, {true, "0", true}, {false, "1", true}, {true, "1", true}};
  for (const auto& c : cases) {
    // A settings file is there: no first-run question.
    ASSERT_TRUE(settings().write(kSectionMainWindow, kKeyOperatorMode, c.setting));
    bool seen = false, offlineShown = true;
    test::OnNextModal(
        [&](QWidget* modal) {
          auto* window = static_cast<CMainDlg*>(modal);
          seen = true;
          offlineShown = window->offlineButton()->isVisible();
          QTest::keyClick(window, Qt::Key_Escape);
        },
        &CMainDlg::staticMetaObject, [](QWidget* modal) { return static_cast<CMainDlg*>(modal)->list()->rowCount() > 0; });
    EXPECT_EQ(runApp(c.option), 0);
    ASSERT_TRUE(seen);
    EXPECT_EQ(offlineShown, !c.operatorMode) << c.option << " " << c.setting;
  }
}

}  // namespace
}  // namespace fd
