// setup (--sn 01[,02...] | --all) (--offline | --online) [--product P] [--id HEX | --id-text T]
// [--power 3|5|none], or setup --like 01 (--sn 02[,03...] | --all):
// what Off-line Set or On-line Test and the Single Operation window do with a product, an
// ID code and a power setting. Off-line each change is written to the programmer with 'B'
// as a double click, Set ID and Set Power write it; on-line the settings file keeps them.
// Every value is checked before anything is sent or stored.
#include <unistd.h>

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <optional>

#include "cli/ImageCommand.h"
#include "cli/ProductArgs.h"
#include "cli/commands/Command.h"
#include "flows/common/ScriptedHost.h"
#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "flows/single/MultiSetup.h"
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

// One SN, or several separated by commas.
std::string SnsError(const std::string& value) {
  if (value.find(',') == std::string::npos) return SnError(value);
  return SnListOptionError(value);
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
    CLI::Option* sn = sub->add_option("--sn", sn_, "The programmer's row, 01 to 08, or several: 01,02,03")
                          ->check(CLI::Validator(SnsError, "SN[,SN...]"));
    CLI::Option* all = sub->add_flag("--all", all_, "Every programmer listed");
    sn->excludes(all);
    sub->add_option("--like", like_, "Copy this programmer's product, ID code and power to the others (off-line)")
        ->check(CLI::Validator(SnError, "SN"));
    CLI::Option* offline = sub->add_flag("--offline", offline_, "Write the setup into the programmer (Off-line Set)");
    CLI::Option* online = sub->add_flag("--online", online_, "Keep the setup in the settings file (On-line Test)");
    offline->excludes(online);
    sub->add_option("--product", product_, "A product of the device database, e.g. ZK40F8C12")
        ->check(CLI::Validator([](const std::string& v) { return ProductNameError("--product", v); }, "NAME"));
    CLI::Option* id = sub->add_option("--id", idHex_, "ID code as up to 14 hex digits; fewer fill from C3C3C3C3C3C3C3")
                          ->check(CLI::Validator(IdHexError, "HEX"));
    CLI::Option* idText = sub->add_option("--id-text", idText_, "ID code as a text of up to 7 characters")
                              ->check(CLI::Validator(IdTextError, "CHARS"));
    id->excludes(idText);
    sub->add_option("--power", power_, "Target power: 3, 5 or none (the target's own supply)")
        ->check(CLI::IsMember({"3", "5", "none"}));
    sub->add_flag("--fill", fill_, "Fill an ID code shorter than 7 bytes with 0xC3 without asking");
    return sub;
  }

  int run(CliContext& cli) override {
    if (sn_.empty() && !all_) {
      cli.err << "usage: setup needs --sn (one programmer or a list) or --all\n";
      return kExitUsage;
    }
    if (!like_.empty()) {
      if (online_ || !product_.empty() || !idHex_.empty() || !idText_.empty() || !power_.empty() || fill_) {
        cli.err << "usage: --like copies a programmer's whole off-line setup: it takes no --online, --product, --id, "
                   "--id-text, --power or --fill\n";
        return kExitUsage;
      }
      offline_ = true;
    }
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
    std::vector<std::string> chosen;
    if (!all_) {
      chosen = SnsOfList(sn_);
      if (!like_.empty()) chosen.push_back(SnTextOf(like_));
    }
    OpenOnlyRows(flow, chosen);
    flow.open();
    if (!RowsNameTheirProgrammers(cli, flow, chosen)) {
      flow.close();
      cli.end();
      return kExitFailed;
    }
    // The rows asked for: a programmer not detected fails the command.
    const bool many = all_ || sn_.find(',') != std::string::npos || !like_.empty();
    std::vector<std::string> sns;
    if (all_) {
      for (const MainRow& shown : flow.view().rows) {
        if (shown.sn != SnTextOf(like_)) sns.push_back(shown.sn);
      }
    } else {
      for (const int number : ParseSnList(sn_).value_or(std::vector<int>{})) sns.push_back(SnText(number));
    }
    if (!like_.empty() && std::find(sns.begin(), sns.end(), SnTextOf(like_)) != sns.end()) {
      cli.err << "usage: --like " << SnTextOf(like_) << " names a programmer that --sn sets up too\n";
      flow.close();
      cli.end();
      return kExitUsage;
    }
    if (!like_.empty()) sns.insert(sns.begin(), SnTextOf(like_));
    std::vector<MultiLoadTarget> targets;
    for (const std::string& wanted : sns) {
      int at = -1;
      for (std::size_t r = 0; r < flow.view().rows.size(); ++r) {
        if (flow.view().rows[r].sn == wanted) at = static_cast<int>(r);
      }
      if (at < 0) {
        cli.err << "ERROR: No programmer " << wanted << " is detected.\n";
        continue;
      }
      targets.push_back({wanted, flow.handles()[static_cast<std::size_t>(at)]});
    }
    if (targets.size() != sns.size() || targets.empty()) {
      if (sns.empty()) cli.err << "ERROR: No programmer is detected" << (like_.empty() ? "" : " besides the one to copy") << ".\n";
      flow.close();
      cli.end();
      return kExitFailed;
    }
    if (many && offline_) {
      const int code = runMany(cli, flow, state, targets);
      flow.close();
      const bool saved = cli.end();
      return code == kExitOk && !saved ? kExitFailed : code;
    }
    // On-line the settings file keeps one setup for every programmer: it is stored once,
    // through the first programmer's On-line Test, as for one.
    const std::string sn = targets.front().sn;
    int row = -1;
    for (std::size_t r = 0; r < flow.view().rows.size(); ++r) {
      if (flow.view().rows[r].sn == sn) row = static_cast<int>(r);
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
      if (targets.size() > 1) {
        for (std::size_t t = 0; t < targets.size(); ++t) reportSns_ += (t ? "," : "") + targets[t].sn;
      }
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
  // Off-line, several programmers at once: the same change for each, or --like's copy.
  int runMany(CliContext& cli, MainFlow& flow, AppState& state, const std::vector<MultiLoadTarget>& targets) {
    // Detection would reset the programmers under the writes.
    (void)flow;
    Protocol protocol(cli.host().bridge(), cli.host().pacer());
    std::vector<SetupLine> lines;
    if (!like_.empty()) {
      const std::vector<MultiLoadTarget> others(targets.begin() + 1, targets.end());
      lines = SetUpLike(protocol, state, targets.front(), others);
    } else {
      SetupChange change;
      if (!product_.empty()) {
        const auto line = FindProductLine(DeviceDatabasePath(state), ProductKey(product_));
        if (line.ok() && line.value) change.productLine = std::string(*line.value);
      }
      if (!idHex_.empty() || !idText_.empty()) {
        const bool stringInput = !idText_.empty();
        change.idCode = ReadIdEntry(stringInput ? idText_ : std::string(HexDigits(idHex_)), stringInput).code;
      }
      if (!power_.empty()) {
        change.power = power_ == "3" ? kPowerCode3V : power_ == "5" ? kPowerCode5V : kPowerCodeNone;
      }
      lines = SetUpProgrammers(protocol, state, targets, change);
    }
    bool allGood = true;
    json rows = json::array();
    for (const SetupLine& line : lines) {
      allGood = allGood && line.written;
      for (const LoadNote& note : line.notes) {
        const char* caption = note.kind == LoadNote::Kind::Warning ? kCaptionWarning : kCaptionError;
        cli.err << caption << ": " << line.sn << ": " << note.text << '\n';
      }
      const ProgrammerInfo& b = line.info;
      const std::string product = b[info::kNames] == 0xFF
                                      ? std::string(kNotSelect)
                                      : std::string(TrimTrailingSpaces(PrintableText(InfoMcuName(b))));
      const std::string id = HexBytes(b.data() + info::kIdCode, info::kIdCodeSize);
      const std::string power = PowerName(b[info::kPower]);
      if (cli.options.json) {
        json row{{"sn", line.sn}, {"success", line.written}};
        if (line.written) {
          row["product"] = product;
          row["idCode"] = id;
          row["power"] = power;
        } else {
          json notes = json::array();
          for (const LoadNote& note : line.notes) notes.push_back(note.text);
          row["messages"] = notes;
        }
        rows.push_back(row);
        continue;
      }
      if (line.written) {
        cli.out << line.sn << "  " << std::left << std::setw(13) << product << std::setw(16) << id << power << '\n';
      } else {
        // What a programmer that did not confirm holds is not known: no values for it.
        cli.out << line.sn << "  not set up (\"list\" shows what it holds)\n";
      }
    }
    if (cli.options.json) {
      cli.printJson(json{{"mode", "offline"}, {"like", like_.empty() ? json() : json(SnTextOf(like_))}, {"results", rows},
                         {"success", allGood}});
    }
    cli.out << std::flush;
    return allGood ? kExitOk : kExitFailed;
  }

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
    const std::string sn = online_ && !reportSns_.empty() ? reportSns_ : SnTextOf(sn_);
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
  bool all_ = false;
  std::string like_;
  std::string reportSns_;  // on-line with several programmers: all of them
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
