// options [--auto-save-log on|off] [--auto-save-id on|off]: the Initiation window's two
// boxes, with its rules.
#include "app/SettingsFile.h"
#include "cli/commands/Command.h"
#include "flows/init/InitOptionsFlow.h"

namespace fd {
namespace {

class OptionsCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("options", "Show or set the history log options");
    sub->add_option("--auto-save-log", log_, "Record operations in the history log")->check(CLI::IsMember({"on", "off"}));
    sub->add_option("--auto-save-id", id_, "Record the ID code with each load")->check(CLI::IsMember({"on", "off"}));
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    SettingsFile settings(cli.host().state().appDir + kSettingsFileName);
    InitOptionsFlow flow(settings);
    flow.open();
    bool stored = true;
    if (!log_.empty()) flow.setLogChecked(log_ == "on");
    if (!id_.empty()) {
      if (!flow.view().idEnabled && id_ == "on") {
        cli.err << "WARNING: The ID code is saved only while the log is on.\n";
      }
      flow.setIdChecked(id_ == "on");
    }
    if (!log_.empty() || !id_.empty()) stored = flow.ok();
    if (!stored) {
      cli.err << "ERROR: The options could not be saved. " << settings.lastError() << '\n';
      return kExitFailed;
    }
    const std::string logValue = settings.read(kSectionLog, kKeyAutoSaveLog);
    const std::string idValue = settings.read(kSectionLog, kKeyAutoSaveId);
    if (cli.options.json) {
      cli.printJson(nlohmann::json{{"autoSaveLog", logValue == "1"}, {"autoSaveId", idValue == "1"}});
    } else {
      cli.out << "Auto save log: " << (logValue == "1" ? "on" : "off") << '\n'
              << "Auto save ID:  " << (idValue == "1" ? "on" : "off") << '\n';
    }
    return cli.end() ? kExitOk : kExitFailed;
  }

private:
  std::string log_, id_;
};

}  // namespace

std::unique_ptr<Command> MakeOptionsCommand() { return std::make_unique<OptionsCommand>(); }

}  // namespace fd
