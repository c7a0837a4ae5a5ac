#include "gui/app/GuiArgs.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <utility>

#include "app/RunLog.h"

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
  const QCommandLineOption port(QStringLiteral("port"),
                                QStringLiteral("Only the programmer on this serial port (repeatable; rows in the order given)."),
                                QStringLiteral("PATH"));
  const QCommandLineOption usbSerial(
      QStringLiteral("usb-serial"),
      QStringLiteral("Only the programmer with this USB serial number (repeatable; rows in the order given)."),
      QStringLiteral("SERIAL"));
  const QCommandLineOption usbId(QStringLiteral("usb-id"),
                                 QStringLiteral("Take USB serial ports of this id (hex VID:PID) as programmers too."),
                                 QStringLiteral("VID:PID"));
  const QCommandLineOption station(QStringLiteral("station"),
                                   QStringLiteral("This station's name in the run log (kept in the settings)."),
                                   QStringLiteral("NAME"));
  const QCommandLineOption operatorMode(
      QStringLiteral("operator"),
      QStringLiteral("Operator mode: only the list, Start, Log and the counts (left from the window's context menu)."));
  parser.addOption(station);
  parser.addOption(operatorMode);
  parser.addOption(help);
  parser.addOption(port);
  parser.addOption(usbSerial);
  parser.addOption(usbId);
  parser.addOption(simulate);
  parser.addOption(appDir);
  parser.addOption(trace);
  parser.addOption(lockWait);

  GuiArgs result;
  const QString usage = QStringLiteral(
      "Usage: flashdock [--simulate N|demo|FILE.json] [--app-dir DIR] [--trace FILE] [--lock-wait SECONDS]\n"
      "                 [--station NAME] [--operator] [--port PATH]... [--usb-serial SERIAL]... [--usb-id VID:PID]...");
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
  for (const QCommandLineOption* option : {&simulate, &appDir, &trace, &lockWait, &station}) {
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
  const auto fail = [&result, &usage](const QString& message) {
    result.outcome = GuiArgs::Outcome::Error;
    result.message = message + QLatin1Char('\n') + usage;
    return result;
  };
  // Repeatable: each value picks one more programmer (or adds one more id).
  for (const QCommandLineOption* option : {&port, &usbSerial, &usbId}) {
    for (const QString& value : parser.values(*option)) {
      if (value.isEmpty()) return fail(QStringLiteral("Option --") + option->names().front() + QStringLiteral(" needs a value."));
    }
  }
  // Rows come in the order the picks were given, --port and --usb-serial mixed: the
  // parser keeps each option's values apart, so the order is read from the words.
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    QString word = arguments[i];
    if (word == QStringLiteral("--")) break;
    if (!word.startsWith(QLatin1Char('-'))) continue;  // a value, never an option's name
    while (word.startsWith(QLatin1Char('-'))) word.remove(0, 1);
    for (const auto& [name, kind] : {std::pair{QStringLiteral("port"), PortChoice::Kind::Port},
                                     std::pair{QStringLiteral("usb-serial"), PortChoice::Kind::UsbSerial}}) {
      if (word == name && i + 1 < arguments.size()) {
        result.options.choices.push_back({kind, arguments[++i].toStdString()});
      } else if (word.startsWith(name + QLatin1Char('='))) {
        result.options.choices.push_back({kind, word.mid(name.size() + 1).toStdString()});
      }
    }
  }
  for (const QString& value : parser.values(usbId)) {
    UsbId id;
    if (!ParseUsbId(value.toStdString(), id)) {
      return fail(QStringLiteral("Option --usb-id takes VID:PID in hex, as 2f3a:0039, not \"") + value + QStringLiteral("\"."));
    }
    result.options.usbIds.push_back(id);
  }
  if (parser.isSet(simulate) && !result.options.choices.empty()) {
    return fail(QStringLiteral("--port and --usb-serial pick real programmers; a simulated bench (--simulate) has none."));
  }
  result.options.simulate = parser.value(simulate).toStdString();
  result.options.appDir = parser.value(appDir).toStdString();
  result.options.tracePath = parser.value(trace).toStdString();
  result.operatorMode = parser.isSet(operatorMode);
  if (parser.isSet(station)) {
    result.options.station = parser.value(station).toStdString();
    if (const std::string wrong = StationNameError(result.options.station); !wrong.empty()) return fail(QString::fromStdString(wrong));
  }
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
