#include "gui/app/GuiArgs.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

namespace fd {

GuiArgs ParseGuiArgs(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("ZK40 Family Flashdock: gang programming of ZK40-family targets."));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
  const QCommandLineOption simulate(
      QStringLiteral("simulate"),
      QStringLiteral("Run on simulated programmers: N of them, the demo bench, or a bench file (.json)."),
      QStringLiteral("N|demo|FILE.json"));
  const QCommandLineOption appDir(QStringLiteral("app-dir"),
                                  QStringLiteral("Folder of the settings, log and data files (default: the program's folder)."),
                                  QStringLiteral("DIR"));
  const QCommandLineOption trace(QStringLiteral("trace"),
                                 QStringLiteral("Write every bridge call to FILE."), QStringLiteral("FILE"));
  const QCommandLineOption lockWait(
      QStringLiteral("lock-wait"),
      QStringLiteral("Seconds to wait for a bench or app folder another process is using (default 30)."),
      QStringLiteral("SECONDS"));
  parser.addOption(help);
  parser.addOption(simulate);
  parser.addOption(appDir);
  parser.addOption(trace);
  parser.addOption(lockWait);

  GuiArgs result;
  const QString usage = QStringLiteral("Usage: flashdock [--simulate N|demo|FILE.json] [--app-dir DIR] [--trace FILE] [--lock-wait SECONDS]");
  if (!parser.parse(arguments)) {
    result.outcome = GuiArgs::Outcome::Error;
    result.message = parser.errorText() + QLatin1Char('\n') + usage;
    return result;
  }
  if (parser.isSet(help)) {
    result.outcome = GuiArgs::Outcome::Help;
    result.message = parser.helpText();
    return result;
  }
  if (!parser.positionalArguments().isEmpty()) {
    result.outcome = GuiArgs::Outcome::Error;
    result.message = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().front() +
                     QLatin1Char('\n') + usage;
    return result;
  }
  // A repeated option would silently drop one of the values; say so instead.
  for (const QCommandLineOption* option : {&simulate, &appDir, &trace, &lockWait}) {
    const QStringList values = parser.values(*option);
    if (values.size() > 1) {
      result.outcome = GuiArgs::Outcome::Error;
      result.message = QStringLiteral("Option --") + option->names().front() + QStringLiteral(" given more than once.") +
                       QLatin1Char('\n') + usage;
      return result;
    }
    if (values.size() == 1 && values.front().isEmpty()) {
      result.outcome = GuiArgs::Outcome::Error;
      result.message = QStringLiteral("Option --") + option->names().front() + QStringLiteral(" needs a value.") +
                       QLatin1Char('\n') + usage;
      return result;
    }
  }
  result.options.simulate = parser.value(simulate).toStdString();
  result.options.appDir = parser.value(appDir).toStdString();
  result.options.tracePath = parser.value(trace).toStdString();
  if (parser.isSet(lockWait)) {
    const std::string seconds = parser.value(lockWait).toStdString();
    if (const std::string wrong = LockWaitError(seconds); !wrong.empty()) {
      result.outcome = GuiArgs::Outcome::Error;
      result.message = QString::fromStdString(wrong) + QLatin1Char('\n') + usage;
      return result;
    }
    result.options.lockWaitSeconds = LockWaitSeconds(seconds);
  }
  return result;
}

}  // namespace fd
