#pragma once
// One command of the command line: it declares its options on its own subcommand and runs
// when that subcommand was given. A new command is one file here and one line in
// Commands.cpp.
#include <CLI/CLI.hpp>
#include <memory>
#include <vector>

#include "cli/CliContext.h"

namespace fd {

class Command {
public:
  virtual ~Command() = default;
  // Adds the subcommand and its options to `app`; returns the subcommand.
  virtual CLI::App* define(CLI::App& app) = 0;
  // Runs the command once the whole line parsed; the exit code.
  virtual int run(CliContext& cli) = 0;
};

std::unique_ptr<Command> MakeInfoCommand();
std::unique_ptr<Command> MakeListCommand();
std::unique_ptr<Command> MakeGangCommand();
std::unique_ptr<Command> MakeProductsCommand();
std::unique_ptr<Command> MakeBlocksCommand();
std::unique_ptr<Command> MakeSetupCommand();
std::unique_ptr<Command> MakeOptionsCommand();
std::unique_ptr<Command> MakeBenchInitCommand();
std::unique_ptr<Command> MakeUpdateFirmwareCommand();
std::unique_ptr<Command> MakeLoadCommand();
std::unique_ptr<Command> MakeProgramCommand();
std::unique_ptr<Command> MakeEraseCommand();
std::unique_ptr<Command> MakeReadCommand();
std::unique_ptr<Command> MakeEmulateCommand();
std::unique_ptr<Command> MakeSelftestCommand();
std::unique_ptr<Command> MakeSocketsCommand();
std::unique_ptr<Command> MakeStatsCommand();

// Every command, in the order the help lists them.
std::vector<std::unique_ptr<Command>> MakeCommands();

}  // namespace fd
