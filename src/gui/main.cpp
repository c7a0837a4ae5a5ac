// The desktop program: parses its options, sets up the bridge or the simulated bench, and
// runs the application object until the main window closes.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <string>

#include "gui/app/AppIcon.h"
#include "gui/app/CMainApp.h"
#include "gui/app/GuiArgs.h"
#include "host/HostSession.h"

namespace {

constexpr int kExitUsage = 2;

// Started from a desktop menu nobody sees stderr, so a visible window gets a box too.
void ReportStartError(const QString& text) {
  std::fprintf(stderr, "flashdock: %s\n", text.toLocal8Bit().constData());
  const QString platform = QGuiApplication::platformName();
  if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
    QMessageBox::critical(nullptr, QStringLiteral("ERROR"), text);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Flashdock"));
  QApplication::setApplicationVersion(QStringLiteral("1.0"));
  QApplication::setWindowIcon(fd::AppIcon());

  const fd::GuiArgs args = fd::ParseGuiArgs(QApplication::arguments());
  if (args.outcome == fd::GuiArgs::Outcome::Help) {
    std::fputs(args.message.toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (args.outcome == fd::GuiArgs::Outcome::Error) {
    ReportStartError(args.message);
    return kExitUsage;
  }

  std::string error;
  std::unique_ptr<fd::HostSession> session = fd::HostSession::create(args.options, argv[0], error);
  if (!session) {
    ReportStartError(QString::fromStdString(error));
    return kExitUsage;
  }
  fd::CMainApp mainApp(session->state(), session->bridge(), session->pacer(), session->bench());
  return mainApp.run();
}
