// program FILE --sn 01 [--base ADDR]: the on-line Program of the Single Operation window with
// the product, power and ID code of the settings, the file given in place of the open-file
// dialog.
#include "cli/ImageCommand.h"
#include "cli/commands/Command.h"

namespace fd {
namespace {

class ProgramCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("program", "Program an image straight into a target (on-line)");
    AddImageOptions(*sub, options_);
    return sub;
  }
  int run(CliContext& cli) override { return RunImageCommand(cli, options_, false); }

private:
  ImageCommandOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeProgramCommand() { return std::make_unique<ProgramCommand>(); }

}  // namespace fd
