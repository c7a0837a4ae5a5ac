// The desktop program: parses its options, sets up the bridge or the simulated bench, and
// runs the application object until the main window closes.
#include <QApplication>
#include <cstdio>
#include <memory>
#include <string>

#include "gui/app/AppIcon.h"
#include "gui/app/CMainApp.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/GuiArgs.h"
#include "gui/app/StartError.h"
#include "host/HostSession.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Flashdock"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setWindowIcon(fd::AppIcon());
  fd::UseDialogFontFamily();

  // Started from a desktop menu nobody sees stderr: wherever a window can be seen, a start
  // that fails also says why in a box.
  const bool showBox = fd::StartErrorBoxVisible(QGuiApplication::platformName());
  const fd::GuiArgs args = fd::ParseGuiArgs(QApplication::arguments());
  if (const auto code = fd::EarlyExit(args, showBox)) return *code;

  // The same locks as the command line: a bench, settings or history log another copy of
  // the program is using is waited for, and the wait is said on stderr.
  fd::ScopedLockPolicy lockPolicy({args.options.lockWaitSeconds, [](const std::string& sentence) {
                                     std::fprintf(stderr, "flashdock: %s\n", sentence.c_str());
                                   }});
  std::string error;
  fd::HostRefusal refusal = fd::HostRefusal::kUsage;
  std::unique_ptr<fd::HostSession> session = fd::HostSession::create(args.options, argv[0], error, &refusal);
  if (!session) {
    fd::ReportStartError(QString::fromStdString(error), showBox);
    return refusal == fd::HostRefusal::kFailed ? 1 : fd::kExitUsage;
  }
  fd::CMainApp mainApp(session->state(), session->bridge(), session->pacer(), session->bench(), &session->clock());
  mainApp.setSerialBridge(session->serial());
  mainApp.setOperatorMode(args.operatorMode);
  const int code = mainApp.run();
  // The bench holds what the run did to the simulated programmers: a failed write-back is
  // said, not swallowed.
  if (!session->saveBench(error)) {
    fd::ReportStartError(QString::fromStdString(error), showBox);
    return code != 0 ? code : 1;
  }
  return code;
}
