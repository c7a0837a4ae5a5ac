// update-firmware FILE [--yes]: rewrites the programmer's own firmware through its boot
// loader, as the main window's hidden gesture does: the only attached programmer, its
// update jumpers set, the same checks and messages, the Updating window as a progress bar.
#include <unistd.h>

#include <iostream>

#include "cli/ConsoleHost.h"
#include "cli/ImageCommand.h"
#include "cli/commands/Command.h"
#include "flows/update/UpdateFlow.h"
#include "flows/update/UpdateMode.h"
#include "formats/ImageInput.h"

namespace fd {
namespace {

// The console's messages, with the file dialog answered by the command's file (once: a
// file that fails its tests is not chosen again) and the update's first message asked as
// a confirmation unless --yes gave it.
class UpdatePrompter final : public Prompter {
public:
  UpdatePrompter(ConsolePrompter& console, std::ostream& err, std::string file, std::string base, bool confirmed)
      : console_(console), err_(err), file_(std::move(file)), base_(std::move(base)), confirmed_(confirmed) {}

  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text, MsgButtons buttons) override {
    return console_.message(caption, icon, text, buttons);
  }
  MsgAnswer ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                MsgButtons buttons) override {
    // Nobody is asked to click OK when --yes gave it: the console says so in one line.
    if (id != QuestionId::EnterUpdateMode || confirmed_) return console_.ask(id, caption, icon, text, buttons);
    console_.message(caption, icon, text, MsgButtons::Ok);
    err_ << "Rewrite the programmer's firmware with " << file_ << "? [y/N] " << std::flush;
    std::string reply;
    if (!std::getline(std::cin, reply)) return MsgAnswer::Cancel;
    return reply == "y" || reply == "Y" || reply == "yes" ? MsgAnswer::Ok : MsgAnswer::Cancel;
  }
  void fileError(const std::string& text, const std::string& reason) override { console_.fileError(text, reason); }
  void silentFailure(const std::string& text) override { console_.silentFailure(text); }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override {
    if (offered_) return std::nullopt;
    offered_ = true;
    return file_;
  }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
  // A binary's base address: --base, once.
  std::optional<std::string> askText(const std::string&, const std::string&) override {
    if (baseGiven_ || base_.empty()) return std::nullopt;
    baseGiven_ = true;
    return base_;
  }

private:
  ConsolePrompter& console_;
  std::ostream& err_;
  std::string file_;
  std::string base_;
  bool confirmed_;
  bool offered_ = false;
  bool baseGiven_ = false;
};

const char* OutcomeName(UpdateOutcome outcome) {
  switch (outcome) {
    case UpdateOutcome::Declined: return "declined";
    case UpdateOutcome::NoDevice: return "no programmer";
    case UpdateOutcome::SeveralDevices: return "several programmers";
    case UpdateOutcome::NotProgrammer: return "not a programmer";
    case UpdateOutcome::CannotOpen: return "cannot open";
    case UpdateOutcome::LinkSettings: return "link settings refused";
    case UpdateOutcome::Jumpers: return "jumpers not set";
    case UpdateOutcome::Canceled: return "canceled";
    case UpdateOutcome::Updated: return "updated";
  }
  return "";
}

class UpdateFirmwareCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand(
        "update-firmware", "Rewrite the programmer's own firmware (the only programmer attached, update jumpers set)");
    sub->add_option("file", file_, "The firmware file: S-records (.mot), Intel HEX (.hex, .ihex) or binary (.bin)")->required()->check([](const std::string& v) {
      return v.empty() ? std::string("the firmware file name is empty") : std::string();
    });
    sub->add_option("--base", base_, "Binary files: the hex address of the first byte, e.g. 0xFC000")
        ->check(CLI::Validator(BaseOptionError, "ADDR"));
    sub->add_flag("--yes", yes_, "Go ahead without asking (needed when no terminal can ask)");
    return sub;
  }

  int run(CliContext& cli) override {
    if (!yes_ && !(isatty(STDIN_FILENO) && isatty(STDERR_FILENO))) {
      cli.err << "usage: update-firmware rewrites the programmer's own firmware and asks first; "
                 "give --yes to go ahead where no terminal can ask.\n";
      return kExitUsage;
    }
    if ((ImageFormatForPath(file_) == ImageFormat::Binary) != !base_.empty()) {
      cli.err << (base_.empty() ? "usage: --base is needed for a binary image: the address its first byte goes to\n"
                                : "usage: --base is only for a binary image (.bin)\n");
      return kExitUsage;
    }
    if (!cli.begin()) return kExitFailed;
    SignalWatch signals;
    ConsoleHost dialogs(cli);
    if (yes_) cli.prompter->answer(QuestionId::EnterUpdateMode, MsgAnswer::Ok, "--yes");
    // Once the first erase went out, a stop (a signal, --timeout) can not be honoured: the
    // window refuses to close until the boot loader dialogue ends, and the exit is the run's.
    bool pastNoReturn = false;
    dialogs.afterTick = [&pastNoReturn, shown = dialogs.afterTick](ModalFlow& flow) {
      if (shown) shown(flow);
      if (const auto* updating = dynamic_cast<const UpdateFlow*>(&flow); updating && updating->view().closeRefused) {
        pastNoReturn = true;
      }
    };
    UpdatePrompter prompter(*cli.prompter, cli.err, file_, base_, yes_);
    HostSession& host = cli.host();
    const UpdateOutcome outcome = RunUpdateMode(
        UpdateModePorts{host.state(), host.bridge(), host.pacer(), prompter, dialogs, host.clock()});
    if (pastNoReturn) cli.holdStops();
    if (outcome == UpdateOutcome::Declined) cli.err << "INFO: Not confirmed; the programmer was not touched.\n";
    if (cli.options.json) {
      cli.printJson(nlohmann::json{{"outcome", OutcomeName(outcome)}, {"updated", outcome == UpdateOutcome::Updated}});
    }
    const bool saved = cli.end();
    if (!saved && outcome == UpdateOutcome::Updated) {
      cli.err << "INFO: The programmer was updated, but the bench state was not saved.\n";
    }
    return saved && outcome == UpdateOutcome::Updated ? kExitOk : kExitFailed;
  }

private:
  std::string file_;
  std::string base_;
  bool yes_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeUpdateFirmwareCommand() { return std::make_unique<UpdateFirmwareCommand>(); }

}  // namespace fd
