// The target-memory windows drawn over their flows on the simulated bench: each opens with
// its captions, a click reaches its flow, and the flow's state shows.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "flows/memory/AddrFlow.h"
#include "flows/memory/EraseFlow.h"
#include "flows/memory/HexView.h"
#include "flows/memory/ReadFlow.h"
#include "flows/memory/TopAddrFlow.h"
#include "app/SettingsFile.h"
#include "gui/app/CMainApp.h"
#include "gui/app/QtDialogHost.h"
#include "gui/app/QtTimers.h"
#include "gui/memory/BlockListWidget.h"
#include "gui/memory/CAddrDlg.h"
#include "gui/memory/CEraseDlg.h"
#include "gui/memory/CReadDlg.h"
#include "gui/memory/CTopAddrDlg.h"
#include "gui/main/CMainDlg.h"
#include "gui/single/CSingleOperDlg.h"
#include "sim/SimBench.h"
#include "support/TempDir.h"
#include "support/MemoryRig.h"

namespace fd {
namespace {

using test::MemoryRig;

void Tick(MemoryRig& rig, ModalFlow& flow, int ms) {
  rig.main.clock.advanceUs(static_cast<std::uint64_t>(ms) * 1000);
  flow.onTimer(kTimerSubWindow);
}

TEST(EraseDlg, TheToggleAndOkReachTheFlowAndTheTicksShowWhatWasErased) {
  MemoryRig rig(test::kFiveBlocks);
  test::ManualTimers timers;
  EraseFlow flow(rig.ports());
  CEraseDlg dialog(flow);
  flow.open(timers);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Erase"));
  ASSERT_EQ(dialog.list()->topLevelItemCount(), 5);
  EXPECT_EQ(dialog.list()->topLevelItem(0)->text(0), QStringLiteral("Block A"));
  EXPECT_EQ(dialog.list()->topLevelItem(2)->text(1), QStringLiteral("0x0D000"));
  EXPECT_EQ(dialog.list()->topLevelItem(2)->text(2), QStringLiteral("4K  "));
  EXPECT_TRUE(dialog.toggle()->text().isEmpty());
  EXPECT_EQ(dialog.toggleLabel()->text(), QStringLiteral("Select all blocks"));

  dialog.toggle()->click();
  EXPECT_EQ(dialog.toggleLabel()->text(), QStringLiteral("Clear all selected blocks"));
  test::SaveGrab(dialog, QStringLiteral("flashdock-erase-clear"));
  test::ExpectCaptionsWhole(dialog, "flashdock-erase-clear");
  EXPECT_EQ(dialog.list()->topLevelItem(4)->checkState(0), Qt::Checked);
  dialog.toggle()->click();
  // A box ticked by hand reaches the flow.
  dialog.list()->topLevelItem(1)->setCheckState(0, Qt::Checked);
  dialog.list()->topLevelItem(3)->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(flow.view().rows[1].checked && flow.view().rows[3].checked);
  test::SaveGrab(dialog, QStringLiteral("flashdock-erase-ticked"));
  test::ExpectCaptionsWhole(dialog, "flashdock-erase-ticked");

  dialog.okButton()->click();
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  EXPECT_FALSE(dialog.toggle()->isEnabled());
  EXPECT_EQ(dialog.list()->topLevelItem(1)->checkState(0), Qt::Unchecked);
  rig.prompter.answerNext(MsgAnswer::No);
  for (int t = 0; t < 40 && flow.view().running; ++t) {
    Tick(rig, flow, 100);
    if (t == 4) test::SaveGrab(dialog, QStringLiteral("flashdock-erase-running"));
  }
  EXPECT_EQ(dialog.list()->topLevelItem(1)->checkState(0), Qt::Checked);
  EXPECT_EQ(dialog.list()->topLevelItem(3)->checkState(0), Qt::Checked);
  EXPECT_EQ(dialog.list()->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_TRUE(dialog.okButton()->isEnabled());
  test::SaveGrab(dialog, QStringLiteral("flashdock-erase-done"));
  test::ExpectCaptionsWhole(dialog, "flashdock-erase-done");
}

TEST(AddrDlg, TypingTickingAndOkReachTheFlow) {
  MemoryRig rig(test::kFiveBlocks);
  AddrFlow flow(rig.state, rig.prompter);
  CAddrDlg dialog(flow);
  flow.open();
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Address Setting"));
  EXPECT_EQ(dialog.startEdit()->text(), QStringLiteral("START"));
  EXPECT_EQ(dialog.endEdit()->text(), QStringLiteral("END"));
  EXPECT_EQ(dialog.startEdit()->maxLength(), 5);
  EXPECT_EQ(dialog.list()->topLevelItemCount(), 5);
  dialog.allUser()->click();
  EXPECT_TRUE(flow.view().allUser);
  EXPECT_EQ(dialog.list()->topLevelItem(2)->checkState(0), Qt::Checked);
  test::SaveGrab(dialog, QStringLiteral("flashdock-addr-user"));
  test::ExpectCaptionsWhole(dialog, "flashdock-addr-user");
  dialog.allUser()->click();
  dialog.startEdit()->clear();
  QTest::keyClicks(dialog.startEdit(), QStringLiteral("d000"));
  dialog.endEdit()->clear();
  QTest::keyClicks(dialog.endEdit(), QStringLiteral("dfff"));
  EXPECT_EQ(flow.view().startText, "D000");
  EXPECT_EQ(dialog.startEdit()->text(), QStringLiteral("D000")) << "shown in upper case";
  dialog.okButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(rig.state.readStart, 0xD000);
  EXPECT_EQ(rig.state.readEnd, 0xDFFF);
}

TEST(ReadDlg, TheViewFillsPauseAndSaveFollowTheFlowAndAJumpSelectsTheLine) {
  MemoryRig rig(test::kFiveBlocks);
  rig.state.readStart = 0x0C000;
  rig.state.readEnd = 0x0FFFF;
  QtDialogHost host;
  MemoryPorts ports = rig.ports();
  MemoryPorts qt{ports.state, ports.link, ports.prompter, ports.clock, host};
  QtTimers timers;
  ReadFlow flow(qt);
  CReadDlg dialog(flow);
  timers.setHandler([&](int id) { flow.onTimer(id); });
  flow.open(timers);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Read"));
  EXPECT_EQ(dialog.status()->text(), QStringLiteral("Wait for reading... 0%"));
  EXPECT_EQ(dialog.heading()->text(), QStringLiteral("+0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F"));
  // Every character as wide as any other, so the columns line up under the heading.
  const QFontMetrics metrics(dialog.hexView()->font());
  EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("1111")), metrics.horizontalAdvance(QStringLiteral("FFFF")));
  EXPECT_EQ(metrics.horizontalAdvance(QStringLiteral("    ")), metrics.horizontalAdvance(QStringLiteral("0x0F")));
  EXPECT_FALSE(dialog.saveButton()->isEnabled());
  for (int page = 0; page < 8; ++page) timers.fire(kTimerSubWindow);
  EXPECT_EQ(dialog.hexView()->count(), 128);
  EXPECT_EQ(dialog.status()->text(), QStringLiteral("Wait for reading... 12%"));
  EXPECT_EQ(dialog.progress()->value(), 8);

  dialog.pauseButton()->click();
  EXPECT_EQ(dialog.pauseButton()->text(), QStringLiteral("&Go"));
  EXPECT_EQ(dialog.status()->text(), QStringLiteral("Reading is paused. 12% is read."));
  EXPECT_TRUE(dialog.saveButton()->isEnabled());
  EXPECT_FALSE(timers.isActive(kTimerSubWindow));
  test::SaveGrab(dialog, QStringLiteral("flashdock-read-paused"));
  test::ExpectCaptionsWhole(dialog, "flashdock-read-paused");
  dialog.pauseButton()->click();
  EXPECT_TRUE(timers.isActive(kTimerSubWindow));
  EXPECT_EQ(timers.period(kTimerSubWindow), 10);
  while (!flow.complete()) timers.fire(kTimerSubWindow);
  EXPECT_EQ(dialog.hexView()->count(), 1024);
  EXPECT_EQ(dialog.status()->text(), QStringLiteral("Read completed. But not saved."));
  EXPECT_FALSE(dialog.pauseButton()->isEnabled());
  EXPECT_FALSE(dialog.progress()->isVisible());

  // ADDRESS opens the Top Address window; F123 puts line 0x0F120 at the top and selects it.
  test::OnNextModal(
      [](QWidget* modal) {
        auto* top = static_cast<CTopAddrDlg*>(modal);
        test::SaveGrab(*top, QStringLiteral("flashdock-topaddr"));
        test::ExpectCaptionsWhole(*top, "flashdock-topaddr");
        top->edit()->selectAll();
        QTest::keyClicks(top->edit(), QStringLiteral("f123"));
        top->okButton()->click();
      },
      &CTopAddrDlg::staticMetaObject);
  dialog.addressButton()->click();
  EXPECT_EQ(rig.state.viewTop, 0xF123);
  EXPECT_EQ(dialog.hexView()->currentRow(), 786);
  EXPECT_TRUE(dialog.hexView()->currentItem()->text().startsWith(QStringLiteral("0x0F120")));
  test::SaveGrab(dialog, QStringLiteral("flashdock-read-jumped"));
  test::ExpectCaptionsWhole(dialog, "flashdock-read-jumped");
}

TEST(ReadDlg, ReadingGoesOnWhileTheTopAddressWindowIsOpen) {
  MemoryRig rig(test::kFiveBlocks);
  rig.state.readStart = 0x0E000;
  rig.state.readEnd = 0x0EFFF;
  QtDialogHost host;
  MemoryPorts ports = rig.ports();
  MemoryPorts qt{ports.state, ports.link, ports.prompter, ports.clock, host};
  QtTimers timers;
  ReadFlow flow(qt);
  CReadDlg dialog(flow);
  timers.setHandler([&](int id) { flow.onTimer(id); });
  flow.open(timers);
  dialog.show();
  timers.fire(kTimerSubWindow);
  int linesWhileOpen = 0;
  test::OnNextModal(
      [&](QWidget* modal) {
        // Two ticks of the read timer fall due while the window is up: both run.
        timers.fire(kTimerSubWindow);
        timers.fire(kTimerSubWindow);
        linesWhileOpen = dialog.hexView()->count();
        static_cast<CTopAddrDlg*>(modal)->reject();
      },
      &CTopAddrDlg::staticMetaObject);
  dialog.addressButton()->click();
  EXPECT_EQ(linesWhileOpen, 48);
  EXPECT_TRUE(timers.isActive(kTimerSubWindow));
}

TEST(MemoryFromSingleOperation, TheEraseAndReadButtonsOpenTheirWindows) {
  test::TempDir dir;
  VirtualClock clock;
  ClockPacer pacer{clock};
  auto bench = SimBench::demo(clock);
  AppState state;
  state.appDir = dir.dir();
  state.programDir = ExecutableDir(nullptr);
  SettingsFile settings(dir.path(kSettingsFileName));
  settings.write(kSectionLog, kKeyAutoSaveLog, "1");
  settings.write(kSectionProgrammer, kKeyProductNumber, "ZK40F8C12");
  settings.write(kSectionProgrammer, kKeyIdCode, "C3C3C3C3C3C3C3");
  settings.write(kSectionProgrammer, kKeyPowerSet, "50");

  int eraseRows = -1;
  QString addrStart;
  test::OnNextModal(
      [&](QWidget* modal) {
        auto* main = static_cast<CMainDlg*>(modal);
        test::OnNextModal(
            [&, main](QWidget* single) {
              auto* window = static_cast<CSingleOperDlg*>(single);
              test::OnNextModal(
                  [&](QWidget* erase) {
                    eraseRows = static_cast<CEraseDlg*>(erase)->list()->topLevelItemCount();
                    QTest::keyClick(erase, Qt::Key_Escape);
                  },
                  &CEraseDlg::staticMetaObject);
              window->eraseButton()->click();
              test::OnNextModal(
                  [&](QWidget* addr) {
                    addrStart = static_cast<CAddrDlg*>(addr)->startEdit()->text();
                    QTest::keyClick(addr, Qt::Key_Escape);
                  },
                  &CAddrDlg::staticMetaObject);
              window->readButton()->click();
              QTest::keyClick(window, Qt::Key_Escape);
              test::OnNextModal([main](QWidget*) { QTest::keyClick(main, Qt::Key_Escape); },
                                &CMainDlg::staticMetaObject);
            },
            &CSingleOperDlg::staticMetaObject);
        main->onlineButton()->click();
      },
      &CMainDlg::staticMetaObject);
  CMainApp app(state, *bench, pacer, bench.get());
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(eraseRows, 10) << "the blocks of ZK40F8C12";
  EXPECT_EQ(addrStart, QStringLiteral("START"));
}

}  // namespace
}  // namespace fd
