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
