// The Single Operation, ID Setting and Power Setting windows drawn over their flows on the
// demo bench: what each mode shows, what a click in the tree and the list does, and the
// whole road from the main window's Off-line Set.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "gui/app/CMainApp.h"
#include "gui/main/CMainDlg.h"
#include "gui/single/CIDCodeSetDlg.h"
#include "gui/single/CPowerSetDlg.h"
#include "gui/single/CSingleOperDlg.h"
#include "support/SingleRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;

QTreeWidgetItem* GroupItem(QTreeWidget& tree, const QString& group) {
  const auto found = tree.findItems(group, Qt::MatchStartsWith | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.front();
}

// As a mouse does it: press and release, then the double click.
void DoubleClick(QTableWidget& list, int row) {
  const QPoint at = list.visualItemRect(list.item(row, 0)).center();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

class SingleOperDlgTest : public ::testing::Test {
protected:
  void SetUp() override { rig.prepare(); }
  test::SingleRig rig;
};

TEST_F(SingleOperDlgTest, EachModeShowsItsButtonsLabelsAndTheGreenOnBlackTree) {
  const struct {
    bool offline;
    bool loadFile, erase, program, read;
    const char* product;
    const char* grab;
  } cases[] = {
      {true, true, false, false, false, "ZK40F8C12", "flashdock-single-offline"},
      {false, false, true, true, true, "Not select", "flashdock-single-online"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offline);
    CSingleOperDlg dialog(rig.open(c.offline));
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Single Operation"));
    EXPECT_EQ(dialog.loadFileButton()->isVisible(), c.loadFile);
    EXPECT_EQ(dialog.eraseButton()->isVisible(), c.erase);
    EXPECT_EQ(dialog.programButton()->isVisible(), c.program);
    EXPECT_EQ(dialog.readButton()->isVisible(), c.read);
    EXPECT_TRUE(dialog.setIdButton()->isVisible());
    EXPECT_EQ(dialog.setIdButton()->text(), QStringLiteral("Set &ID"));
    EXPECT_EQ(dialog.setPowerButton()->text(), QStringLiteral("&Set Power"));
    EXPECT_EQ(dialog.loadFileButton()->text(), QStringLiteral("Load &File"));
    EXPECT_EQ(dialog.productLabel()->text(), QString::fromLatin1(c.product));
    EXPECT_EQ(dialog.modeHint()->text(), QStringLiteral("Make sure about selecting On-line or Off-line"));
    EXPECT_EQ(dialog.tree()->topLevelItemCount(), 5);
    EXPECT_FALSE(dialog.tree()->topLevelItem(0)->isExpanded());
    EXPECT_FALSE(dialog.list()->isEnabled());
    for (QWidget* w : {static_cast<QWidget*>(dialog.tree()), static_cast<QWidget*>(dialog.list())}) {
      EXPECT_EQ(w->palette().color(QPalette::Base), QColor(0, 0, 0));
      EXPECT_EQ(w->palette().color(QPalette::Text), QColor(0, 255, 0));
    }
    // Erase and Load File share one place; the buttons stay inside the window.
    EXPECT_EQ(dialog.eraseButton()->geometry(), dialog.loadFileButton()->geometry());
    for (QWidget* w : {static_cast<QWidget*>(dialog.readButton()), static_cast<QWidget*>(dialog.list()),
                       static_cast<QWidget*>(dialog.modeHint())}) {
      EXPECT_TRUE(dialog.rect().contains(w->geometry()));
    }
    EXPECT_FALSE(dialog.tree()->geometry().intersects(dialog.list()->geometry()));
    test::SaveGrab(dialog, QString::fromLatin1(c.grab));
    test::ExpectCaptionsWhole(dialog, c.grab);
    dialog.close();
  }
}

TEST_F(SingleOperDlgTest, AGroupFillsTheListASeriesEmptiesItAndADoubleClickWritesTheProduct) {
  CSingleOperDlg dialog(rig.open(true));
  dialog.show();
  QTreeWidget& tree = *dialog.tree();
  tree.expandAll();
  tree.setCurrentItem(GroupItem(tree, QStringLiteral("ZK40F1")));
  QTableWidget& list = *dialog.list();
  ASSERT_EQ(list.rowCount(), 3);
  EXPECT_TRUE(list.isEnabled());
  EXPECT_EQ(list.item(1, 0)->text(), QStringLiteral("ZK40F8C16   "));
  EXPECT_EQ(list.item(1, 1)->text(), QStringLiteral("48K+2K  "));
  test::SaveGrab(dialog, QStringLiteral("flashdock-single-group"));
  test::ExpectCaptionsWhole(dialog, "flashdock-single-group");

  DoubleClick(list, 1);
  EXPECT_EQ(dialog.productLabel()->text(), QStringLiteral("ZK40F8C16"));
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgNewProduct));
  EXPECT_EQ(std::string(rig.programmer().info().begin() + info::kNames,
                        rig.programmer().info().begin() + info::kNames + info::kMcuNameSize),
            "ZK40F8C16   ");

  tree.setCurrentItem(tree.topLevelItem(2));
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_FALSE(list.isEnabled());
}

TEST_F(SingleOperDlgTest, EveryProductNameShowsWholeBesideItsMemory) {
  CSingleOperDlg dialog(rig.open(true));
  dialog.show();
  QTreeWidget& tree = *dialog.tree();
  QTableWidget& list = *dialog.list();
  const auto& shown = static_cast<const QAbstractItemView&>(list);
  int groups = 0;
  for (int s = 0; s < tree.topLevelItemCount(); ++s) {
    for (int g = 0; g < tree.topLevelItem(s)->childCount(); ++g) {
      QTreeWidgetItem* group = tree.topLevelItem(s)->child(g);
      SCOPED_TRACE(group->text(0).toStdString());
      tree.setCurrentItem(group);
      ++groups;
      if (list.rowCount() == 0) continue;
      // Names as long as twelve characters, trailing spaces and all, nothing elided; the
      // least widths are 100 and 80 pixels, both columns side by side in the list.
      EXPECT_LE(shown.sizeHintForColumn(0), list.columnWidth(0));
      EXPECT_LE(shown.sizeHintForColumn(1), list.columnWidth(1));
      EXPECT_GE(list.columnWidth(0), 100);
      EXPECT_GE(list.columnWidth(1), 80);
      EXPECT_LE(list.columnWidth(0) + list.columnWidth(1), list.viewport()->width());
    }
  }
  EXPECT_GT(groups, 1);
  tree.setCurrentItem(GroupItem(tree, QStringLiteral("ZK40F1")));
  EXPECT_TRUE(dialog.rect().contains(list.geometry()));
  EXPECT_TRUE(dialog.rect().contains(dialog.modeHint()->geometry()));
  test::SaveGrab(dialog, QStringLiteral("flashdock-single-names"));
}

TEST_F(SingleOperDlgTest, TheIdWindowLimitsItsEditAndTheBoxPutsThePlaceholder) {
  rig.main.state.offlineMode = 0;
  IdCodeSetFlow flow(rig.main.state, rig.main.prompter);
  flow.open();
  CIDCodeSetDlg dialog(flow);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("ID Setting"));
  EXPECT_EQ(dialog.prompt()->text(), QStringLiteral("Please input 7 bytes ID code"));
  EXPECT_EQ(dialog.edit()->text(), QStringLiteral("C3C3C3C3C3C3C3"));
  EXPECT_EQ(dialog.edit()->maxLength(), 14);
  EXPECT_EQ(dialog.edit()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
  test::SaveGrab(dialog, QStringLiteral("flashdock-id"));
  test::ExpectCaptionsWhole(dialog, "flashdock-id");

  dialog.stringBox()->click();
  EXPECT_EQ(dialog.edit()->text(), QStringLiteral("TagCode"));
  EXPECT_EQ(dialog.edit()->maxLength(), 7);
  dialog.edit()->clear();
  QTest::keyClicks(dialog.edit(), QStringLiteral("Line-1 A"));  // one more than the edit takes
  EXPECT_EQ(dialog.edit()->text(), QStringLiteral("Line-1 "));
  dialog.okButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(rig.setting(kKeyIdCode), "4C696E652D3120");
}

TEST_F(SingleOperDlgTest, TheIdWindowEmptiesTheEditAfterAFormatError) {
  IdCodeSetFlow flow(rig.main.state, rig.main.prompter);
  flow.open();
  CIDCodeSetDlg dialog(flow);
  dialog.show();
  dialog.edit()->selectAll();
  QTest::keyClicks(dialog.edit(), QStringLiteral("12 34"));
  dialog.okButton()->click();
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgIdNotHex));
  EXPECT_EQ(dialog.edit()->text(), QString());
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(SingleOperDlgTest, ThePowerWindowKeepsExactlyOneButtonSet) {
  rig.main.state.offlineMode = 1;
  rig.main.state.programmerInfo[info::kPower] = 0xFF;
  PowerSetFlow flow(rig.main.state, rig.main.prompter);
  flow.open();
  CPowerSetDlg dialog(flow);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Power Setting"));
  EXPECT_EQ(dialog.noOutput()->text(), QStringLiteral("Do not output (Use target power)"));
  EXPECT_TRUE(dialog.noOutput()->isChecked());
  test::SaveGrab(dialog, QStringLiteral("flashdock-power"));
  test::ExpectCaptionsWhole(dialog, "flashdock-power");
  dialog.output3V()->click();
  dialog.output3V()->click();  // a second click leaves it set
  EXPECT_TRUE(dialog.output3V()->isChecked());
  EXPECT_FALSE(dialog.output5V()->isChecked());
  EXPECT_FALSE(dialog.noOutput()->isChecked());
  dialog.okButton()->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(rig.main.state.programmerInfo[info::kPower], 0x30);
}

// The whole road: the main window's Off-line Set opens the window over it, a double click
// writes the product, and the list shows it once the window is closed.
TEST(SingleOperFromMainWindow, OffLineSetDoubleClickAndTheRowShowsTheNewProduct) {
  test::TempDir dir;
  VirtualClock clock;
  ClockPacer pacer{clock};
  auto bench = SimBench::demo(clock);
  AppState state;
  state.appDir = dir.dir();
  state.programDir = ExecutableDir(nullptr);
  SettingsFile(dir.path(kSettingsFileName)).write(kSectionLog, kKeyAutoSaveLog, "1");

  QString info;
  QString rowAfter;
  QWidget* owner = nullptr;
  test::OnNextModal(
      [&](QWidget* modal) {
        auto* main = static_cast<CMainDlg*>(modal);
        test::OnNextModal(
            [&, main](QWidget* single) {
              auto* window = static_cast<CSingleOperDlg*>(single);
              owner = window->parentWidget();
              window->tree()->setCurrentItem(GroupItem(*window->tree(), QStringLiteral("ZK40K2")));
              QTableWidget& list = *window->list();
              test::OnNextModal(
                  [&, window, main](QWidget* box) {
                    info = static_cast<QMessageBox*>(box)->text();
                    static_cast<QMessageBox*>(box)->accept();
                    test::OnNextModal(
                        [&, main](QWidget*) {
                          rowAfter = main->list()->item(0, 1)->text();
                          QTest::keyClick(main, Qt::Key_Escape);
                        },
                        &CMainDlg::staticMetaObject);
                    QTest::keyClick(window, Qt::Key_Escape);
                  },
                  &QMessageBox::staticMetaObject);
              DoubleClick(list, 0);
            },
            &CSingleOperDlg::staticMetaObject);
        main->offlineButton()->click();
      },
      &CMainDlg::staticMetaObject);
  CMainApp app(state, *bench, pacer, bench.get());
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(info, QStringLiteral("New product is set to the programmer."));
  EXPECT_NE(owner, nullptr);
  EXPECT_EQ(rowAfter, QStringLiteral("ZK40K64L    "));
}

// On-line Test: a product chosen in the list, Set ID and Set Power through their own
// windows, each over the Single Operation window; the settings file keeps all three.
TEST(SingleOperFromMainWindow, OnLineTestStoresProductIdAndPowerInTheSettingsFile) {
  test::TempDir dir;
  VirtualClock clock;
  ClockPacer pacer{clock};
  auto bench = SimBench::demo(clock);
  AppState state;
  state.appDir = dir.dir();
  state.programDir = ExecutableDir(nullptr);
  SettingsFile settings(dir.path(kSettingsFileName));
  settings.write(kSectionLog, kKeyAutoSaveLog, "1");

  QWidget* idOwner = nullptr;
  QWidget* powerOwner = nullptr;
  QWidget* singleWindow = nullptr;
  test::OnNextModal(
      [&](QWidget* modal) {
        auto* main = static_cast<CMainDlg*>(modal);
        test::OnNextModal(
            [&, main](QWidget* single) {
              auto* window = static_cast<CSingleOperDlg*>(single);
              singleWindow = window;
              window->tree()->setCurrentItem(GroupItem(*window->tree(), QStringLiteral("ZK40H3")));
              window->list()->setCurrentCell(1, 0);
              test::OnNextModal(
                  [&](QWidget* idWindow) {
                    auto* id = static_cast<CIDCodeSetDlg*>(idWindow);
                    idOwner = id->parentWidget();
                    id->edit()->selectAll();
                    QTest::keyClicks(id->edit(), QStringLiteral("a0a1a2a3a4a5a6"));
                    id->okButton()->click();
                  },
                  &CIDCodeSetDlg::staticMetaObject);
              window->setIdButton()->click();
              test::OnNextModal(
                  [&](QWidget* powerWindow) {
                    auto* power = static_cast<CPowerSetDlg*>(powerWindow);
                    powerOwner = power->parentWidget();
                    power->output5V()->click();
                    power->okButton()->click();
                  },
                  &CPowerSetDlg::staticMetaObject);
              window->setPowerButton()->click();
              EXPECT_EQ(window->powerLabel()->text(), QStringLiteral("Output 5.0V"));
              EXPECT_EQ(window->productLabel()->text(), QStringLiteral("ZK40H128R2"));
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
  EXPECT_NE(singleWindow, nullptr);
  EXPECT_EQ(idOwner, singleWindow);
  EXPECT_EQ(powerOwner, singleWindow);
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyProductNumber), "ZK40H128R2");
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyIdCode), "A0A1A2A3A4A5A6");
  EXPECT_EQ(settings.read(kSectionProgrammer, kKeyPowerSet), "50");
}

}  // namespace
}  // namespace fd
