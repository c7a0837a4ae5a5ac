#include "cli/commands/Command.h"

namespace fd {

std::vector<std::unique_ptr<Command>> MakeCommands() {
  std::vector<std::unique_ptr<Command>> commands;
  commands.push_back(MakeInfoCommand());
  commands.push_back(MakeListCommand());
  commands.push_back(MakeGangCommand());
  commands.push_back(MakeProductsCommand());
  commands.push_back(MakeBlocksCommand());
  commands.push_back(MakeSetupCommand());
  commands.push_back(MakeLoadCommand());
  commands.push_back(MakeProgramCommand());
  commands.push_back(MakeEraseCommand());
  commands.push_back(MakeReadCommand());
  commands.push_back(MakeOptionsCommand());
  commands.push_back(MakeUpdateFirmwareCommand());
  commands.push_back(MakeBenchInitCommand());
  commands.push_back(MakeSelftestCommand());
  commands.push_back(MakeSocketsCommand());
  commands.push_back(MakeStatsCommand());
  commands.push_back(MakeEmulateCommand());
  return commands;
}

}  // namespace fd
