#include "cli/CliApp.h"

#include <iostream>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iterator>
#include <string_view>

#include "app/RunLog.h"
#include "cli/CliContext.h"
#include "cli/HelpPages.h"
#include "cli/commands/Command.h"

namespace fd {

const CLI::Validator& NonEmpty() {
  // An unset variable in a script must never mean "everything" or "real hardware".
  static const CLI::Validator check(
      [](const std::string& value) { return value.empty() ? std::string("the value is empty") : std::string(); },
      "NOT EMPTY");
  return check;
}

bool RunsLong(const std::string& command) {
  static const char* const kLong[] = {"gang", "load", "program", "erase", "read", "update-firmware"};
  return std::find(std::begin(kLong), std::end(kLong), command) != std::end(kLong);
}

std::string TimeoutError(const std::string& value) {
  const std::string wrong = "--timeout takes seconds above 0 up to 86400, e.g. 5 or 2.5, not \"" + value + "\"";
  if (!LockWaitError(value).empty() || LockWaitSeconds(value) <= 0) return wrong;
  return {};
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  return RunCli(argc, argv, std::cin, out, err);
}

int RunCli(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err) {
  CLI::App app{"Flashdock command line: the programmers and their gang runs from a terminal.", "flashdock-cli"};
  app.require_subcommand(1);
  HostOptions options;
  app.add_option("--simulate", options.simulate, "Simulated bench: N fresh programmers, 'demo', or a bench file (.json)")
      ->check(NonEmpty());
  app.add_option("--app-dir", options.appDir, "Folder of the settings, log and load-record files")->check(NonEmpty());
  app.add_option("--trace", options.tracePath, "Write every bridge call to this file")->check(NonEmpty());
  app.add_flag("--json", options.json, "Print results as JSON");
  app.add_flag("--virtual-time", options.virtualTime, "Run a simulated bench on virtual time (no real waiting)");
  app.add_option("--station", options.station, "This station's name in the run log (kept in the settings)")
      ->check([](const std::string& value) { return StationNameError(value); });
  std::string lockWait;
  app.add_option("--lock-wait", lockWait,
                 "Seconds to wait for a bench or app folder another process is using (default 30)")
      ->check([](const std::string& value) { return LockWaitError(value); });
  // --port and --usb-serial each pick one programmer, rows in the order given across both.
  auto pick = [&options](PortChoice::Kind kind) {
    return [&options, kind](const std::string& value) { options.choices.push_back({kind, value}); };
  };
  app.add_option_function<std::string>("--port", pick(PortChoice::Kind::Port),
                                        "Use the programmer on this port (repeatable; rows in the order given)")
      ->check(NonEmpty())
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->trigger_on_parse();
  app.add_option_function<std::string>("--usb-serial", pick(PortChoice::Kind::UsbSerial),
                                        "Use the programmer with this USB serial number (repeatable)")
      ->check(NonEmpty())
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->trigger_on_parse();
  app.add_option_function<std::string>(
         "--usb-id",
         [&options](const std::string& value) {
           UsbId id;
           if (!ParseUsbId(value, id)) throw CLI::ValidationError("--usb-id", "give VID:PID in hex, as 2f3a:0039");
           options.usbIds.push_back(id);
         },
         "Also take USB serial ports with this VID:PID for programmers (repeatable)")
      ->check(NonEmpty())
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->trigger_on_parse();

  std::vector<std::unique_ptr<Command>> commands = MakeCommands();
  std::vector<CLI::App*> subcommands;
  for (auto& command : commands) subcommands.push_back(command->define(app));
  // Every command that runs until its programmer answers has an end a script can count on.
  std::string timeout;
  for (CLI::App* sub : subcommands) {
    if (!RunsLong(sub->get_name())) continue;
    sub->add_option("--timeout", timeout,
                    sub->get_name() == "update-firmware"
                        ? "End the update as Cancel would after this many seconds, if its first erase has not begun"
                        : "End the run as Cancel would after this many seconds (its record is written; exit 1)")
        ->check([](const std::string& value) { return TimeoutError(value); });
  }

  NameValues(app);

  // The manual page and the bash completion, from the definitions above; the build writes
  // both with these.
  if (argc == 2 && std::string_view(argv[1]) == "--man") {
    out << ManPage(app, ProgramVersion());
    return kExitOk;
  }
  if (argc == 2 && std::string_view(argv[1]) == "--bash-completion") {
    out << BashCompletion(app);
    return kExitOk;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      out << app.help();
      return kExitOk;
    }
    err << "usage: " << e.what() << '\n' << "Run with --help for the commands.\n";
    return kExitUsage;
  }

  if (!lockWait.empty()) options.lockWaitSeconds = LockWaitSeconds(lockWait);
  SignalWatch::clear();
  // Told once per file, on stderr, so a script's log shows why a command stood still.
  ScopedLockPolicy lockPolicy({options.lockWaitSeconds, [&err](const std::string& sentence) {
                                 err << "INFO: " << sentence << '\n' << std::flush;
                               }});
  if (!options.simulate.empty() && !options.choices.empty()) {
    err << "usage: --port and --usb-serial pick real programmers; a simulated bench (--simulate) has none.\n";
    return kExitUsage;
  }
  CliContext cli(options, out, err);
  cli.input = &in;
  if (!timeout.empty()) cli.timeoutSeconds = LockWaitSeconds(timeout);
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (!subcommands[i]->parsed()) continue;
    return cli.finish(commands[i]->run(cli));
  }
  return kExitUsage;
}

}  // namespace fd
