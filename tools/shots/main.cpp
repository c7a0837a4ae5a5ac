// flashdock-shots OUTDIR: pictures of every window for the user's manual, as PNG files in
// OUTDIR. Taken offscreen on the simulated demo bench in virtual time, in a temporary app
// folder of the tool's own, at a fixed date, so the same sources give the same pictures.
// Exit 0 when every picture was taken, 1 when one could not be (each said on stderr), 2 for
// a usage error.
#include <QApplication>
#include <QDir>
#include <QStyleHints>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Scenes.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// Qt's own notes about the offscreen platform (no runtime folder, no window manager to
// pass size hints to) say nothing about the pictures; everything else it says is passed on.
QtMessageHandler gQtNotes = nullptr;

void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
      message == QLatin1String("This plugin does not support propagateSizeHints()")) {
    return;
  }
  if (gQtNotes != nullptr) {
    gQtNotes(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
  }
}

int Usage() {
  std::fprintf(stderr, "usage: flashdock-shots OUTDIR\n"
                       "Writes a PNG picture of every window of the desktop program into OUTDIR.\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '\0' || argv[1][0] == '-') return Usage();
  const std::string outArg = argv[1];
  // No screen is needed, nor used when there is one, unless asked for.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  gQtNotes = qInstallMessageHandler(QuietOffscreenNotes);
  QApplication app(argc, argv);
  // A text cursor that blinks would be caught on or off by chance: it stays on.
  QGuiApplication::styleHints()->setCursorFlashTime(0);
  QApplication::setApplicationName(QStringLiteral("Flashdock"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setWindowIcon(fd::AppIcon());
  fd::UseDialogFontFamily();

  const QString outDir = QDir(QString::fromLocal8Bit(outArg.c_str())).absolutePath();
  if (!QDir().mkpath(outDir)) {
    std::fprintf(stderr, "flashdock-shots: cannot create the folder %s\n", outDir.toLocal8Bit().constData());
    return kExitFailed;
  }
  // The program's files (settings, history, run log) go to a folder of the tool's own,
  // removed at the end; the user's are never read or touched.
  QTemporaryDir appDir(QDir::temp().filePath(QStringLiteral("flashdock-shots-XXXXXX")));
  if (!appDir.isValid()) {
    std::fprintf(stderr, "flashdock-shots: cannot make a temporary folder: %s\n",
                 appDir.errorString().toLocal8Bit().constData());
    return kExitFailed;
  }
  const std::vector<std::string> failures =
      fd::shots::TakeShots(outDir, appDir.path().toStdString() + "/", FLASHDOCK_SHOTS_RES_DIR "/");
  for (const std::string& failure : failures) std::fprintf(stderr, "flashdock-shots: %s\n", failure.c_str());
  return failures.empty() ? kExitOk : kExitFailed;
}
