// The tool that takes the manual's pictures, run as the build runs it: every picture the
// manual names is written as a real image of a window, and a bad command line is refused.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fd {
namespace {

struct ToolRun {
  int exitCode = -1;
  QString errors;
};

ToolRun RunShotsTool(const QStringList& arguments) {
  QProcess tool;
  tool.setProgram(QStringLiteral(FLASHDOCK_SHOTS));
  tool.setArguments(arguments);
  tool.start();
  const bool finished = tool.waitForFinished(120000);
  EXPECT_TRUE(finished) << "the tool did not finish";
  EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << "the tool crashed";
  return {finished ? tool.exitCode() : -1, QString::fromLocal8Bit(tool.readAllStandardError())};
}

TEST(ShotsTool, WritesEveryPictureTheManualNames) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString out = dir.filePath(QStringLiteral("manual/shots"));  // made by the tool
  const ToolRun run = RunShotsTool({out});
  ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();

  // The names the manual's pages refer to.
  const QStringList expected = {
      QStringLiteral("main-window.png"),     QStringLiteral("main-gang-run.png"),
      QStringLiteral("main-gang-results.png"), QStringLiteral("about.png"),
      QStringLiteral("first-run.png"),       QStringLiteral("single-operation.png"),
      QStringLiteral("id-code.png"),         QStringLiteral("power.png"),
      QStringLiteral("loading.png"),         QStringLiteral("erase.png"),
      QStringLiteral("address.png"),         QStringLiteral("read.png"),
      QStringLiteral("top-address.png"),     QStringLiteral("firmware-update.png"),
      QStringLiteral("message-box.png"),
  };
  const QStringList written = QDir(out).entryList(QDir::Files);
  EXPECT_EQ(QSet<QString>(written.begin(), written.end()), QSet<QString>(expected.begin(), expected.end()))
      << "exactly the pictures, nothing half-written left beside them";
  for (const QString& name : expected) {
    SCOPED_TRACE(name.toStdString());
    const QImage picture(QDir(out).filePath(name));
    ASSERT_FALSE(picture.isNull()) << "not a readable image";
    // A window's size: a message box at the least, the main window at the most.
    EXPECT_GE(picture.width(), 100);
    EXPECT_GE(picture.height(), 40);
    EXPECT_LE(picture.width(), 1200);
    EXPECT_LE(picture.height(), 900);
    // Something is drawn: captions, frames and controls in more than a handful of shades.
    QSet<QRgb> shades;
    for (int y = 0; y < picture.height() && shades.size() <= 8; y += 2) {
      for (int x = 0; x < picture.width(); x += 2) shades.insert(picture.pixel(x, y));
    }
    EXPECT_GT(shades.size(), 8);
  }
}

TEST(ShotsTool, RefusesABadCommandLineAndAFolderItCannotMake) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QFile file(dir.filePath(QStringLiteral("a-file")));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  const struct {
    const char* what;
    QStringList arguments;
    int exitCode;
  } cases[] = {
      {"no folder", {}, 2},
      {"an empty folder name", {QString()}, 2},
      {"two folders", {dir.filePath(QStringLiteral("x")), dir.filePath(QStringLiteral("y"))}, 2},
      {"an option", {QStringLiteral("--out")}, 2},
      {"a file where the folder goes", {file.fileName()}, 1},
  };
  for (const auto& c : cases) {
    const ToolRun run = RunShotsTool(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what;
    EXPECT_FALSE(run.errors.isEmpty()) << c.what << ": said nothing";
  }
  // Nothing was made for a refused command line.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("a-file")});
}

}  // namespace
}  // namespace fd
