// A desktop start that cannot go on says why in a message box as well as on stderr, and
// ends with the usage exit code.
#include <QMessageBox>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "gui/app/GuiArgs.h"
#include "gui/app/StartError.h"

namespace fd {
namespace {

TEST(StartErrorTest, UsageErrorReachesAMessageBoxAndExitsTwo) {
  const GuiArgs args = ParseGuiArgs({QStringLiteral("flashdock"), QStringLiteral("--frobnicate")});
  ASSERT_EQ(args.outcome, GuiArgs::Outcome::Error);
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool shown = false;
  QPointer<QTimer> watch = test::OnNextModal(
      [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = true;
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->accept();
      },
      &QMessageBox::staticMetaObject);
  // The real box, as a visible platform shows it.
  EXPECT_EQ(EarlyExit(args, true), kExitUsage);
  ASSERT_TRUE(shown);
  EXPECT_EQ(caption, QStringLiteral("ERROR"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_TRUE(text.contains(QStringLiteral("frobnicate"))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Usage: flashdock"))) << text.toStdString();
  delete watch;
}

TEST(StartErrorTest, BoxOnlyWhereItCanBeSeen) {
  const struct {
    GuiArgs::Outcome outcome;
    bool showBox;
    std::optional<int> exit;
    int boxes;
  } cases[] = {
      {GuiArgs::Outcome::Error, true, kExitUsage, 1},
      {GuiArgs::Outcome::Error, false, kExitUsage, 0},  // stderr alone
      {GuiArgs::Outcome::Help, true, 0, 0},
      {GuiArgs::Outcome::Run, true, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    GuiArgs args;
    args.outcome = c.outcome;
    args.message = QStringLiteral("Unknown option 'x'.");
    int boxes = 0;
    EXPECT_EQ(EarlyExit(args, c.showBox, [&](const QString& text) {
                ++boxes;
                EXPECT_EQ(text, args.message);
              }),
              c.exit);
    EXPECT_EQ(boxes, c.boxes);
  }
  for (const char* platform : {"xcb", "wayland", "windows", "cocoa", "eglfs"}) {
    EXPECT_TRUE(StartErrorBoxVisible(QString::fromLatin1(platform))) << platform;
  }
  // Nobody could close a box there; the start would hang.
  for (const char* platform : {"offscreen", "minimal"}) {
    EXPECT_FALSE(StartErrorBoxVisible(QString::fromLatin1(platform))) << platform;
  }
}

}  // namespace
}  // namespace fd
