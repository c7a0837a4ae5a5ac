#include "gui/app/StartError.h"

#include <QMessageBox>
#include <cstdio>

namespace fd {

bool StartErrorBoxVisible(const QString& platformName) {
  return platformName != QLatin1String("offscreen") && platformName != QLatin1String("minimal");
}

void ShowStartErrorBox(const QString& text) { QMessageBox::critical(nullptr, QStringLiteral("ERROR"), text); }

void ReportStartError(const QString& text, bool showBox, const std::function<void(const QString&)>& box) {
  std::fprintf(stderr, "flashdock: %s\n", text.toLocal8Bit().constData());
  if (showBox && box) box(text);
}

std::optional<int> EarlyExit(const GuiArgs& args, bool showBox, const std::function<void(const QString&)>& box) {
  switch (args.outcome) {
    case GuiArgs::Outcome::Help:
      std::fputs(args.message.toLocal8Bit().constData(), stdout);
      return 0;
    case GuiArgs::Outcome::Error:
      ReportStartError(args.message, showBox, box);
      return kExitUsage;
    case GuiArgs::Outcome::Run: break;
  }
  return std::nullopt;
}

}  // namespace fd
