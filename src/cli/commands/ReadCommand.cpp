// read --sn 01 (--blocks ... | --start HEX --end HEX) -o OUT.mot [--force]: the Address
// Setting window with the range given, then the Read window until the whole range is read,
// and its save to OUT.mot. A read that stops writes nothing.
#include <filesystem>

#include "cli/BlockChoice.h"
#include "cli/ConsoleHost.h"
#include "cli/MemoryCommandSupport.h"
#include "cli/commands/Command.h"
#include "flows/memory/AddrFlow.h"
#include "flows/memory/MemoryOperations.h"
#include "flows/memory/SaveReadData.h"
#include "formats/Hex.h"
#include "link/TypeCodes.h"

namespace fd {
namespace {

// 1 to 5 hex digits: the most an address edit takes.
std::string AddressError(const std::string& option, const std::string& value) {
  if (value.empty() || value.size() > 5 || !IsAllHex(value)) {
    return option + " takes a hex address of 1 to 5 digits, not \"" + value + "\"";
  }
  return {};
}

class ReadCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("read", "Read a range of the target on one programmer into an S-record file");
    sub->add_option("--sn", sn_, "The programmer's row, e.g. 01")->required()->check([](const std::string& v) {
      return SingleSnError(v);
    });
    CLI::Option* blocks = sub->add_option("--blocks", blocks_, "From the first to the last of these blocks, e.g. 0,3")
                              ->check([](const std::string& v) { return BlockListError(v); });
    CLI::Option* start = sub->add_option("--start", start_, "First address, hex")->check([](const std::string& v) {
      return AddressError("--start", v);
    });
    CLI::Option* end = sub->add_option("--end", end_, "Last address, hex")->check([](const std::string& v) {
      return AddressError("--end", v);
    });
    start->needs(end);
    end->needs(start);
    blocks->excludes(start);
    blocks->excludes(end);
    sub->add_option("-o,--output", output_, "The S-record file to write")->required()->check([](const std::string& v) {
      return v.empty() ? std::string("-o needs a file name") : std::string();
    });
    sub->add_flag("--force", force_, "Replace the file when it exists");
    return sub;
  }

  int run(CliContext& cli) override {
    if (blocks_.empty() && start_.empty()) {
      cli.err << "usage: read needs --blocks or --start and --end\n";
      return kExitUsage;
    }
    const std::string path = WithDefaultExtension(output_);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      cli.err << "usage: " << path << " is a folder\n";
      return kExitUsage;
    }
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
      cli.err << "usage: " << path << " is not a regular file\n";
      return kExitUsage;
    }
    if (!cli.begin()) return kExitFailed;
    // Never the program's own files, --force or not: the settings, the log or the bench
    // replaced by S-records would be lost.
    std::string own;
    if (!cli.host().outputAllowed(path, "-o", own)) {
      cli.err << "usage: " << own << '\n';
      return kExitUsage;
    }
    if (std::filesystem::exists(path, error) && !force_) {
      cli.err << "usage: " << path << " exists; give --force to replace it\n";
      return kExitUsage;
    }
    SignalWatch signals;
    ConsoleMain main(cli);
    OpenOnlyRows(main.flow, {NormalizedSn(sn_)});
    main.flow.open();
    const int code = read(cli, main, path);
    main.flow.close();
    const bool saved = cli.end();
    return SignalWatch::exitCode(code == kExitOk && !saved ? kExitFailed : code);
  }

private:
  int read(CliContext& cli, ConsoleMain& main, const std::string& path) {
    if (!RowsNameTheirProgrammers(cli, main.flow, {NormalizedSn(sn_)})) return kExitFailed;
    if (!SelectProgrammer(cli, main.flow, NormalizedSn(sn_))) return kExitFailed;
    AppState& state = cli.host().state();
    if (!LoadOnlineSetup(state, *cli.prompter)) return kExitFailed;
    const int digits = TypeCodeFactsOf(state.mcuTypeCode).addressDigits;
    for (const auto* value : {&start_, &end_}) {
      if (value->size() > static_cast<std::size_t>(digits)) {
        cli.err << "usage: " << (value == &start_ ? "--start" : "--end") << " takes at most " << digits
                << " hex digits for this product, not \"" << *value << "\"\n";
        return kExitUsage;
      }
    }
    std::vector<int> rows;
    if (!blocks_.empty() && !state.productNotSelected()) {
      std::string error;
      const auto chosen = ChosenRows(LoadBlockList(state).rows, blocks_, error);
      if (!chosen) {
        cli.err << "usage: " << error << '\n';
        return kExitUsage;
      }
      rows = *chosen;
    }

    ConsoleHost host(cli);
    host.script<AddrFlow>([&](AddrFlow& flow) {
      for (int row : rows) flow.setChecked(row, true);
      if (rows.empty()) {
        flow.setStartText(start_);
        flow.setEndText(end_);
      }
      flow.ok();
    });
    const ReadFlow* reading = nullptr;
    host.script<ReadFlow>([&](ReadFlow& flow) { reading = &flow; });
    cli.prompter->saveAs = path;
    // A read that stopped writes nothing; a whole one is saved.
    cli.prompter->answer(QuestionId::SaveReadData, [&]() -> std::optional<MsgAnswer> {
      return reading && reading->complete() ? MsgAnswer::Yes : MsgAnswer::No;
    });
    cli.prompter->answer(QuestionId::OverwriteFile, force_ ? MsgAnswer::Yes : MsgAnswer::No, "--force");
    // The range is the user's to give the right way round.
    cli.prompter->answer(QuestionId::ExchangeAddresses, MsgAnswer::No);
    const ReadResult result =
        RunRead({state, cli.host().link(), *cli.prompter, cli.host().clock(), host});
    const std::string& written = result.savedPath;
    const std::size_t bytes = result.bytes;
    // The range the flags gave was refused by the Address Setting window's checks.
    const bool rangeRefused = result.end == MemoryEnd::RangeCancelled;
    const bool ok = result.ok();
    if (!result.complete && result.programmerSilent) {
      cli.err << "ERROR: The read stopped: the programmer did not answer. No file was written.\n";
    }
    if (cli.options.json) {
      cli.printJson(nlohmann::json{{"start", HexText(static_cast<std::uint32_t>(state.readStart), digits)},
                                {"end", HexText(static_cast<std::uint32_t>(state.readEnd), digits)},
                                {"bytes", bytes},
                                {"file", written},
                                {"success", ok}});
    } else if (ok) {
      cli.out << "Read " << HexText(static_cast<std::uint32_t>(state.readStart), digits) << " to "
              << HexText(static_cast<std::uint32_t>(state.readEnd), digits) << " (" << bytes << " bytes) into " << written
              << '\n';
    }
    if (rangeRefused) return kExitUsage;
    return ok ? kExitOk : kExitFailed;
  }

  std::string sn_;
  std::string blocks_;
  std::string start_;
  std::string end_;
  std::string output_;
  bool force_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeReadCommand() { return std::make_unique<ReadCommand>(); }

}  // namespace fd
