// load FILE (--sn 01[,03...] | --all) [--if-same reload|name-only|cancel] [--base ADDR]: the off-line Load File
// of the Single Operation window, the file given in place of the open-file dialog.
#include "cli/ImageCommand.h"
#include "cli/commands/Command.h"

namespace fd {
namespace {

class LoadCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("load", "Load an image into a programmer's on-board store (off-line)");
    AddImageOptions(*sub, options_, true);
    sub->add_option("--if-same", options_.ifSame,
                    "When the programmer holds this very file: reload, name-only (its name alone) or cancel")
        ->check(CLI::IsMember({"reload", "name-only", "cancel"}));
    return sub;
  }
  int run(CliContext& cli) override { return RunImageCommand(cli, options_, true); }

private:
  ImageCommandOptions options_;
};

}  // namespace

std::unique_ptr<Command> MakeLoadCommand() { return std::make_unique<LoadCommand>(); }

}  // namespace fd
