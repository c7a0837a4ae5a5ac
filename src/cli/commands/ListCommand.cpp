// list: the programmers as the main window lists them.
#include <iomanip>

#include "cli/commands/Command.h"

namespace fd {
namespace {

void PrintRows(std::ostream& out, const MainView& view) {
  out << view.statusText << '\n';
  if (view.rows.empty()) return;
  out << "   SN  Target MCU    File Name         Modify Time         File Size\n";
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    const MainRow& row = view.rows[r];
    out << (view.selectedRow == static_cast<int>(r) ? '>' : ' ') << (row.checked ? "x " : "  ") << row.sn << "  "
        << std::left << std::setw(12) << row.cells[0] << "  " << std::setw(16) << row.cells[1] << "  "
        << std::setw(17) << row.cells[2] << "  " << std::right << std::setw(10) << row.cells[3] << '\n';
  }
}

class ListCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    return app.add_subcommand("list", "Show the attached programmers as the main window lists them");
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    ConsoleMain main(cli);
    main.flow.open();
    const MainView& view = main.flow.view();
    if (cli.options.json) {
      nlohmann::json failures = nlohmann::json::array();
      for (const DetectionFailure& failure : main.flow.detectionFailures()) {
        failures.push_back({{"deviceIndex", failure.deviceIndex}, {"message", failure.message}});
      }
      cli.printJson(nlohmann::json{{"status", view.statusText}, {"rows", RowsJson(view)}, {"notListed", failures}});
    } else {
      PrintRows(cli.out, view);
    }
    ReportDetectionFailures(cli, main.flow);
    main.flow.close();
    // Every attached programmer must have made its row; otherwise the list has said why not.
    std::uint32_t count = 0;
    const bool counted = cli.host().bridge().BridgeGetNumDevices(count) == kBridgeOk;
    const bool whole = counted && count <= static_cast<std::uint32_t>(kMaxProgrammers) && view.rows.size() == count &&
                       main.flow.detectionFailures().empty();
    const bool saved = cli.end();
    return whole && saved ? kExitOk : kExitFailed;
  }
};

}  // namespace

std::unique_ptr<Command> MakeListCommand() { return std::make_unique<ListCommand>(); }

}  // namespace fd
