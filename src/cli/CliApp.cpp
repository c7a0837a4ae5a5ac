#include "cli/CliApp.h"

#include <CLI/CLI.hpp>

#include "cli/CliContext.h"
#include "cli/commands/Command.h"

namespace fd {

const CLI::Validator& NonEmpty() {
  // An unset variable in a script must never mean "everything" or "real hardware".
  static const CLI::Validator check(
      [](const std::string& value) { return value.empty() ? std::string("the value is empty") : std::string(); },
      "NOT EMPTY");
  return check;
}

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"Flashdock command line: the programmers and their gang runs from a terminal.", "flashdock-cli"};
  app.require_subcommand(1);
  HostOptions options;
  app.add_option("--simulate", options.simulate, "Simulated bench: N fresh programmers, 'demo', or a bench file (.json)")
      ->check(NonEmpty());
  app.add_option("--app-dir", options.appDir, "Folder of the settings, log and load-record files")->check(NonEmpty());
  app.add_option("--trace", options.tracePath, "Write every bridge call to this file")->check(NonEmpty());
  app.add_flag("--json", options.json, "Print results as JSON");
  app.add_flag("--virtual-time", options.virtualTime, "Run a simulated bench on virtual time (no real waiting)");
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
  // Told once per file, on stderr, so a script's log shows why a command stood still.
  ScopedLockPolicy lockPolicy({options.lockWaitSeconds, [&err](const std::string& sentence) {
                                 err << "INFO: " << sentence << '\n' << std::flush;
                               }});
  if (!options.simulate.empty() && !options.choices.empty()) {
    err << "usage: --port and --usb-serial pick real programmers; a simulated bench (--simulate) has none.\n";
    return kExitUsage;
  }
  CliContext cli(options, out, err);
  for (std::size_t i = 0; i < commands.size(); ++i) {
    if (!subcommands[i]->parsed()) continue;
    const int code = commands[i]->run(cli);
    // Whatever the command's end, the bench it changed is saved, and a failure to save is said.
    if (!cli.end() && code == kExitOk) return kExitFailed;
    return code;
  }
  return kExitUsage;
}

}  // namespace fd
