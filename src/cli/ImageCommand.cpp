#include "cli/ImageCommand.h"

#include "cli/MemoryCommandSupport.h"

#include <filesystem>

#include "app/HistoryLog.h"
#include "app/SettingsFile.h"
#include "cli/ConsoleHost.h"
#include "formats/ImageInput.h"
#include "flows/load/ImageOperation.h"
#include "flows/load/LoadFile.h"
#include "flows/single/OnlineProgram.h"
#include "formats/DeviceDatabase.h"
#include "formats/Hex.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

using End = ImageOperationResult::End;

// The console's messages, with the file of the command line as the one choice the open-file
// dialog gives and --base as the one answer to a binary's base-address question: a file
// refused by its tests ends the command instead of asking again.
class OneFilePrompter final : public Prompter {
public:
  OneFilePrompter(Prompter& inner, std::string file, std::optional<std::string> base)
      : inner_(inner), file_(std::move(file)), base_(std::move(base)) {}
  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text, MsgButtons buttons) override {
    return inner_.message(caption, icon, text, buttons);
  }
  MsgAnswer ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                MsgButtons buttons) override {
    return inner_.ask(id, caption, icon, text, buttons);
  }
  void fileError(const std::string& text, const std::string& reason) override { inner_.fileError(text, reason); }
  void silentFailure(const std::string& text) override { inner_.silentFailure(text); }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override {
    std::optional<std::string> file = std::move(file_);
    file_.reset();
    return file;
  }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
  std::optional<std::string> askText(const std::string&, const std::string&) override {
    std::optional<std::string> base = std::move(base_);
    base_.reset();
    return base;
  }

private:
  Prompter& inner_;
  std::optional<std::string> file_;
  std::optional<std::string> base_;
};

const char* EndName(End end) {
  switch (end) {
    case End::NoProduct: return "no-product";
    case End::NoMemoryMap: return "no-memory-map";
    case End::SetupUnreadable: return "setup-unreadable";
    case End::ChoiceCancelled: return "file-refused";
    case End::ConnectFailed: return "connect-failed";
    case End::ReloadCancelled: return "cancelled";
    case End::NameReloaded: return "name-reloaded";
    case End::HeaderFailed: return "refused";
    case End::Done: return "done";
    case End::TransferFailed: return "transfer-failed";
  }
  return "";
}

std::string Usage(CliContext& cli, const std::string& text) {
  cli.err << "usage: " << text << "\nRun with --help for the commands.\n";
  return text;
}

}  // namespace

std::string SnOptionError(const std::string& value) {
  if (!ParseSn(value)) return "--sn takes one row number 01 to 08, not \"" + value + "\"";
  return {};
}

std::string BaseOptionError(const std::string& value) {
  if (!ParseBaseAddress(value)) return "--base takes a hex address below 0x1000000, e.g. 0x4000, not \"" + value + "\"";
  return {};
}

void AddImageOptions(CLI::App& sub, ImageCommandOptions& options) {
  sub.add_option("file", options.file, "The image: S-records (.mot and others), Intel HEX (.hex, .ihex) or binary (.bin)")
      ->required()
      ->check(CLI::Validator([](const std::string& v) { return v.empty() ? std::string("FILE is empty") : std::string(); },
                             "FILE"));
  sub.add_option("--sn", options.sn, "The programmer's row, 01 to 08")
      ->required()
      ->check(CLI::Validator(SnOptionError, "SN"));
  sub.add_option("--base", options.base, "Binary images: the hex address of the first byte, e.g. 0x4000")
      ->check(CLI::Validator(BaseOptionError, "ADDR"));
}

int RunImageCommand(CliContext& cli, const ImageCommandOptions& options, bool offline) {
  // The file goes through the windows' file choice; a binary's base question is answered
  // from --base, which must then be given (and only then).
  const ImageFormat format = ImageFormatForPath(options.file);
  if (format == ImageFormat::Binary) {
    if (options.base.empty()) {
      Usage(cli, "--base is needed for a binary image: the address its first byte goes to");
      return kExitUsage;
    }
  } else if (!options.base.empty()) {
    Usage(cli, "--base is only for a binary image (.bin)");
    return kExitUsage;
  }

  if (!cli.begin()) return kExitFailed;
  SignalWatch signals;
  HostSession& session = cli.host();
  AppState& state = session.state();
  ConsoleMain main(cli);
  MainFlow& flow = main.flow;
  flow.open();
  if (!RowsNameTheirProgrammers(cli, flow)) {
    flow.close();
    return SignalWatch::exitCode(kExitFailed);
  }
  const std::string sn = SnTextOf(options.sn);
  const MainView& view = flow.view();
  int row = -1;
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    if (view.rows[r].sn == sn) row = static_cast<int>(r);
  }
  if (row < 0) {
    cli.err << "ERROR: No programmer " << sn << " is detected.\n";
    flow.close();
    return kExitFailed;
  }
  flow.selectRow(row);

  OneFilePrompter prompter(*cli.prompter, options.file,
                           options.base.empty() ? std::nullopt : std::optional<std::string>(options.base));
  if (offline) {
    const std::string answer = options.ifSame;
    if (!answer.empty()) {
      const MsgAnswer given = answer == "reload" ? MsgAnswer::Yes : answer == "name-only" ? MsgAnswer::No : MsgAnswer::Cancel;
      cli.prompter->answer(QuestionId::ReloadSameFile, given, "--if-same " + answer);
    }
  }
  Protocol protocol(session.bridge(), session.pacer());
  WindowProtocol windows(state, protocol, prompter);
  const BridgeHandle handle = state.currentHandle;
  // A product whose line cannot be read would be programmed with defaults: the command
  // stops before the programmer is touched.
  if (!offline && !LoadOnlineSetup(state, prompter)) {
    flow.close();
    return SignalWatch::exitCode(kExitFailed);
  }
  // What Off-line Set and On-line Test do before their window opens.
  state.offlineMode = offline ? 1 : 0;
  if (!windows.ResetProgrammer(handle, 1) || !windows.ReadProgrammerInfo(handle)) {
    flow.close();
    return SignalWatch::exitCode(kExitFailed);
  }

  SettingsFile settings(state.appDir + kSettingsFileName);
  HistoryLog log(state.appDir + kHistoryFileName);
  SingleOperationLog single(settings, log);
  ConsoleHost host(cli);
  ImageOperationPorts ports{state, windows, prompter, host, session.clock(), single};
  const ImageOperationResult result = offline ? LoadFile(ports) : OnlineProgram(ports);
  flow.close();

  // A history entry the log did not take is said and fails the command by the rule every
  // command follows (CliContext::finish).
  const bool cancelledAsAsked = result.end == End::ReloadCancelled && !cli.prompter->unanswered();
  const bool success = result.ok() || cancelledAsAsked;
  if (cli.options.json) {
    nlohmann::json j{{"sn", sn},
                     {"file", options.file},
                     {"result", EndName(result.end)},
                     {"success", success},
                     {"pages", result.pages},
                     {"converted", result.converted},
                     {"idCode", state.imageIdText}};
    cli.printJson(j);
  } else if (result.end == End::Done) {
    cli.out << sn << "  " << std::filesystem::path(options.file).filename().string() << ": " << result.pages
            << (result.pages == 1 ? " page " : " pages ") << (offline ? "loaded" : "programmed")
            << (result.converted ? "" : " (from the load record)") << '\n';
  }
  cli.out << std::flush;
  if (cli.prompter->unanswered()) {
    cli.err << "usage: the programmer already holds this file: say what to do with --if-same "
               "reload|name-only|cancel\n";
    return SignalWatch::exitCode(kExitUsage);
  }
  return SignalWatch::exitCode(success ? kExitOk : kExitFailed);
}

}  // namespace fd
