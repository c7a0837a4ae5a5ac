// setup --sn 01 (--offline | --online) [--product P] [--id HEX | --id-text T] [--power 3|5|none]:
// what Off-line Set or On-line Test and the Single Operation window do with a product, an
// ID code and a power setting. Off-line each change is written to the programmer with 'B'
// as a double click, Set ID and Set Power write it; on-line the settings file keeps them.
// Every value is checked before anything is sent or stored.
#include <unistd.h>

#include <iomanip>
#include <iostream>
#include <optional>

#include "cli/ProductArgs.h"
#include "cli/commands/Command.h"
#include "flows/common/ScriptedHost.h"
#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "flows/single/SingleOperationFlow.h"
#include "formats/Hex.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

using nlohmann::json;

std::string SnError(const std::string& value) {
  if (!ParseSn(value)) return "--sn takes one row number 01 to 08, not \"" + value + "\"";
  return {};
}

// Hex digits after any leading spaces, as the window's hex reader takes them.
std::string_view HexDigits(std::string_view value) {
  const std::size_t first = value.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : value.substr(first);
}

std::string IdHexError(const std::string& value) {
  const std::string_view digits = HexDigits(value);
  if (digits.empty()) return "--id is empty: give up to 14 hex digits, e.g. C3C3C3C3C3C3C3";
  for (const char c : digits) {
    if (HexDigitValue(c) < 0) return "--id takes hex digits 0-9 and A-F only, not \"" + value + "\"";
  }
  if (digits.size() > kIdHexLength) return "--id takes at most 14 hex digits (7 bytes), not " + std::to_string(digits.size());
  if (digits.size() % 2 != 0) return "--id takes whole bytes: an even number of hex digits, not " + std::to_string(digits.size());
  return {};
}

std::string IdTextError(const std::string& value) {
  if (value.empty()) return "--id-text is empty: give 1 to 7 characters";
  if (!IsPrintableAscii(value)) return "--id-text takes printable ASCII characters only";
  if (value.size() > kIdStringLength) return "--id-text takes at most 7 characters, not " + std::to_string(value.size());
  return {};
}

const char* PowerName(std::uint8_t code) {
  switch (code) {
    case kPowerCode3V: return "3";
    case kPowerCode5V: return "5";
    case kPowerCodeNone: return "none";
    default: return "unknown";
  }
}

// Asks on the terminal; only a "y" or "yes" is a yes.
bool AskYes(CliContext& cli, const std::string& question) {
  cli.err << "WARNING: " << question << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

class SetupCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("setup", "Give one programmer a product, an ID code and a target power");
    sub->add_option("--sn", sn_, "The programmer's row, 01 to 08")->required()->check(CLI::Validator(SnError, "SN"));
    CLI::Option* offline = sub->add_flag("--offline", offline_, "Write the setup into the programmer (Off-line Set)");
    CLI::Option* online = sub->add_flag("--online", online_, "Keep the setup in the settings file (On-line Test)");
    offline->excludes(online);
    sub->add_option("--product", product_, "A product of the device database, e.g. ZK40F8C12")
        ->check(CLI::Validator([](const std::string& v) { return ProductNameError("--product", v); }, "NAME"));
    CLI::Option* id = sub->add_option("--id", idHex_, "ID code as up to 14 hex digits; fewer fill from C3C3C3C3C3C3C3")
                          ->check(CLI::Validator(IdHexError, "HEX"));
    CLI::Option* idText = sub->add_option("--id-text", idText_, "ID code as a text of up to 7 characters")
                              ->check(CLI::Validator(IdTextError, "TEXT"));
    id->excludes(idText);
    sub->add_option("--power", power_, "Target power: 3, 5 or none (the target's own supply)")
        ->check(CLI::IsMember({"3", "5", "none"}));
    sub->add_flag("--fill", fill_, "Fill an ID code shorter than 7 bytes with 0xC3 without asking");
    return sub;
  }

  int run(CliContext& cli) override {
    if (offline_ == online_) {
      cli.err << "usage: setup needs --offline or --online\n";
      return kExitUsage;
    }
    const bool hasId = !idHex_.empty() || !idText_.empty();
    const bool stringInput = !idText_.empty();
    const std::string idEntry = stringInput ? idText_ : std::string(HexDigits(idHex_));
    if (hasId && ReadIdEntry(idEntry, stringInput).shortEntry && !fill_) {
      // The window's question, asked before anything is sent or stored.
      const std::string question = "The ID code is shorter than 7 bytes. Use 0xC3 to fill higher bytes?";
      if (!cli.interactive()) {
        cli.err << "usage: the ID code is shorter than 7 bytes: add --fill to fill the higher bytes with 0xC3\n";
        return kExitUsage;
      }
      if (!AskYes(cli, question)) {
        cli.err << "INFO: Nothing was changed.\n";
        return kExitFailed;
      }
      fill_ = true;
    }

    if (!cli.begin()) return kExitFailed;
    HostSession& s = cli.host();
    AppState& state = s.state();
    std::string productGroup;
    if (!product_.empty()) {
      const std::string path = DeviceDatabasePath(state);
      const auto line = FindProductLine(path, ProductKey(product_));
      if (!line.ok()) {
        cli.err << "ERROR: " << line.error << " (" << path << ")\n";
        return kExitFailed;
      }
      if (!line.value) {
        cli.err << "ERROR: No product \"" << product_ << "\" in the device database.\n";
        return kExitUsage;
      }
      productGroup = std::string(LineField(*line.value, mcufile::kGroup, mcufile::kGroupWidth));
    }

    ScriptedHost windows(s.clock());
    ConsoleMain main(cli, &windows);
    MainFlow& flow = main.flow;
    flow.open();
    if (!RowsNameTheirProgrammers(cli, flow)) {
      flow.close();
      cli.end();
      return kExitFailed;
    }
    const std::string sn = SnTextOf(sn_);
    int row = -1;
    for (std::size_t r = 0; r < flow.view().rows.size(); ++r) {
      if (flow.view().rows[r].sn == sn) row = static_cast<int>(r);
    }
    if (row < 0) {
      cli.err << "ERROR: No programmer " << sn << " is detected.\n";
      flow.close();
      cli.end();
      return kExitFailed;
    }
    flow.selectRow(row);

    if (fill_) cli.prompter->answer(QuestionId::IdFill, MsgAnswer::Yes, "--fill");
    bool opened = false;
    bool done = true;
    ProgrammerInfo written{};
    windows.script<SingleOperationFlow>([&](SingleOperationFlow& window) {
      opened = true;
      if (!product_.empty()) done = chooseProduct(window, productGroup);
      if (done && hasId) done = window.setId();
      if (done && !power_.empty()) done = window.setPower();
      written = state.programmerInfo;
      window.closeBox();
    });
    windows.script<IdCodeSetFlow>([&](IdCodeSetFlow& id) {
      if (stringInput) id.setStringInput(true);
      id.setText(idEntry);
      id.ok();
    });
    windows.script<PowerSetFlow>([this](PowerSetFlow& power) {
      power.choose(power_ == "3" ? PowerChoice::Output3V : power_ == "5" ? PowerChoice::Output5V : PowerChoice::NoOutput);
      power.ok();
    });
    if (offline_) {
      flow.offlineSet();
    } else {
      flow.onlineTest();
    }
    flow.close();
    const bool saved = cli.end();
    if (cli.prompter->unanswered()) return kExitUsage;
    const bool success = opened && done;
    if (opened && (success || online_)) {
      report(cli, state, written);
    } else if (opened) {
      // The programmer did not confirm the new header: the edited values are not what it
      // holds, so none are printed as if stored.
      cli.err << "ERROR: The programmer did not take the new setup; what it holds now is not known "
                 "(\"list\" shows its product).\n";
    }
    return success && saved ? kExitOk : kExitFailed;
  }

private:
  // The product's group chosen in the tree, then the product in the list; off-line the
  // double click that writes it.
  bool chooseProduct(SingleOperationFlow& window, const std::string& group) {
    const auto& tree = window.view().tree;
    for (std::size_t si = 0; si < tree.size(); ++si) {
      for (std::size_t gi = 0; gi < tree[si].groups.size(); ++gi) {
        if (tree[si].groups[gi] != group) continue;
        window.selectNode(static_cast<int>(si), static_cast<int>(gi));
        const auto& rows = window.view().products;
        for (std::size_t r = 0; r < rows.size(); ++r) {
          if (rows[r].product != ProductKey(product_)) continue;
          const int row = static_cast<int>(r);
          window.selectProduct(row);
          if (offline_) return window.writeProduct(row);
          // On-line the choice counts once the settings file holds it.
          return ProductKey(window.view().productLabel) == ProductKey(product_);
        }
        return false;
      }
    }
    return false;
  }

  void report(CliContext& cli, const AppState& state, const ProgrammerInfo& written) {
    std::string product, id, power;
    if (offline_) {
      const bool none = written[info::kNames] == 0xFF;
      product = none ? kNotSelect : std::string(TrimTrailingSpaces(PrintableText(InfoMcuName(written))));
      id = HexBytes(written.data() + info::kIdCode, info::kIdCodeSize);
      power = PowerName(written[info::kPower]);
    } else {
      const SettingsFile settings(state.appDir + kSettingsFileName);
      product = settings.read(kSectionProgrammer, kKeyProductNumber);
      id = settings.read(kSectionProgrammer, kKeyIdCode);
      power = PowerName(static_cast<std::uint8_t>(ParseHex(settings.read(kSectionProgrammer, kKeyPowerSet))));
    }
    const std::string sn = SnTextOf(sn_);
    if (cli.options.json) {
      cli.printJson(json{{"sn", sn}, {"mode", offline_ ? "offline" : "online"}, {"product", product}, {"idCode", id},
                      {"power", power}});
      return;
    }
    const auto field = [&](const char* label, const std::string& value) {
      cli.out << std::left << std::setw(12) << label << value << '\n';
    };
    field("SN", sn);
    field("Mode", offline_ ? "off-line (stored in the programmer)" : "on-line (stored in the settings file)");
    field("Product", product);
    field("ID code", id);
    field("Power", power);
  }

  std::string sn_;
  bool offline_ = false;
  bool online_ = false;
  std::string product_;
  std::string idHex_;
  std::string idText_;
  std::string power_;
  bool fill_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeSetupCommand() { return std::make_unique<SetupCommand>(); }

}  // namespace fd
