// Smoke tests of the firmware update on the desktop: the gesture made with the mouse on the
// main window's empty list reaches the update, and the Updating window shows its text and
// progress, closes at the end and refuses to close while the flash is rewritten.
#include <QLabel>
#include <QProgressBar>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "app/Startup.h"
#include "flows/main/MainFlow.h"
#include "flows/update/UpdateRig.h"
#include "gui/main/CMainDlg.h"
#include "gui/update/CUpdateDlg.h"
#include "support/ManualTimers.h"
#include "support/RecordingOpener.h"

namespace fd::test {
namespace {

TEST(UpdateGui, TheGestureOnTheEmptyListRunsTheUpdate) {
  UpdateRig rig;
  rig.state.appDir = rig.dir.dir();
  RunStartupHeadless(rig.state);
  rig.attach();
  rig.chooseFile(FirmwareFile(0x1000 - 2, 2));
  ManualTimers timers;
  RecordingOpener opener;
  MainFlow flow(MainFlowPorts{rig.state, rig.tracing, rig.pacer, rig.prompter, timers, opener, {}, &rig.dialogs,
                              &rig.clock});
  CMainDlg window(flow);
  window.show();
  ASSERT_EQ(window.list()->rowCount(), 0);
  EXPECT_EQ(rig.prompter.texts(), (std::vector<std::string>{"Can not reset the programmer!"}));

  QWidget* empty = window.list()->viewport();
  const QPoint where(empty->width() / 2, empty->height() / 2);
  QTest::mouseDClick(empty, Qt::LeftButton, {}, where);
  QTest::mouseClick(empty, Qt::RightButton, {}, where);
  EXPECT_EQ(flow.gestureCounter(), 2);
  QTest::mouseDClick(empty, Qt::LeftButton, {}, where);

  EXPECT_EQ(rig.dialogs.count(kUpdatingTitle), 1);
  EXPECT_EQ(rig.prompter.texts().back(), kMsgUpdated);
  EXPECT_EQ(rig.bench.programmer(0).setup().firmware.size(), 2u);
  EXPECT_EQ(flow.gestureCounter(), 0);
  EXPECT_TRUE(timers.running(kTimerDetection));
}

class UpdateDlgTest : public ::testing::Test {
protected:
  void SetUp() override {
    rig.attach();
    rig.chooseFile(FirmwareFile(0x1000 - 4, 4));
    rig.bench.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
    ASSERT_EQ(rig.bench.BridgeOpen(0, handle), kBridgeOk);
    rig.bench.BridgeSetBaudRate(handle, kUpdateBaud);
    rig.bench.BridgeSetLineControl(handle, kLineControl8N1);
    flow = std::make_unique<UpdateFlow>(UpdateFlowPorts{rig.bench, rig.pacer, rig.prompter, rig.clock}, handle);
    flow->open(timers);
    dialog = std::make_unique<CUpdateDlg>(*flow);
    dialog->show();
  }
  void tick() {
    rig.clock.advanceUs(static_cast<std::uint64_t>(timers.period(kTimerUpdate)) * 1000);
    flow->onTimer(kTimerUpdate);
  }
  // Ticks until the window shows `percent` (or the flow ends).
  void tickTo(int percent) {
    for (int i = 0; i < 60 && !flow->ended() && dialog->progressBar()->value() < percent; ++i) tick();
  }

  UpdateRig rig;
  BridgeHandle handle = kNoHandle;
  ManualTimers timers;
  std::unique_ptr<UpdateFlow> flow;
  std::unique_ptr<CUpdateDlg> dialog;
};

TEST_F(UpdateDlgTest, ShowsItsTextAndProgressAndClosesOkAtTheEnd) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Updating"));
  EXPECT_EQ(dialog->text()->text(), QStringLiteral("Wait for updating...\nDo not disconnect the USB cable!"));
  EXPECT_EQ(dialog->progressBar()->value(), 0);
  EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
  const QRect inside = dialog->rect();
  EXPECT_TRUE(inside.contains(dialog->text()->geometry()));
  EXPECT_TRUE(inside.contains(dialog->progressBar()->geometry()));

  tickTo(20);
  EXPECT_EQ(dialog->progressBar()->value(), 20);
  tick();  // the first of four pages
  EXPECT_EQ(dialog->progressBar()->value(), 30 + 70 / 4);
  SaveGrab(*dialog, QStringLiteral("updating"));
  ExpectCaptionsWhole(*dialog, "updating");
  tickTo(100);
  EXPECT_EQ(flow->result(), FlowResult::Ok);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(UpdateDlgTest, EscapeCancelsBeforeTheFirstEraseAndIsRefusedAfterIt) {
  tick();  // the file
  tick();  // a lead-in byte
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  EXPECT_TRUE(dialog->isVisible());  // taken at the next tick
  tick();
  EXPECT_EQ(flow->result(), FlowResult::Cancel);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(UpdateDlgTest, TheCloseBoxWaitsOnceTheFlashIsBeingErased) {
  tickTo(5);  // the first erase went out
  dialog->close();
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  tick();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(flow->ended());
  tickTo(100);
  EXPECT_EQ(flow->result(), FlowResult::Ok);
  EXPECT_EQ(rig.bench.programmer(0).setup().firmware.size(), 4u);
}

}  // namespace
}  // namespace fd::test
