// erase --sn 01 (--blocks A,0,3 | --all): the Erase window of the chosen programmer, with
// its blocks ticked, OK pressed and the completion question answered Yes.
#include "cli/BlockChoice.h"
#include "cli/ConsoleHost.h"
#include "cli/MemoryCommandSupport.h"
#include "cli/commands/Command.h"
#include "flows/memory/MemoryOperations.h"

namespace fd {
namespace {

class EraseCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("erase", "Erase flash blocks of the target on one programmer");
    sub->add_option("--sn", sn_, "The programmer's row, e.g. 01")->required()->check([](const std::string& v) {
      return SingleSnError(v);
    });
    CLI::Option* blocks = sub->add_option("--blocks", blocks_, "Blocks by name as the list shows them, e.g. A,0,3")
                              ->check([](const std::string& v) { return BlockListError(v); });
    CLI::Option* all = sub->add_flag("--all", all_, "Every block of the product");
    blocks->excludes(all);
    return sub;
  }

  int run(CliContext& cli) override {
    if (blocks_.empty() && !all_) {
      cli.err << "usage: erase needs --blocks or --all\n";
      return kExitUsage;
    }
    if (!cli.begin()) return kExitFailed;
    SignalWatch signals;
    ConsoleMain main(cli);
    OpenOnlyRows(main.flow, {NormalizedSn(sn_)});
    main.flow.open();
    const int code = erase(cli, main);
    main.flow.close();
    const bool saved = cli.end();
    return SignalWatch::exitCode(code == kExitOk && !saved ? kExitFailed : code);
  }

private:
  int erase(CliContext& cli, ConsoleMain& main) {
    if (!RowsNameTheirProgrammers(cli, main.flow, {NormalizedSn(sn_)})) return kExitFailed;
    if (!SelectProgrammer(cli, main.flow, NormalizedSn(sn_))) return kExitFailed;
    AppState& state = cli.host().state();
    if (!LoadOnlineSetup(state, *cli.prompter)) return kExitFailed;
    std::vector<int> rows;
    if (!state.productNotSelected() && !all_) {
      // Names are checked before anything reaches the programmer.
      std::string error;
      const auto chosen = ChosenRows(LoadBlockList(state).rows, blocks_, error);
      if (!chosen) {
        cli.err << "usage: " << error << '\n';
        return kExitUsage;
      }
      rows = *chosen;
    }
    ConsoleHost host(cli);
    host.script<EraseFlow>([&](EraseFlow& flow) {
      if (all_) {
        flow.toggleAll();
      } else {
        for (int row : rows) flow.setChecked(row, true);
      }
      flow.ok();
    });
    cli.prompter->answer(QuestionId::EraseCompleted, MsgAnswer::Yes);
    const EraseResult result =
        RunErase({state, cli.host().link(), *cli.prompter, cli.host().clock(), host});
    const std::vector<std::string>& erased = result.erased;
    const bool ok = result.ok();
    if (cli.options.json) {
      cli.printJson(nlohmann::json{{"erased", erased}, {"success", ok}});
    } else if (ok) {
      cli.out << "Erased: " << BlockNamesText(erased) << '\n';
    } else {
      cli.out << "Erased before the erase stopped: " << BlockNamesText(erased) << '\n';
    }
    return ok ? kExitOk : kExitFailed;
  }

  std::string sn_;
  std::string blocks_;
  bool all_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeEraseCommand() { return std::make_unique<EraseCommand>(); }

}  // namespace fd
