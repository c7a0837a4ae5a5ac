// Smoke tests of the main window on a simulated bench in virtual time: what it shows after
// detection, what the clicks reach, the gang run's columns, colours and progress bars, the
// About box, closing, and the entries the application adds to the context menu.
#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "GuiTestSupport.h"
#include "flows/main/MainFlow.h"
#include "gui/main/CAboutDlg.h"
#include "gui/app/CMainApp.h"
#include "gui/main/CMainDlg.h"
#include "gui/sim/BenchMenu.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"
#include "support/MainRig.h"
#include "support/ManualTimers.h"
#include "support/RecordingOpener.h"
#include "support/RecordingPrompter.h"
#include "support/TempDir.h"
#include "support/SRecordText.h"
#include "app/RunLog.h"
#include "formats/DeviceDatabase.h"
#include "app/Startup.h"

namespace fd {
namespace {

constexpr std::uint64_t kTickUs = 100000;  // the gang poll's period

class MainDlgTest : public ::testing::Test {
protected:
  void open(std::unique_ptr<SimBench> simulated) {
    window.reset();  // before the flow it draws
    flow.reset();
    bench = std::move(simulated);
    state.appDir = dir.dir();
    state.idCode = kDefaultIdCode;
    MainFlowPorts ports{state, *bench, pacer, prompter, timers, opener, {}};
    ports.operatorMode = operatorMode;
    flow = std::make_unique<MainFlow>(std::move(ports));
    window = std::make_unique<CMainDlg>(*flow);
    window->setExtraMenuEntries([this](QMenu& menu) { AddBenchMenuEntries(menu, *bench); });
    window->show();  // the window's opening runs the first detection
  }

  // Three programmers: 01 and 03 succeed, 02 has no target.
  void openLine() {
    auto simulated = SimBench::fresh(0, clock);
    simulated->attach(test::ReadyProgrammer("ZK40F8C12", "blinky", 4000));
    SimProgrammerSetup noTarget = test::ReadyProgrammer("ZK40F8C12", "blinky", 4000);
    noTarget.target.present = false;
    simulated->attach(noTarget);
    simulated->attach(test::ReadyProgrammer("ZK40G16B", "motor_ctl", 4000));
    open(std::move(simulated));
    ASSERT_EQ(list().rowCount(), 3);
  }

  QTableWidget& list() { return *window->list(); }
  QString cell(int row, int column) {
    const QTableWidgetItem* item = list().item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
  }
  QColor listColour(QPalette::ColorGroup group, QPalette::ColorRole role) {
    return list().palette().color(group, role);
  }
  // Every text of the columns shows whole, nothing elided.
  void expectWhole(const char* shown, std::initializer_list<int> columns) {
    const auto& view = static_cast<const QAbstractItemView&>(list());
    for (int c : columns) {
      EXPECT_LE(view.sizeHintForColumn(c), list().columnWidth(c)) << shown << " column " << c;
    }
  }
  // One gang-poll period passes, then the poll runs.
  void runTick() {
    clock.advanceUs(kTickUs);
    flow->onTimer(kTimerGangRun);
  }
  void detectionTick() {
    clock.advanceUs(200000);
    flow->onTimer(kTimerDetection);
  }

  test::TempDir dir;
  AppState state;
  VirtualClock clock;
  ClockPacer pacer{clock};
  test::RecordingPrompter prompter;
  test::ManualTimers timers;
  test::RecordingOpener opener;
  std::unique_ptr<SimBench> bench;
  std::unique_ptr<MainFlow> flow;
  std::unique_ptr<CMainDlg> window;
  bool operatorMode = false;  // as --operator asks
};

TEST_F(MainDlgTest, EmptyBenchShowsCaptionLabelAndNothingDetected) {
  open(SimBench::fresh(0, clock));
  EXPECT_EQ(window->windowTitle(), QStringLiteral("ZK40 Family Flashdock"));
  EXPECT_EQ(window->columnLabel()->text(), QString::fromLatin1(kColumnLabel));
  EXPECT_NE(window->columnLabel()->frameShape(), QFrame::NoFrame);
  EXPECT_EQ(window->statusText()->text(), QStringLiteral("No programmer is detected"));
  EXPECT_EQ(list().rowCount(), 0);
  EXPECT_FALSE(window->windowIcon().isNull());
  EXPECT_FALSE(window->logo()->pixmap().isNull());

  const struct {
    QPushButton* button;
    const char* text;
    bool enabled;
  } buttons[] = {
      {window->startButton(), "&Start", false},     {window->offlineButton(), "&Off-line Set", false},
      {window->onlineButton(), "On-line &Test", false}, {window->logButton(), "&Log", true},
      {window->helpButton(), "&Help", true},
  };
  for (const auto& b : buttons) {
    EXPECT_EQ(b.button->text(), QString::fromLatin1(b.text));
    EXPECT_EQ(b.button->isEnabled(), b.enabled) << b.text;
  }
  EXPECT_TRUE(window->startButton()->isDefault());
  for (int r = 0; r < kMaxProgrammers; ++r) EXPECT_FALSE(window->progressBar(r)->isVisible()) << r;
  EXPECT_TRUE(timers.running(kTimerDetection));
}

TEST_F(MainDlgTest, LayoutKeepsEveryControlInsideTheWindow) {
  open(SimBench::fresh(0, clock));
  const QRect client = window->rect();
  const QWidget* controls[] = {window->statusText(), window->logo(), window->columnLabel(), &list(),
                               window->countsLabel(), window->startButton(), window->offlineButton(),
                               window->onlineButton(), window->logButton(), window->helpButton()};
  for (const QWidget* w : controls) EXPECT_TRUE(client.contains(w->geometry())) << w->metaObject()->className();
  // The counts have a line of their own, between the list and the buttons.
  EXPECT_GE(window->countsLabel()->y(), list().geometry().bottom());
  EXPECT_LE(window->countsLabel()->geometry().bottom(), window->startButton()->y());
  EXPECT_EQ(window->countsLabel()->x(), list().x());
  for (int r = 0; r < kMaxProgrammers; ++r) {
    EXPECT_TRUE(list().geometry().contains(window->progressBar(r)->geometry())) << "bar " << r;
  }
  // The buttons of one row neither overlap nor leave the row.
  EXPECT_FALSE(window->startButton()->geometry().intersects(window->offlineButton()->geometry()));
  EXPECT_FALSE(window->offlineButton()->geometry().intersects(window->onlineButton()->geometry()));
  EXPECT_FALSE(window->logButton()->geometry().intersects(window->helpButton()->geometry()));
  EXPECT_EQ(window->startButton()->y(), window->helpButton()->y());
}

TEST_F(MainDlgTest, ThreeProgrammersAreListedGreenOnBlack) {
  open(SimBench::fresh(3, clock));
  EXPECT_EQ(window->statusText()->text(), QStringLiteral("3 programmers are detected"));
  ASSERT_EQ(list().rowCount(), 3);
  ASSERT_EQ(list().columnCount(), 5);
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(cell(r, 0), QStringLiteral("0%1").arg(r + 1));
    EXPECT_EQ(list().item(r, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(cell(r, 1), QStringLiteral("      ??????"));  // nothing stored yet
    EXPECT_EQ(cell(r, 4), QStringLiteral("??????  "));
  }
  EXPECT_EQ(list().item(0, 0)->textAlignment(), static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
  EXPECT_EQ(list().item(0, 3)->textAlignment(), static_cast<int>(Qt::AlignHCenter | Qt::AlignVCenter));
  EXPECT_TRUE(list().selectionModel()->isRowSelected(0, QModelIndex()));
  EXPECT_TRUE(list().isEnabled());
  EXPECT_EQ(listColour(QPalette::Active, QPalette::Base), QColor(0, 0, 0));
  EXPECT_EQ(listColour(QPalette::Active, QPalette::Text), QColor(0, 255, 0));
  EXPECT_TRUE(window->startButton()->isEnabled());
  EXPECT_TRUE(window->offlineButton()->isEnabled());
  EXPECT_TRUE(window->onlineButton()->isEnabled());
  EXPECT_TRUE(list().horizontalHeader()->isHidden());
  test::SaveGrab(*window, QStringLiteral("flashdock-main"));
  test::ExpectCaptionsWhole(*window, "flashdock-main");
}

TEST_F(MainDlgTest, EachRowTellsWhereItsProgrammerIsInItsTooltip) {
  open(SimBench::fresh(2, clock));
  EXPECT_EQ(list().item(0, 1)->toolTip(), QString()) << "a simulated programmer has no port";
  // Each row asks for its own programmer by its handle, never by its number.
  window->setRowDescriber([this](BridgeHandle handle) {
    return handle == flow->handles()[1] ? QStringLiteral("second") : QStringLiteral("first");
  });
  window->render();
  for (int c = 0; c < list().columnCount(); ++c) {
    EXPECT_EQ(list().item(0, c)->toolTip(), QStringLiteral("first"));
    EXPECT_EQ(list().item(1, c)->toolTip(), QStringLiteral("second"));
  }
  EXPECT_EQ(PortTooltip(SerialDeviceRow{"/dev/ttyUSB1", "1-1.2", "A1B2", ""}),
            QStringLiteral("Port: /dev/ttyUSB1\nUSB port: 1-1.2\nUSB serial: A1B2"));
  EXPECT_EQ(PortTooltip(SerialDeviceRow{"/dev/pts/4", "", "", ""}), QStringLiteral("Port: /dev/pts/4"));
  EXPECT_EQ(PortTooltip(std::nullopt), QString());
}

TEST_F(MainDlgTest, TheImageCheckIsOfferedAndARowsTooltipNamesTheImageThisHostLoaded) {
  RunRecord loaded;
  loaded.time = "2026-12-10T09:06:00.000+01:00";
  loaded.operation = "load";
  loaded.sn = "01";
  loaded.result = kRunOk;
  loaded.sha256 = std::string(64, 'c');
  open(SimBench::demo(clock));
  // What 01 holds, as the list shows it, is what the line says was loaded.
  ASSERT_EQ(flow->view().rows.size(), 3u);
  const MainRow row = flow->view().rows[0];
  loaded.product = std::string(TrimTrailingSpaces(row.cells[0]));
  loaded.file = std::string(TrimTrailingSpaces(row.cells[1])) + ".mot";
  loaded.stamp = row.cells[2];
  dir.write(kRunLogFileName, RunRecordLine(loaded));
  open(SimBench::demo(clock));
  EXPECT_EQ(list().item(0, 1)->toolTip(), QString::fromUtf8("Image SHA-256: cccccccccccc\u2026"));
  EXPECT_EQ(list().item(1, 1)->toolTip(), QString()) << "no load of 02 is known";

  const auto entry = [this](const char* text) -> QAction* {
    std::unique_ptr<QMenu> menu(window->createContextMenu(nullptr));
    for (QAction* action : menu->actions()) {
      if (action->text() == QString::fromUtf8(text)) {
        action->setParent(window.get());  // outlives the menu
        return action;
      }
    }
    return nullptr;
  };
  EXPECT_EQ(entry("Stop checking images"), nullptr) << "only while a file is expected";
  QAction* check = entry("Check images against file\u2026");
  ASSERT_NE(check, nullptr);
  ASSERT_TRUE(check->isEnabled());
  dir.write("other.mot", "S9030000FC\r\n");
  prompter.chooseOpenNext(dir.path("other.mot"));
  check->trigger();
  EXPECT_EQ(flow->expectedImage(), dir.path("other.mot"));
  ASSERT_NE(prompter.last(), nullptr);
  EXPECT_THAT(prompter.last()->text, ::testing::HasSubstr("These programmers do not hold other.mot"));
  QAction* stop = entry("Stop checking images");
  ASSERT_NE(stop, nullptr);
  stop->trigger();
  EXPECT_EQ(flow->expectedImage(), "");
}

TEST_F(MainDlgTest, SelectionAndCheckBoxesReachTheFlow) {
  open(SimBench::fresh(3, clock));
  list().selectRow(2);
  EXPECT_EQ(flow->selectedRow(), 2);
  EXPECT_EQ(state.currentSn, "03");
  EXPECT_EQ(state.currentHandle, flow->handles()[2]);

  list().item(1, 0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(flow->view().rows[1].checked);
  EXPECT_TRUE(flow->view().rows[0].checked);

  list().clearSelection();
  EXPECT_FALSE(window->offlineButton()->isEnabled());
  EXPECT_FALSE(window->onlineButton()->isEnabled());

  // A detection tick keeps what the user ticked: the count has not changed.
  detectionTick();
  EXPECT_EQ(list().item(1, 0)->checkState(), Qt::Unchecked);
}

TEST_F(MainDlgTest, StartWithNothingTickedWarnsAndStaysIdle) {
  open(SimBench::fresh(2, clock));
  for (int r = 0; r < 2; ++r) list().item(r, 0)->setCheckState(Qt::Unchecked);
  window->startButton()->click();
  ASSERT_NE(prompter.last(), nullptr);
  EXPECT_EQ(prompter.last()->text, "No programmer is selected.");
  EXPECT_EQ(prompter.last()->caption, "WARNING");
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Start"));
  EXPECT_EQ(list().columnCount(), 5);
}

TEST_F(MainDlgTest, GangRunShowsRunColumnsBarsAndResults) {
  open(SimBench::demo(clock));
  ASSERT_GE(list().rowCount(), 2);
  const int rows = list().rowCount();
  list().item(1, 0)->setCheckState(Qt::Unchecked);
  window->startButton()->click();

  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Cancel"));
  ASSERT_EQ(list().columnCount(), 4);
  EXPECT_EQ(list().horizontalHeaderItem(1)->text(), QStringLiteral("Status"));
  EXPECT_EQ(list().horizontalHeaderItem(2)->text(), QStringLiteral("Progress"));
  EXPECT_FALSE(list().isEnabled());
  EXPECT_EQ(cell(1, 1), QStringLiteral("N.A."));
  EXPECT_FALSE(window->progressBar(1)->isVisible());
  // A disabled list is drawn light so the run's black text stays readable.
  EXPECT_EQ(listColour(QPalette::Disabled, QPalette::Text), QColor(0, 0, 0));
  EXPECT_GT(listColour(QPalette::Disabled, QPalette::Base).lightness(), 180);

  for (int i = 0; i < 25; ++i) runTick();
  for (int r = 0; r < rows; ++r) {
    if (r == 1) continue;
    QProgressBar* bar = window->progressBar(r);
    ASSERT_TRUE(bar->isVisible()) << r;
    EXPECT_EQ(bar->value(), flow->view().progress[static_cast<std::size_t>(r)].value);
    // Each bar lies over the Progress column of its own row.
    const QRect cellRect = list().visualItemRect(list().item(r, 2));
    const QRect inWindow(list().viewport()->mapTo(window.get(), cellRect.topLeft()), cellRect.size());
    EXPECT_TRUE(inWindow.contains(bar->geometry().center())) << "row " << r;
    EXPECT_GE(inWindow.intersected(bar->geometry()).width(), bar->width() * 9 / 10) << "row " << r;
  }
  test::SaveGrab(*window, QStringLiteral("flashdock-run"));
  test::ExpectCaptionsWhole(*window, "flashdock-run");
  expectWhole("run", {0, 3});  // the percentage after the bars

  for (int i = 0; i < 400 && flow->runPhase() == RunPhase::Running; ++i) runTick();
  ASSERT_EQ(flow->runPhase(), RunPhase::Results);
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Back"));
  ASSERT_EQ(list().columnCount(), 3);
  EXPECT_EQ(list().horizontalHeaderItem(2)->text(), QStringLiteral("Operation result information"));
  EXPECT_EQ(cell(0, 1), QStringLiteral("E.P.V is successfully completed."));
  EXPECT_EQ(cell(0, 2), QStringLiteral("Successful end"));
  for (int r = 0; r < kMaxProgrammers; ++r) EXPECT_FALSE(window->progressBar(r)->isVisible());
  test::SaveGrab(*window, QStringLiteral("flashdock-result"));
  test::ExpectCaptionsWhole(*window, "flashdock-result");
  expectWhole("result", {0, 1, 2});

  window->startButton()->click();  // Back
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Start"));
  EXPECT_TRUE(list().isEnabled());
  EXPECT_EQ(list().columnCount(), 5);
  EXPECT_EQ(listColour(QPalette::Active, QPalette::Text), QColor(255, 255, 0));
  EXPECT_EQ(list().item(1, 0)->checkState(), Qt::Unchecked);  // as it was at Start
  EXPECT_EQ(list().item(0, 0)->checkState(), Qt::Checked);
  test::SaveGrab(*window, QStringLiteral("flashdock-back"));
  test::ExpectCaptionsWhole(*window, "flashdock-back");
  expectWhole("detection", {0, 1, 2, 3, 4});
}

TEST_F(MainDlgTest, LogAndHelpOpenTheirFilesOrSayWhy) {
  open(SimBench::fresh(0, clock));
  window->logButton()->click();
  window->helpButton()->click();
  ASSERT_EQ(opener.opened.size(), 2u);
  EXPECT_EQ(opener.opened[0], dir.path(kHistoryFileName));
  EXPECT_EQ(opener.opened[1], dir.path(kManualFileName));
  EXPECT_TRUE(prompter.messages().empty());

  opener.succeed = false;
  window->helpButton()->click();
  ASSERT_NE(prompter.last(), nullptr);
  EXPECT_EQ(prompter.last()->caption, "ERROR");
  EXPECT_EQ(prompter.last()->text, "Can not open user manual!");
}

TEST_F(MainDlgTest, EscapeOrCloseBoxReleasesEveryProgrammerAndEndsTheWindow) {
  const struct {
    const char* how;
    void (*close)(CMainDlg&);
  } ways[] = {
      {"Esc", [](CMainDlg& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
      {"close box", [](CMainDlg& w) { w.close(); }},
  };
  for (const auto& way : ways) {
    open(SimBench::fresh(2, clock));
    ASSERT_NE(flow->handles()[0], kNoHandle) << way.how;
    window->startButton()->click();  // also in the middle of a gang run
    ASSERT_EQ(flow->runPhase(), RunPhase::Running) << way.how;
    way.close(*window);
    EXPECT_FALSE(window->isVisible()) << way.how;
    EXPECT_EQ(window->result(), QDialog::Rejected) << way.how;
    EXPECT_FALSE(timers.running(kTimerDetection)) << way.how;
    EXPECT_FALSE(timers.running(kTimerGangRun)) << way.how;
    EXPECT_EQ(flow->handles()[0], kNoHandle) << way.how;
    EXPECT_EQ(flow->handles()[1], kNoHandle) << way.how;
    EXPECT_EQ(state.currentHandle, kNoHandle) << way.how;
    // Both devices can be opened again: no handle was left open.
    for (std::uint32_t index = 0; index < 2; ++index) {
      BridgeHandle handle = kNoHandle;
      EXPECT_EQ(bench->BridgeOpen(index, handle), kBridgeOk) << way.how << " " << index;
      bench->BridgeClose(handle);
    }
  }
}

TEST_F(MainDlgTest, ContextMenuOffersAboutAndBenchHotPlug) {
  open(SimBench::fresh(3, clock));
  std::unique_ptr<QMenu> menu(window->createContextMenu(nullptr));
  QStringList texts;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) texts << action->text();
  }
  EXPECT_EQ(texts, (QStringList{QStringLiteral("Set Up Ticked Like Selected"), QString::fromUtf8("Load File to Ticked\u2026"),
                                QStringLiteral("Tick failed rows only"), QString::fromUtf8("Check images against file\u2026"),
                                QStringLiteral("Reset counts"), QStringLiteral("&About Quorvel Flashdock"),
                                QStringLiteral("Attach a simulated programmer"),
                                QStringLiteral("Unplug simulated programmer 1"), QStringLiteral("Unplug simulated programmer 2"),
                                QStringLiteral("Unplug simulated programmer 3")}));
  menu->adjustSize();
  test::SaveGrab(*menu, QStringLiteral("main-context-menu"));

  menu->actions().back()->trigger();
  detectionTick();
  EXPECT_EQ(list().rowCount(), 2);
  EXPECT_EQ(window->statusText()->text(), QStringLiteral("2 programmers are detected"));

  // The programmer unplugged is offered again by its place on the bench, and comes back as
  // itself, not as a fresh one.
  std::unique_ptr<QMenu> again(window->createContextMenu(nullptr));
  QStringList plugs;
  for (QAction* action : again->actions()) {
    if (action->text().startsWith(QStringLiteral("Plug in"))) plugs << action->text();
  }
  EXPECT_EQ(plugs, QStringList{QStringLiteral("Plug in bench programmer 3 again")});
  again->adjustSize();
  test::SaveGrab(*again, QStringLiteral("main-context-menu-plug-in"));
  for (QAction* action : again->actions()) {
    if (action->text() == plugs.value(0)) action->trigger();
  }
  detectionTick();
  ASSERT_EQ(list().rowCount(), 3);
  EXPECT_TRUE(bench->deviceIndexOf(2).has_value());
  EXPECT_EQ(bench->programmerCount(), 3u);

  std::unique_ptr<QMenu> third(window->createContextMenu(nullptr));
  for (QAction* action : third->actions()) {
    EXPECT_FALSE(action->text().startsWith(QStringLiteral("Plug in"))) << "every programmer is plugged in";
    if (action->text() == QStringLiteral("Attach a simulated programmer")) action->trigger();
  }
  detectionTick();
  EXPECT_EQ(list().rowCount(), 4);
}

TEST_F(MainDlgTest, WithoutExtraEntriesTheMenuHoldsTheProgrammerEntriesAndAbout) {
  open(SimBench::fresh(0, clock));
  const struct {
    const char* what;
    CMainDlg::MenuEntries entries;
  } cases[] = {
      {"none set", {}},
      {"nothing added", [](QMenu&) {}},
  };
  for (const auto& c : cases) {
    CMainDlg plain(*flow);
    if (c.entries) plain.setExtraMenuEntries(c.entries);
    std::unique_ptr<QMenu> menu(plain.createContextMenu(nullptr));
    // The two entries for the ticked programmers (not offered with none detected), the
    // result view's (not offered without a run), the image check (not with an empty list),
    // Reset counts (offered while no run runs), one separator, About; no separator left
    // dangling after it.
    ASSERT_EQ(menu->actions().size(), 7) << c.what;
    EXPECT_FALSE(menu->actions()[0]->isEnabled()) << c.what;
    EXPECT_FALSE(menu->actions()[1]->isEnabled()) << c.what;
    EXPECT_FALSE(menu->actions()[2]->isEnabled()) << c.what;
    EXPECT_FALSE(menu->actions()[3]->isEnabled()) << c.what;
    EXPECT_TRUE(menu->actions()[4]->isEnabled()) << c.what;
    EXPECT_TRUE(menu->actions()[5]->isSeparator()) << c.what;
    EXPECT_EQ(menu->actions()[6]->text(), QStringLiteral("&About Quorvel Flashdock")) << c.what;
  }
}

// Counts the focus frames the list's items are drawn with.
class FocusFrameCounter final : public QProxyStyle {
public:
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_FrameFocusRect) ++frames;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
  mutable int frames = 0;
};

TEST_F(MainDlgTest, SelectedRowHasNoFocusFrame) {
  open(SimBench::fresh(3, clock));
  auto* style = new FocusFrameCounter;
  style->setParent(&list());
  list().setStyle(style);
  list().setCurrentCell(1, 0);
  ASSERT_EQ(list().currentIndex().row(), 1);
  const struct {
    const char* delegate;
    bool framed;
  } cases[] = {{"the window's", false}, {"a plain one", true}};
  QAbstractItemDelegate* own = list().itemDelegate();
  QStyledItemDelegate plain;
  for (const auto& c : cases) {
    list().setItemDelegate(c.framed ? &plain : own);
    style->frames = 0;
    QImage image(list().viewport()->size(), QImage::Format_ARGB32);
    QPainter painter(&image);
    // The current, selected cell as a list with the keyboard focus draws it.
    QStyleOptionViewItem option;
    option.initFrom(list().viewport());
    option.widget = &list();
    option.state |= QStyle::State_HasFocus | QStyle::State_Selected | QStyle::State_Active;
    const QModelIndex index = list().model()->index(1, 0);
    option.rect = list().visualRect(index);
    list().itemDelegate()->paint(&painter, option, index);
    EXPECT_EQ(style->frames > 0, c.framed) << c.delegate;
  }
  list().setItemDelegate(own);
}

TEST_F(MainDlgTest, ResultViewShowsFailedRowsRedAndTheOthersBlack) {
  openLine();
  ASSERT_EQ(list().rowCount(), 3);
  window->startButton()->click();
  for (int i = 0; i < 400 && flow->runPhase() == RunPhase::Running; ++i) runTick();
  ASSERT_EQ(flow->runPhase(), RunPhase::Results);
  EXPECT_EQ(cell(0, 1), QStringLiteral("E.P.V is successfully completed."));
  EXPECT_EQ(cell(1, 1), QStringLiteral("Break during connecting!"));
  EXPECT_EQ(cell(1, 2), QStringLiteral("No target detected"));
  EXPECT_EQ(listColour(QPalette::Disabled, QPalette::Text), QColor(0, 0, 0));

  // The flow marks the row that did not succeed; the window draws what the flow marks.
  ASSERT_TRUE(flow->view().rows[1].failed);
  for (int c = 0; c < list().columnCount(); ++c) {
    EXPECT_EQ(list().item(1, c)->foreground().color(), QColor(255, 0, 0)) << c;
    for (int r : {0, 2}) {
      // No colour of their own: the list's black.
      EXPECT_FALSE(list().item(r, c)->data(Qt::ForegroundRole).isValid()) << r << " " << c;
    }
  }
  test::SaveGrab(*window, QStringLiteral("flashdock-result-failed"));
  test::ExpectCaptionsWhole(*window, "flashdock-result-failed");

  // Selected, in the disabled list of the result view as in the run view's, the failed row
  // keeps its red on a light bar: never white on the selection colour like any other row.
  const auto paintSelected = [&](int row) {
    QImage image(list().viewport()->size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.initFrom(list().viewport());
    option.widget = &list();
    option.state |= QStyle::State_Selected;
    const QModelIndex index = list().model()->index(row, 1);
    option.rect = list().visualRect(index);
    list().itemDelegate()->paint(&painter, option, index);
    painter.end();
    return image.copy(option.rect);
  };
  const auto count = [](const QImage& image, auto is) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) n += is(image.pixelColor(x, y)) ? 1 : 0;
    }
    return n;
  };
  const auto red = [](const QColor& c) { return c.red() > 180 && c.green() < 100 && c.blue() < 100; };
  const auto white = [](const QColor& c) { return c.red() > 235 && c.green() > 235 && c.blue() > 235; };
  const QImage failedRow = paintSelected(1);
  EXPECT_GT(count(failedRow, red), 10);
  EXPECT_EQ(count(failedRow, white), 0);
  EXPECT_GT(failedRow.pixelColor(1, failedRow.height() / 2).lightness(), 180);
  // A row that did not fail is drawn as every selected row is: no red.
  EXPECT_EQ(count(paintSelected(0), red), 0);
  list().setCurrentCell(1, 0);
  test::SaveGrab(*window, QStringLiteral("flashdock-result-failed-selected"));

  // A row drawn again without the mark loses the red.
  window->render();
  for (int c = 0; c < list().columnCount(); ++c) {
    EXPECT_EQ(list().item(1, c)->data(Qt::ForegroundRole).isValid(), flow->view().rows[1].failed) << c;
  }
}

TEST_F(MainDlgTest, NamesFromTheProgrammerShowEveryByteAsLatin1) {
  auto simulated = SimBench::fresh(0, clock);
  simulated->attach(test::ReadyProgrammer("ZK40\xE9\xFF", "caf\xE9-\xFF", 1234));
  open(std::move(simulated));
  ASSERT_EQ(list().rowCount(), 1);
  EXPECT_EQ(cell(0, 1), QStringLiteral("ZK40\u00E9\u00FF      "));
  EXPECT_EQ(cell(0, 2), QStringLiteral("caf\u00E9-\u00FF          "));
  for (int c = 1; c <= 2; ++c) EXPECT_FALSE(cell(0, c).contains(QChar::ReplacementCharacter)) << c;
}

TEST(AboutDlgTest, ShowsIconVersionAndOk) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About Quorvel Flashdock"));
  EXPECT_EQ(about.versionLabel()->text(), QStringLiteral("TBX_V_200 Version 1.0"));
  EXPECT_EQ(about.okButton()->text(), QStringLiteral("&OK"));
  EXPECT_TRUE(about.okButton()->isDefault());
  EXPECT_FALSE(about.iconLabel()->pixmap().isNull());
  about.show();
  test::SaveGrab(about, QStringLiteral("flashdock-about"));
  test::ExpectCaptionsWhole(about, "flashdock-about");
  about.okButton()->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST_F(MainDlgTest, LoadFileToTickedRunsInTheListWithABarEachThenEachResult) {
  window.reset();
  flow.reset();
  bench = std::make_unique<SimBench>(clock);
  for (int i = 0; i < 3; ++i) bench->attach(test::ReadyProgrammer("ZK40F8C12", "old", 1000));
  SimFaults faults;
  faults.errors.push_back({'D', "page", 0x23, SimFaultAction::kError});
  bench->programmer(2).setFaults(faults);
  state.appDir = dir.dir();
  state.programDir = ExecutableDir(nullptr);
  RunStartupHeadless(state);
  flow = std::make_unique<MainFlow>(MainFlowPorts{state, *bench, pacer, prompter, timers, opener, {}, nullptr, &clock});
  window = std::make_unique<CMainDlg>(*flow);
  window->show();
  std::vector<std::string> lines;
  for (int n = 0; n < 30; ++n) lines.push_back(test::S2(0x4000 + 0x100 * static_cast<std::uint32_t>(n), test::Counting(16)));
  lines.push_back(test::kS9);
  dir.write("image.mot", test::SFile(lines));
  prompter.chooseOpenNext(dir.path("image.mot"));

  EXPECT_TRUE(flow->canLoadFileToTicked());
  flow->loadFileToTicked();
  ASSERT_EQ(flow->runPhase(), RunPhase::Loading);
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Cancel"));
  for (int tick = 0; tick < 8; ++tick) {
    clock.advanceUs(10000);
    flow->onTimer(kTimerMultiLoad);
  }
  QCoreApplication::processEvents();
  for (int r = 0; r < 2; ++r) EXPECT_TRUE(window->progressBar(r)->isVisible()) << r;
  // The failing programmer has dropped out already, in red, its bar gone.
  EXPECT_FALSE(window->progressBar(2)->isVisible());
  EXPECT_TRUE(flow->view().rows[2].failed);
  EXPECT_GT(window->progressBar(0)->value(), 0);
  test::SaveGrab(*window, QStringLiteral("main-multiload-running"));
  for (int tick = 0; tick < 200 && flow->runPhase() == RunPhase::Loading; ++tick) {
    clock.advanceUs(10000);
    flow->onTimer(kTimerMultiLoad);
  }
  ASSERT_EQ(flow->runPhase(), RunPhase::LoadResults);
  QCoreApplication::processEvents();
  test::SaveGrab(*window, QStringLiteral("main-multiload-result"));
  EXPECT_EQ(cell(0, 1), QStringLiteral("Load successfully"));
  EXPECT_EQ(cell(1, 1), QStringLiteral("Load successfully"));
  EXPECT_TRUE(cell(2, 1).contains(QStringLiteral("Can not write to the on-board external flash!")));
  EXPECT_TRUE(flow->view().rows[2].failed);
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Back"));
  EXPECT_EQ(bench->programmer(0).image().size(), 30u);
  flow->startButton();  // Back
  EXPECT_EQ(flow->runPhase(), RunPhase::Idle);
  EXPECT_EQ(flow->view().rows[0].cells[1].substr(0, 5), "image");
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

// The window on a production line: the counts under the list, the run key a foot switch
// types, operator mode.
class MainDlgLineTest : public MainDlgTest {
protected:
  void runToResults() {
    for (int i = 0; i < 400 && flow->runPhase() == RunPhase::Running; ++i) runTick();
    ASSERT_EQ(flow->runPhase(), RunPhase::Results);
  }
  // A window shortcut works in the active window only, as on the operator's desktop.
  void activate() {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  // A key pressed and let go where the keyboard focus is (or held: a repeat of its press).
  static void press(QWidget* where, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                    bool autoRepeat = false) {
    QTest::simulateEvent(where, true, key, modifiers, QString(), autoRepeat);
    if (!autoRepeat) QTest::simulateEvent(where, false, key, modifiers, QString(), false);
  }
  QWidget* focus() { return QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : window.get(); }
  QStringList menuTexts() {
    std::unique_ptr<QMenu> menu(window->createContextMenu(nullptr));
    QStringList texts;
    for (QAction* action : menu->actions()) {
      if (!action->isSeparator()) texts << action->text();
    }
    return texts;
  }
  // The entry of a fresh context menu, triggered when asked; whether it was offered.
  bool menuEntryEnabled(const char* text, bool trigger = false) {
    std::unique_ptr<QMenu> menu(window->createContextMenu(nullptr));
    for (QAction* action : menu->actions()) {
      if (action->text() != QString::fromUtf8(text)) continue;
      const bool enabled = action->isEnabled();
      if (trigger && enabled) action->trigger();
      return enabled;
    }
    ADD_FAILURE() << "no entry " << text;
    return false;
  }
  QString counts() { return window->countsLabel()->text(); }
};

TEST_F(MainDlgLineTest, TheCountsLineShowsEachRunsResultsUntilReset) {
  openLine();
  EXPECT_TRUE(window->countsLabel()->isVisible());
  EXPECT_EQ(counts(), QStringLiteral("Passed: 0  Failed: 0  Total: 0"));
  window->startButton()->click();
  EXPECT_FALSE(menuEntryEnabled("Reset counts")) << "not while a run runs";
  runToResults();
  EXPECT_EQ(counts(), QStringLiteral("Passed: 2  Failed: 1  Total: 3"));
  test::SaveGrab(*window, QStringLiteral("flashdock-counts"));
  test::ExpectCaptionsWhole(*window, "flashdock-counts");

  window->startButton()->click();  // Back
  window->startButton()->click();  // the next run adds to the counts
  runToResults();
  EXPECT_EQ(counts(), QStringLiteral("Passed: 4  Failed: 2  Total: 6"));
  EXPECT_TRUE(menuEntryEnabled("Reset counts", true));
  EXPECT_EQ(counts(), QStringLiteral("Passed: 0  Failed: 0  Total: 0"));
  window->startButton()->click();  // Back
  EXPECT_TRUE(menuEntryEnabled("Reset counts"));
}

TEST_F(MainDlgLineTest, F5StartsARunAndGoesBackWhereverTheFocusIsButNeverCancels) {
  openLine();
  activate();
  list().setFocus();
  press(focus(), Qt::Key_F5);
  ASSERT_EQ(flow->runPhase(), RunPhase::Running);
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Cancel"));
  runTick();
  // Pressed again, held, or bouncing: the run goes on.
  press(focus(), Qt::Key_F5);
  press(focus(), Qt::Key_F5, Qt::NoModifier, true);
  press(focus(), Qt::Key_F5);
  EXPECT_EQ(flow->runPhase(), RunPhase::Running);
  runToResults();
  EXPECT_TRUE(flow->results()[0].succeeded()) << "no Cancel reached the run";
  press(focus(), Qt::Key_F5, Qt::NoModifier, true);  // still held from before: no Back
  EXPECT_EQ(flow->runPhase(), RunPhase::Results);
  press(focus(), Qt::Key_F5);
  EXPECT_EQ(flow->runPhase(), RunPhase::Idle);
  EXPECT_EQ(window->startButton()->text(), QStringLiteral("&Start"));
  // A held key's repeats start nothing.
  press(focus(), Qt::Key_F5, Qt::NoModifier, true);
  EXPECT_EQ(flow->runPhase(), RunPhase::Idle);

  window->logButton()->setFocus();
  press(focus(), Qt::Key_F5);
  EXPECT_EQ(flow->runPhase(), RunPhase::Running);
  EXPECT_TRUE(prompter.messages().empty());
}

TEST_F(MainDlgLineTest, SpaceKeepsTickingTheRow) {
  openLine();
  activate();
  list().setFocus();
  list().setCurrentCell(1, 0);
  ASSERT_EQ(list().item(1, 0)->checkState(), Qt::Checked);
  press(focus(), Qt::Key_Space);
  EXPECT_EQ(list().item(1, 0)->checkState(), Qt::Unchecked);
  EXPECT_FALSE(flow->view().rows[1].checked);
  EXPECT_EQ(flow->runPhase(), RunPhase::Idle);
}

TEST_F(MainDlgLineTest, TheRunKeyDoesNothingWhileADialogIsOpenOverTheWindow) {
  openLine();
  activate();
  bool pressed = false;
  test::OnNextModal([&](QWidget* dialog) {
    press(dialog, Qt::Key_F5);
    pressed = true;
    static_cast<QDialog*>(dialog)->accept();
  });
  window->showAbout();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(flow->runPhase(), RunPhase::Idle);
}

TEST_F(MainDlgLineTest, TheRunKeyIsTheOneTheSettingsName) {
  const struct {
    const char* setting;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool f5Too;  // F5 is the key: the setting names none the window can take
  } cases[] = {
      {"F9", Qt::Key_F9, Qt::NoModifier, false},
      {" Ctrl+R ", Qt::Key_R, Qt::ControlModifier, false},
      {"", Qt::Key_F5, Qt::NoModifier, true},
      {"Banana", Qt::Key_F5, Qt::NoModifier, true},
      {"Space", Qt::Key_F5, Qt::NoModifier, true},
  };
  for (const auto& c : cases) {
    SettingsFile(dir.path(kSettingsFileName)).write(kSectionMainWindow, kKeyRunKey, c.setting);
    openLine();
    activate();
    list().setFocus();
    if (!c.f5Too) {
      press(focus(), Qt::Key_F5);
      EXPECT_EQ(flow->runPhase(), RunPhase::Idle) << c.setting << ": F5 is not the key";
    }
    press(focus(), c.key, c.modifiers);
    EXPECT_EQ(flow->runPhase(), RunPhase::Running) << c.setting;
    if (c.key == Qt::Key_F5 && std::string(c.setting) == "Space") {
      EXPECT_TRUE(flow->view().rows[0].checked) << "Space still ticks";
    }
  }
}

TEST(RunKeySequence, TakesOneKeyTheWindowDoesNotKeepForItself) {
  const struct {
    const char* text;
    QKeySequence key;
  } cases[] = {
      {"F5", QKeySequence(Qt::Key_F5)},
      {"F9", QKeySequence(Qt::Key_F9)},
      {"Ctrl+R", QKeySequence(Qt::CTRL | Qt::Key_R)},
      {"Shift+F2", QKeySequence(Qt::SHIFT | Qt::Key_F2)},
      {"Return", QKeySequence(Qt::Key_Return)},
      {"  F9  ", QKeySequence(Qt::Key_F9)},
      {"", QKeySequence(Qt::Key_F5)},
      {"   ", QKeySequence(Qt::Key_F5)},
      {"Banana", QKeySequence(Qt::Key_F5)},
      {"Ctrl+", QKeySequence(Qt::Key_F5)},
      {"F9, F10", QKeySequence(Qt::Key_F5)},
      {"Space", QKeySequence(Qt::Key_F5)},
      {"Esc", QKeySequence(Qt::Key_F5)},
      {"\xff\xfe", QKeySequence(Qt::Key_F5)},
  };
  for (const auto& c : cases) EXPECT_EQ(RunKeySequence(c.text), c.key) << '"' << c.text << '"';
}

TEST_F(MainDlgLineTest, OperatorModeShowsOnlyWhatALineOperatorNeedsUntilItIsLeft) {
  SettingsFile(dir.path(kSettingsFileName)).write(kSectionMainWindow, kKeyOperatorMode, "1");
  operatorMode = true;
  openLine();
  list().setCurrentCell(0, 0);
  EXPECT_FALSE(window->offlineButton()->isVisible());
  EXPECT_FALSE(window->onlineButton()->isVisible());
  for (QWidget* shown : std::initializer_list<QWidget*>{window->startButton(), window->logButton(),
                                                       window->countsLabel(), &list()}) {
    EXPECT_TRUE(shown->isVisible()) << shown->metaObject()->className();
  }
  const QStringList operatorEntries{QStringLiteral("Tick failed rows only"),
                                    QString::fromUtf8("Check images against file\u2026"), QStringLiteral("Reset counts"),
                                    QStringLiteral("Leave Operator Mode"), QStringLiteral("&About Quorvel Flashdock")};
  EXPECT_EQ(menuTexts().mid(0, operatorEntries.size()), operatorEntries);
  test::SaveGrab(*window, QStringLiteral("flashdock-operator"));
  test::ExpectCaptionsWhole(*window, "flashdock-operator");

  window->startButton()->click();
  runToResults();
  EXPECT_EQ(counts(), QStringLiteral("Passed: 2  Failed: 1  Total: 3"));
  test::SaveGrab(*window, QStringLiteral("flashdock-operator-result"));
  window->startButton()->click();  // Back

  EXPECT_TRUE(menuEntryEnabled("Leave Operator Mode", true));
  EXPECT_TRUE(window->offlineButton()->isVisible());
  EXPECT_TRUE(window->onlineButton()->isVisible());
  const QStringList texts = menuTexts();
  EXPECT_TRUE(texts.contains(QStringLiteral("Set Up Ticked Like Selected")));
  EXPECT_TRUE(texts.contains(QString::fromUtf8("Load File to Ticked\u2026")));
  EXPECT_FALSE(texts.contains(QStringLiteral("Leave Operator Mode")));
  EXPECT_EQ(counts(), QStringLiteral("Passed: 2  Failed: 1  Total: 3")) << "the counts stay";
  // Left for this session only.
  EXPECT_EQ(SettingsFile(dir.path(kSettingsFileName)).read(kSectionMainWindow, kKeyOperatorMode), "1");
}

}  // namespace
}  // namespace fd
