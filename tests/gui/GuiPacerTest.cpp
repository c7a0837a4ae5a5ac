// The window never freezes: a protocol wait is spent in short slices with the window's
// events handled between them (but not the user's input), a long wait shows the busy
// cursor, and no flow timer tick runs inside a wait.
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "GuiTestSupport.h"
#include "flows/main/MainFlow.h"
#include "gui/app/GuiPacer.h"
#include "gui/app/QtTimers.h"
#include "gui/main/CMainDlg.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"
#include "support/RecordingOpener.h"
#include "support/RecordingPrompter.h"
#include "support/TempDir.h"

namespace fd {
namespace {

// Keeps every spin it is asked for; time is virtual.
class RecordingPacer final : public Pacer {
public:
  void spin(std::uint64_t iterations) override { spins.push_back(iterations); }
  std::vector<std::uint64_t> spins;
};

bool WaitCursorShown() {
  const QCursor* cursor = QGuiApplication::overrideCursor();
  return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
}

// Runs the event loop's pending work, as the window's own loop would once an operation
// has returned.
void SettleEvents() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

TEST(GuiPacerTest, WaitsInShortSlicesAndLetsOnlyNonInputEventsThrough) {
  const struct {
    std::uint64_t iterations;
    std::vector<std::uint64_t> slices;
    bool busyCursor;
  } cases[] = {
      {kPollSpin, {kPollSpin}, false},  // a poll: one slice, no cursor
      {kResetSpin, std::vector<std::uint64_t>(10, kGuiSliceSpin), true},  // the reset pulse
      {kGuiSliceSpin * 2 + 7, {kGuiSliceSpin, kGuiSliceSpin, 7}, false},
      {0, {0}, false},
  };
  for (const auto& c : cases) {
    RecordingPacer inner;
    GuiPacer pacer(inner);
    std::vector<QEventLoop::ProcessEventsFlags> pumped;
    bool waitingInPump = true;
    pacer.setEventPump([&](QEventLoop::ProcessEventsFlags flags) {
      pumped.push_back(flags);
      waitingInPump = waitingInPump && pacer.waiting();
    });
    EXPECT_FALSE(pacer.waiting());
    pacer.spin(c.iterations);
    EXPECT_FALSE(pacer.waiting());
    EXPECT_EQ(inner.spins, c.slices) << c.iterations;
    // Events between every two slices, and after the last; user input stays queued until
    // the operation is over.
    ASSERT_EQ(pumped.size(), c.slices.size()) << c.iterations;
    for (const auto flags : pumped) EXPECT_TRUE(flags.testFlag(QEventLoop::ExcludeUserInputEvents));
    EXPECT_TRUE(waitingInPump);
    EXPECT_EQ(pacer.busyCursorShown(), c.busyCursor) << c.iterations;
    EXPECT_EQ(WaitCursorShown(), c.busyCursor) << c.iterations;
    // The cursor comes down once the event loop runs outside a wait.
    SettleEvents();
    EXPECT_FALSE(pacer.busyCursorShown());
    EXPECT_FALSE(WaitCursorShown());
  }
}

TEST(GuiPacerTest, BusyCursorSpansTheManySmallWaitsOfOneOperation) {
  RecordingPacer inner;
  GuiPacer pacer(inner);
  pacer.setEventPump([](QEventLoop::ProcessEventsFlags) {});
  // Fifty polls of 1 ms in a row, as a busy programmer is polled after its reset: the
  // cursor shows once they add up to more than a moment and stays up between them.
  std::vector<bool> shown;
  for (int i = 0; i < 60; ++i) {
    pacer.spin(kPollSpin);
    shown.push_back(WaitCursorShown());
  }
  EXPECT_FALSE(shown[kBusyCursorSpin / kPollSpin - 2]);
  EXPECT_TRUE(shown[kBusyCursorSpin / kPollSpin - 1]);
  EXPECT_TRUE(shown.back());
  SettleEvents();
  EXPECT_FALSE(WaitCursorShown());

  // The next operation counts afresh.
  pacer.spin(kPollSpin);
  EXPECT_FALSE(WaitCursorShown());
  SettleEvents();
}

TEST(GuiPacerTest, AWaitInsideTheEventsOfAWaitDoesNotPumpAgain) {
  RecordingPacer inner;
  GuiPacer pacer(inner);
  int pumps = 0;
  pacer.setEventPump([&](QEventLoop::ProcessEventsFlags) {
    if (++pumps == 1) pacer.spin(kResetSpin);
  });
  pacer.spin(kPollSpin);
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(inner.spins, (std::vector<std::uint64_t>{kPollSpin, kResetSpin}));
  SettleEvents();
}

TEST(QtTimersWaitTest, TickDueDuringAWaitRunsOnceAfterItNeverInside) {
  RecordingPacer inner;
  GuiPacer pacer(inner);
  QtTimers timers;
  timers.setPacer(&pacer);
  std::vector<bool> ranInsideWait;
  timers.setHandler([&](int id) {
    ranInsideWait.push_back(pacer.waiting());
    timers.stop(id);
  });
  // Due at once: it falls due in the wait's first slice, and in every slice after.
  timers.start(kTimerSubWindow, 0);
  bool heldInWait = false;
  pacer.setEventPump([&](QEventLoop::ProcessEventsFlags flags) {
    QCoreApplication::processEvents(flags);
    heldInWait = heldInWait || timers.isHeld(kTimerSubWindow);
  });
  pacer.spin(kResetSpin);
  EXPECT_TRUE(heldInWait);
  EXPECT_TRUE(ranInsideWait.empty());
  SettleEvents();
  EXPECT_EQ(ranInsideWait, std::vector<bool>{false});
  EXPECT_FALSE(timers.isHeld(kTimerSubWindow));
}

TEST(QtTimersWaitTest, StoppedOrRestartedTimerLosesItsHeldTick) {
  for (const bool restart : {false, true}) {
    RecordingPacer inner;
    GuiPacer pacer(inner);
    QtTimers timers;
    timers.setPacer(&pacer);
    int ticks = 0;
    timers.setHandler([&](int id) {
      ++ticks;
      timers.stop(id);
    });
    timers.start(kTimerGangRun, 0);
    pacer.setEventPump([&](QEventLoop::ProcessEventsFlags flags) { QCoreApplication::processEvents(flags); });
    pacer.spin(kPollSpin);
    ASSERT_TRUE(timers.isHeld(kTimerGangRun));
    // The operation that waited stops its timer, or starts it again for a later tick.
    if (restart) {
      timers.start(kTimerGangRun, 60000);
    } else {
      timers.stop(kTimerGangRun);
    }
    EXPECT_FALSE(timers.isHeld(kTimerGangRun));
    SettleEvents();
    EXPECT_EQ(ticks, 0) << restart;
  }
}

// The main window on a bench whose programmer stays busy after its reset: the window's
// opening detects it, waits out the reset pulse and then polls 500 times before it gives
// up. The opening is no timer tick, so only the wait itself can hold the ticks back.
class WaitingWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    state.appDir = dir.dir();
    state.idCode = kDefaultIdCode;
    timers.setPacer(&pacer);
    flow = std::make_unique<MainFlow>(MainFlowPorts{state, *bench, pacer, prompter, timers, opener, {}});
    timers.setHandler([this](int id) {
      ticks.push_back({id, pacer.waiting()});
      flow->onTimer(id);
    });
    window = std::make_unique<CMainDlg>(*flow);
    window->setPacer(&pacer);
    window->installEventFilter(&paints);
  }
  void TearDown() override {
    timers.stopAll();
    window.reset();
    SettleEvents();
  }

  void attachStuckProgrammer() {
    SimProgrammerSetup stuck;
    stuck.faults.busyAfterReset = true;
    bench->attach(stuck);
  }

  struct Tick {
    int id;
    bool insideWait;
  };
  // Counts the paints that happen while a wait runs.
  struct PaintCounter final : QObject {
    explicit PaintCounter(GuiPacer& p) : pacer(p) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (event->type() == QEvent::Paint && pacer.waiting()) ++inWait;
      return QObject::eventFilter(watched, event);
    }
    GuiPacer& pacer;
    int inWait = 0;
  };

  test::TempDir dir;
  AppState state;
  VirtualClock clock;
  ClockPacer clockPacer{clock};
  GuiPacer pacer{clockPacer};
  test::RecordingPrompter prompter;
  QtTimers timers;
  test::RecordingOpener opener;
  std::unique_ptr<SimBench> bench = SimBench::fresh(0, clock);
  std::unique_ptr<MainFlow> flow;
  std::unique_ptr<CMainDlg> window;
  std::vector<Tick> ticks;
  PaintCounter paints{pacer};
};

TEST_F(WaitingWindowTest, WindowPaintsDuringTheWaitAndNoTickRunsInsideIt) {
  attachStuckProgrammer();

  // What the window does meanwhile: a timer of the view asks for a repaint each time it
  // runs, and looks at the cursor and at the flow's timers.
  int viewTimerInWait = 0;
  bool cursorInWait = false, tickHeld = false;
  QTimer viewTimer;
  viewTimer.setInterval(0);
  QObject::connect(&viewTimer, &QTimer::timeout, [&] {
    if (!pacer.waiting()) return;
    ++viewTimerInWait;
    window->update();
    cursorInWait = cursorInWait || WaitCursorShown();
    tickHeld = tickHeld || timers.isHeld(kTimerGangRun);
  });
  viewTimer.start();
  // A flow timer due at once stands for a tick that falls due in the middle of the wait
  // (the gang poll does nothing while no run is on).
  timers.start(kTimerGangRun, 0);

  window->show();  // opening: the detection waits for the stuck programmer
  viewTimer.stop();

  ASSERT_EQ(prompter.texts(), std::vector<std::string>{"Can not reset the programmer!"});
  EXPECT_GE(clock.nowUs(), 599000u);  // the pulse and the 1 ms pauses between 500 polls
  EXPECT_GT(viewTimerInWait, 100);
  EXPECT_GT(paints.inWait, 0);
  EXPECT_TRUE(cursorInWait);
  EXPECT_TRUE(tickHeld);
  EXPECT_TRUE(ticks.empty());

  // Once the window's opening is over and the event loop runs, the held tick runs, and
  // the cursor is normal again.
  SettleEvents();
  ASSERT_FALSE(ticks.empty());
  for (const Tick& t : ticks) EXPECT_FALSE(t.insideWait) << "tick " << t.id << " ran inside a wait";
  EXPECT_FALSE(WaitCursorShown());
  EXPECT_EQ(window->statusText()->text(), QStringLiteral("No programmer is detected"));
  EXPECT_TRUE(timers.isActive(kTimerDetection));
  EXPECT_EQ(timers.period(kTimerDetection), 200);
}

TEST_F(WaitingWindowTest, CloseRequestDuringTheWaitIsCarriedOutAfterIt) {
  attachStuckProgrammer();
  // The desktop's close box sends no user input: it reaches the window during the wait.
  bool asked = false;
  QTimer closeBox;
  closeBox.setInterval(0);
  QObject::connect(&closeBox, &QTimer::timeout, [&] {
    if (!pacer.waiting() || asked) return;
    asked = true;
    window->close();
  });
  closeBox.start();
  window->show();
  closeBox.stop();
  ASSERT_TRUE(asked);
  // The detection ran to its end undisturbed, and the window is still there.
  EXPECT_EQ(prompter.texts(), std::vector<std::string>{"Can not reset the programmer!"});
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(timers.isActive(kTimerDetection));

  SettleEvents();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_FALSE(timers.isActive(kTimerDetection));
}

}  // namespace
}  // namespace fd
