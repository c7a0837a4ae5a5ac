// The Qt side of the ports: timers, message boxes, file filters, opening documents, and
// the desktop program's command line.
#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "GuiTestSupport.h"
#include "flows/load/ChooseImageFile.h"
#include "gui/app/GuiArgs.h"
#include "gui/app/QtDocumentOpener.h"
#include "gui/app/QtPrompter.h"
#include "gui/app/QtTimers.h"

namespace fd {
namespace {

TEST(QtTimersTest, StartRestartsAndStopStops) {
  QtTimers timers;
  EXPECT_FALSE(timers.isActive(kTimerDetection));
  EXPECT_EQ(timers.period(kTimerDetection), -1);
  timers.start(kTimerDetection, 200);
  timers.start(kTimerGangRun, 100);
  EXPECT_TRUE(timers.isActive(kTimerDetection));
  EXPECT_EQ(timers.period(kTimerDetection), 200);
  // Starting a running timer again restarts it with the new period.
  timers.start(kTimerDetection, 10);
  EXPECT_EQ(timers.period(kTimerDetection), 10);
  timers.stop(kTimerDetection);
  EXPECT_FALSE(timers.isActive(kTimerDetection));
  EXPECT_TRUE(timers.isActive(kTimerGangRun));
  timers.stop(kTimerSubWindow);  // never started: harmless
  timers.stopAll();
  EXPECT_FALSE(timers.isActive(kTimerGangRun));
}

TEST(QtTimersTest, DueTimerCallsHandlerWithItsId) {
  QtTimers timers;
  std::vector<int> ticks;
  timers.setHandler([&](int id) {
    ticks.push_back(id);
    timers.stop(id);
  });
  timers.start(kTimerSubWindow, 0);
  for (int i = 0; i < 100 && ticks.empty(); ++i) QCoreApplication::processEvents();
  EXPECT_EQ(ticks, std::vector<int>{kTimerSubWindow});
}

TEST(QtTimersTest, TicksNeverNest) {
  // A tick that opens a message box runs an event loop; a timeout delivered there must
  // not start a second tick inside the first.
  QtTimers timers;
  int depth = 0, maxDepth = 0, calls = 0;
  timers.setHandler([&](int id) {
    ++calls;
    maxDepth = std::max(maxDepth, ++depth);
    if (calls == 1) {
      timers.fire(id);
      timers.fire(kTimerGangRun);
    }
    --depth;
  });
  timers.fire(kTimerDetection);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(timers.isHeld(kTimerDetection));
  EXPECT_TRUE(timers.isHeld(kTimerGangRun));
  timers.fire(kTimerDetection);  // the next tick runs normally, and is the one held
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(timers.isHeld(kTimerDetection));
  // The tick that fell due inside the first runs from the event loop, once, on its own.
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(maxDepth, 1);
  EXPECT_FALSE(timers.isHeld(kTimerGangRun));
}

TEST(QtFileFilterTest, Forms) {
  const struct {
    const char* given;
    const char* expected;
  } cases[] = {
      {"S-record files (*.mot)", "S-record files (*.mot)"},
      {"S-record files (*.mot);;All files (*)", "S-record files (*.mot);;All files (*)"},
      {"S-record files|*.mot;*.s28|All files|*.*", "S-record files (*.mot *.s28);;All files (*.*)"},
      {"Motorola (*.mot)|*.mot|", "Motorola (*.mot)"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(QtFileFilter(c.given).toStdString(), c.expected) << c.given;
}

// Answers the next message box with `button` and keeps what it showed.
struct SeenBox {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

void AnswerNextBox(SeenBox& seen, std::function<void(QMessageBox*)> answer) {
  test::OnNextModal([&seen, answer = std::move(answer)](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    answer(box);
  });
}

TEST(QtPrompterTest, BoxShowsCaptionIconTextAndButtons) {
  QtPrompter prompter;
  const struct {
    MsgIcon icon;
    MsgButtons buttons;
    QMessageBox::StandardButton press;
    QMessageBox::Icon shownIcon;
    QMessageBox::StandardButtons shownButtons;
    MsgAnswer answer;
  } cases[] = {
      {MsgIcon::Error, MsgButtons::Ok, QMessageBox::Ok, QMessageBox::Critical, QMessageBox::Ok, MsgAnswer::Ok},
      {MsgIcon::None, MsgButtons::Ok, QMessageBox::Ok, QMessageBox::NoIcon, QMessageBox::Ok, MsgAnswer::Ok},
      {MsgIcon::Warning, MsgButtons::YesNo, QMessageBox::Yes, QMessageBox::Warning,
       QMessageBox::Yes | QMessageBox::No, MsgAnswer::Yes},
      {MsgIcon::Question, MsgButtons::YesNo, QMessageBox::No, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No, MsgAnswer::No},
      {MsgIcon::Information, MsgButtons::YesNoCancel, QMessageBox::Cancel, QMessageBox::Information,
       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, MsgAnswer::Cancel},
  };
  for (const auto& c : cases) {
    SeenBox seen;
    AnswerNextBox(seen, [press = c.press](QMessageBox* box) { box->button(press)->click(); });
    EXPECT_EQ(prompter.message("WARNING", c.icon, "Some text.", c.buttons), c.answer);
    EXPECT_EQ(seen.caption, QStringLiteral("WARNING"));
    EXPECT_EQ(seen.text, QStringLiteral("Some text."));
    EXPECT_EQ(seen.icon, c.shownIcon);
    EXPECT_EQ(seen.buttons, c.shownButtons);
  }
}

TEST(QtPrompterTest, ClosingAQuestionNeverAnswersYes) {
  QtPrompter prompter;
  const struct {
    MsgButtons buttons;
    MsgAnswer answer;
  } cases[] = {{MsgButtons::YesNo, MsgAnswer::No}, {MsgButtons::YesNoCancel, MsgAnswer::Cancel},
               {MsgButtons::Ok, MsgAnswer::Ok}};
  for (const auto& c : cases) {
    SeenBox seen;
    AnswerNextBox(seen, [](QMessageBox* box) { box->reject(); });
    EXPECT_EQ(prompter.message("INFO", MsgIcon::Question, "Go on?", c.buttons), c.answer);
  }
}

TEST(QtPrompterTest, TheBaseAddressQuestionGivesTheTypedTextOrNothing) {
  QtPrompter prompter;
  QString title, label;
  test::OnNextModal([&](QWidget* modal) {
    auto* dialog = qobject_cast<QInputDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    label = dialog->labelText();
    dialog->setTextValue(QStringLiteral("0x4000"));
    test::SaveGrab(*dialog, QStringLiteral("base_address_question"));
    dialog->accept();
  });
  EXPECT_EQ(prompter.askText(kBaseAddressTitle, kBaseAddressPrompt), std::optional<std::string>("0x4000"));
  EXPECT_EQ(title.toStdString(), kBaseAddressTitle);
  EXPECT_EQ(label.toStdString(), kBaseAddressPrompt);

  test::OnNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
  EXPECT_EQ(prompter.askText(kBaseAddressTitle, kBaseAddressPrompt), std::nullopt);
}

class QtDocumentOpenerTest : public ::testing::Test {
protected:
  QTemporaryDir dir;
  std::vector<QUrl> launched;
  bool launchResult = true;
  QtDocumentOpener opener{[this](const QUrl& url) {
    launched.push_back(url);
    return launchResult;
  }};

  std::string makeFile(const QString& name) {
    const QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("x");
    return path.toStdString();
  }
};

TEST_F(QtDocumentOpenerTest, ExistingFileGoesToTheDesktopAsFileUrl) {
  const std::string path = makeFile(QStringLiteral("ZK40 Family Flashdock User's Manual.pdf"));
  EXPECT_TRUE(opener.openDocument(path));
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_TRUE(launched[0].isLocalFile());
  EXPECT_EQ(launched[0].toLocalFile().toStdString(), path);
}

TEST_F(QtDocumentOpenerTest, FailsWithoutLaunchingForMissingFileOrFolder) {
  EXPECT_FALSE(opener.openDocument(dir.filePath(QStringLiteral("missing.pdf")).toStdString()));
  EXPECT_FALSE(opener.openDocument(dir.path().toStdString()));
  EXPECT_FALSE(opener.openDocument(""));
  EXPECT_TRUE(launched.empty());
}

TEST_F(QtDocumentOpenerTest, FailsWhenNoViewerStarts) {
  launchResult = false;
  EXPECT_FALSE(opener.openDocument(makeFile(QStringLiteral("log.log"))));
  EXPECT_EQ(launched.size(), 1u);
}

TEST(GuiArgsTest, Options) {
  const struct {
    QStringList args;
    GuiArgs::Outcome outcome;
    const char* simulate;
    const char* appDir;
    const char* trace;
    const char* messagePart;
  } cases[] = {
      {{}, GuiArgs::Outcome::Run, "", "", "", ""},
      {{"--simulate", "3"}, GuiArgs::Outcome::Run, "3", "", "", ""},
      {{"--simulate=demo", "--app-dir", "/tmp/a b", "--trace", "t.txt"}, GuiArgs::Outcome::Run, "demo", "/tmp/a b",
       "t.txt", ""},
      {{"-simulate", "bench.json"}, GuiArgs::Outcome::Run, "bench.json", "", "", ""},
      {{"--help"}, GuiArgs::Outcome::Help, "", "", "", "--simulate"},
      {{"--simulate"}, GuiArgs::Outcome::Error, "", "", "", "simulate"},
      {{"--frobnicate"}, GuiArgs::Outcome::Error, "", "", "", "frobnicate"},
      {{"stray"}, GuiArgs::Outcome::Error, "", "", "", "stray"},
      {{"--app-dir", ""}, GuiArgs::Outcome::Error, "", "", "", "app-dir"},
      {{"--trace", "a", "--trace", "b"}, GuiArgs::Outcome::Error, "", "", "", "more than once"},
      {{"--port", ""}, GuiArgs::Outcome::Error, "", "", "", "--port needs a value"},
      {{"--usb-id", "2f3a"}, GuiArgs::Outcome::Error, "", "", "", "VID:PID"},
      {{"--simulate", "2", "--port", "/dev/ttyUSB0"}, GuiArgs::Outcome::Error, "", "", "", "simulated bench"},
      {{"--station", ""}, GuiArgs::Outcome::Error, "", "", "", "station"},
      {{"--station", "  "}, GuiArgs::Outcome::Error, "", "", "", "--station takes a name"},
      {{"--station", "a", "--station", "b"}, GuiArgs::Outcome::Error, "", "", "", "more than once"},
      {{"--operator=1"}, GuiArgs::Outcome::Error, "", "", "", "operator"},
      {{"--operator", "yes"}, GuiArgs::Outcome::Error, "", "", "", "yes"},
      {{"--operators"}, GuiArgs::Outcome::Error, "", "", "", "operators"},
  };
  for (const auto& c : cases) {
    const GuiArgs parsed = ParseGuiArgs(QStringList{QStringLiteral("flashdock")} + c.args);
    const std::string label = c.args.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(parsed.outcome, c.outcome) << label;
    EXPECT_TRUE(parsed.message.contains(QString::fromLatin1(c.messagePart))) << label << ": " << parsed.message.toStdString();
    if (c.outcome != GuiArgs::Outcome::Run) continue;
    EXPECT_EQ(parsed.options.simulate, c.simulate) << label;
    EXPECT_EQ(parsed.options.appDir, c.appDir) << label;
    EXPECT_EQ(parsed.options.tracePath, c.trace) << label;
  }

  // Programmers picked by what they are, rows in the order given, as the command line does.
  const GuiArgs picked = ParseGuiArgs({"flashdock", "--port", "/dev/ttyUSB3", "--usb-serial", "A1B2", "--port",
                                       "/dev/ttyUSB1", "--usb-id", "1234:abcd"});
  ASSERT_EQ(picked.outcome, GuiArgs::Outcome::Run) << picked.message.toStdString();
  ASSERT_EQ(picked.options.choices.size(), 3u);
  EXPECT_EQ(picked.options.choices[0].value, "/dev/ttyUSB3");
  EXPECT_EQ(picked.options.choices[1].kind, PortChoice::Kind::UsbSerial);
  EXPECT_EQ(picked.options.choices[2].value, "/dev/ttyUSB1");
  EXPECT_EQ(picked.options.usbIds, (std::vector<UsbId>{{0x1234, 0xabcd}}));

  const GuiArgs station = ParseGuiArgs({"flashdock", "--station", "line 3"});
  ASSERT_EQ(station.outcome, GuiArgs::Outcome::Run) << station.message.toStdString();
  EXPECT_EQ(station.options.station, "line 3");
  EXPECT_FALSE(station.operatorMode);

  // --operator takes no value; the usage and the help name it.
  const GuiArgs operatorMode = ParseGuiArgs({"flashdock", "--simulate", "demo", "--operator"});
  ASSERT_EQ(operatorMode.outcome, GuiArgs::Outcome::Run) << operatorMode.message.toStdString();
  EXPECT_TRUE(operatorMode.operatorMode);
  EXPECT_EQ(operatorMode.options.simulate, "demo");
  EXPECT_TRUE(ParseGuiArgs({"flashdock", "--help"}).message.contains(QStringLiteral("--operator")));
  EXPECT_TRUE(ParseGuiArgs({"flashdock", "--bad"}).message.contains(QStringLiteral("[--operator]")));
}

}  // namespace
}  // namespace fd
