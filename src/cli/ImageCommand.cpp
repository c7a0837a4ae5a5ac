#include "cli/ImageCommand.h"

#include "cli/MemoryCommandSupport.h"

#include <algorithm>
#include <filesystem>

#include "app/HistoryLog.h"
#include "app/SettingsFile.h"
#include "cli/ConsoleHost.h"
#include "formats/ImageInput.h"
#include "flows/load/ImageOperation.h"
#include "flows/load/LoadFile.h"
#include "flows/load/MultiLoad.h"
#include "flows/load/ChooseImageFile.h"
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

std::string SnListOptionError(const std::string& value) {
  const std::optional<std::vector<int>> numbers = ParseSnList(value);
  if (value.empty() || !numbers) {
    return "--sn takes row numbers 01 to 08 separated by commas, not \"" + value + "\"";
  }
  std::vector<int> seen;
  for (const int n : *numbers) {
    if (std::find(seen.begin(), seen.end(), n) != seen.end()) return "--sn names " + SnText(n) + " twice";
    seen.push_back(n);
  }
  return {};
}

void AnswerReloadQuestionFrom(CliContext& cli, const std::string& ifSame) {
  if (ifSame.empty()) return;
  const MsgAnswer given = ifSame == "reload" ? MsgAnswer::Yes : ifSame == "name-only" ? MsgAnswer::No : MsgAnswer::Cancel;
  cli.prompter->answer(QuestionId::ReloadSameFile, given, "--if-same " + ifSame);
}

void AddImageOptions(CLI::App& sub, ImageCommandOptions& options, bool many) {
  sub.add_option("file", options.file, "The image: S-records (.mot and others), Intel HEX (.hex, .ihex) or binary (.bin)")
      ->required()
      ->check(CLI::Validator([](const std::string& v) { return v.empty() ? std::string("FILE is empty") : std::string(); },
                             "FILE"));
  if (many) {
    CLI::Option* sn = sub.add_option("--sn", options.sn, "The programmers' rows, e.g. 01 or 01,03")
                          ->check(CLI::Validator(SnListOptionError, "SN[,SN...]"));
    CLI::Option* all = sub.add_flag("--all", options.all, "Every programmer listed");
    sn->excludes(all);
  } else {
    sub.add_option("--sn", options.sn, "The programmer's row, 01 to 08")
        ->required()
        ->check(CLI::Validator(SnOptionError, "SN"));
  }
  sub.add_option("--base", options.base, "Binary images: the hex address of the first byte, e.g. 0x4000")
      ->check(CLI::Validator(BaseOptionError, "ADDR"));
}

namespace {

// --base given where the file needs it, and only there: the file goes through the windows'
// file choice, and a binary's base question is answered from --base. False after the usage
// message.
bool BaseFitsFile(CliContext& cli, const ImageCommandOptions& options) {
  if (ImageFormatForPath(options.file) == ImageFormat::Binary) {
    if (options.base.empty()) {
      Usage(cli, "--base is needed for a binary image: the address its first byte goes to");
      return false;
    }
  } else if (!options.base.empty()) {
    Usage(cli, "--base is only for a binary image (.bin)");
    return false;
  }
  return true;
}

std::optional<std::string> BaseAnswer(const ImageCommandOptions& options) {
  return options.base.empty() ? std::nullopt : std::optional<std::string>(options.base);
}

// The notes of a programmer's line on stderr, each as the message box would say it, with
// the programmer's SN so that eight programmers' messages can be told apart.
void PrintNotes(CliContext& cli, const MultiLoadLine& line, std::size_t from) {
  for (std::size_t n = from; n < line.notes.size(); ++n) {
    const LoadNote& note = line.notes[n];
    const char* caption = note.kind == LoadNote::Kind::Error     ? kCaptionError
                          : note.kind == LoadNote::Kind::Warning ? kCaptionWarning
                                                                 : kCaptionInfo;
    std::string text = note.text;
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) text.replace(at, 1, " ");
    cli.err << caption << ": " << line.sn << ": " << text << '\n';
  }
}

const char* LineStateName(LoadLineState state) {
  switch (state) {
    case LoadLineState::Ready: return "not-started";
    case LoadLineState::Describing:
    case LoadLineState::Sending:
    case LoadLineState::Finishing: return "loading";
    case LoadLineState::Loaded: return "done";
    case LoadLineState::NameReloaded: return "name-reloaded";
    case LoadLineState::Kept: return "cancelled";
    case LoadLineState::Failed: return "failed";
    case LoadLineState::Cancelled: return "interrupted";
  }
  return "";
}

// "01  [##########          ]  50%  Remain time: 12s" while loading, its state after.
std::string MultiLoadProgressLine(const MultiLoadLine& line) {
  std::string text = line.sn + "  ";
  if (line.working()) {
    const int width = 30;
    const int filled = line.percent * width / 100;
    text += "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] ";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", line.percent);
    text += percent;
    if (!line.remainText.empty()) text += "  " + line.remainText;
    return text;
  }
  if (line.state == LoadLineState::Ready) return text + "waiting";
  return text + MultiLoadResultText(line);
}

}  // namespace

int RunMultiLoad(CliContext& cli, const ImageCommandOptions& options) {
  if (!BaseFitsFile(cli, options)) return kExitUsage;
  if (!cli.begin()) return kExitFailed;
  SignalWatch signals;
  HostSession& session = cli.host();
  AppState& state = session.state();
  ConsoleMain main(cli);
  MainFlow& flow = main.flow;
  const std::vector<std::string> chosen = options.all ? std::vector<std::string>{} : SnsOfList(options.sn);
  OpenOnlyRows(flow, chosen);
  flow.open();
  if (!RowsNameTheirProgrammers(cli, flow, chosen)) {
    flow.close();
    return SignalWatch::exitCode(kExitFailed);
  }
  // The rows asked for, each one detected; --all: every row listed.
  const MainView& view = flow.view();
  std::vector<MultiLoadTarget> targets;
  const auto rowOf = [&](const std::string& sn) {
    for (std::size_t r = 0; r < view.rows.size(); ++r) {
      if (view.rows[r].sn == sn) return static_cast<int>(r);
    }
    return -1;
  };
  if (options.all) {
    for (std::size_t r = 0; r < view.rows.size(); ++r) targets.push_back({view.rows[r].sn, flow.handles()[r]});
    if (targets.empty()) {
      cli.err << "ERROR: No programmer is detected.\n";
      flow.close();
      return SignalWatch::exitCode(kExitFailed);
    }
  } else {
    bool missing = false;
    for (const int number : ParseSnList(options.sn).value_or(std::vector<int>{})) {
      const int row = rowOf(SnText(number));
      if (row < 0) {
        cli.err << "ERROR: No programmer " << SnText(number) << " is detected.\n";
        missing = true;
        continue;
      }
      targets.push_back({SnText(number), flow.handles()[static_cast<std::size_t>(row)]});
    }
    if (missing) {
      flow.close();
      return SignalWatch::exitCode(kExitFailed);
    }
  }
  // Detection would reset the programmers under the load.
  main.timers.stop(kTimerDetection);

  OneFilePrompter prompter(*cli.prompter, options.file, BaseAnswer(options));
  AnswerReloadQuestionFrom(cli, options.ifSame);
  Protocol protocol(session.bridge(), session.pacer());
  SettingsFile settings(state.appDir + kSettingsFileName);
  HistoryLog log(state.appDir + kHistoryFileName);
  SingleOperationLog single(settings, log);
  state.offlineMode = 1;
  MultiLoadPorts ports{state, protocol, main.timers, session.clock(), single, {}};
  ports.askReload = [&](const MultiLoadLine& line) {
    cli.err << "INFO: " << line.sn << ": the programmer already holds this file.\n";
    return prompter.ask(QuestionId::ReloadSameFile, kCaptionInfo, MsgIcon::Question, kMsgReloadQuestion,
                        MsgButtons::YesNoCancel);
  };
  MultiLoad load(ports);
  const bool anyReady = load.prepare(targets);
  std::optional<ChosenImage> image;
  if (anyReady) {
    // The file's own tests once; each programmer's memory map is tested by the load.
    image = ImageFileChooser(prompter, state)(kSelectLoadFileTitle, false);
  }
  if (image) {
    load.start(*image);
  } else {
    load.endWithoutImage();
  }

  const bool live = cli.liveOutput() && !cli.options.json;
  std::vector<std::string> lastLines(load.lines().size());
  std::string lastProgress;
  std::vector<std::size_t> notesShown(load.lines().size(), 0);
  bool drawn = false;
  const auto show = [&](bool last) {
    if (cli.options.json) return;
    const auto& lines = load.lines();
    if (live) {
      if (drawn) cli.out << "\x1b[" << lines.size() << "A";
      for (const MultiLoadLine& line : lines) cli.out << "\r\x1b[2K" << MultiLoadProgressLine(line) << '\n';
      cli.out << std::flush;
      drawn = true;
    } else {
      // One line for all of them when any programmer's tenth changes; a line of its own
      // when it ends.
      std::string progress;
      for (const MultiLoadLine& line : lines) {
        if (line.working()) progress += "  " + line.sn + " " + std::to_string(line.percent / 10 * 10) + "%";
      }
      if (!progress.empty() && progress != lastProgress) cli.out << progress.substr(2) << '\n';
      lastProgress = progress;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        const MultiLoadLine& line = lines[i];
        if (line.working() || (line.state == LoadLineState::Ready && !last)) continue;
        const std::string shown = MultiLoadProgressLine(line);
        if (shown != lastLines[i]) cli.out << shown << '\n';
        lastLines[i] = shown;
      }
      cli.out << std::flush;
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].working()) continue;
      PrintNotes(cli, lines[i], notesShown[i]);
      notesShown[i] = lines[i].notes.size();
    }
  };
  show(false);
  bool cancelled = false;
  while (load.running()) {
    if (!cancelled && cli.stopRequested()) {
      load.cancel();
      cancelled = true;
    }
    const int id = main.timers.waitNext();
    if (id < 0) break;
    if (id != kTimerMultiLoad) {
      main.timers.stop(id);
      continue;
    }
    load.onTimer(id);
    show(false);
  }
  show(true);
  flow.close();

  // A record the history log did not take is said once by the rule every command follows
  // (CliContext::finish), which also fails the command.
  bool allGood = true;
  for (const MultiLoadLine& line : load.lines()) {
    const bool keptAsAsked = line.state == LoadLineState::Kept && !cli.prompter->unanswered();
    if (!line.succeeded() && !keptAsAsked) allGood = false;
  }
  if (cli.options.json) {
    nlohmann::json rows = nlohmann::json::array();
    for (const MultiLoadLine& line : load.lines()) {
      nlohmann::json notes = nlohmann::json::array();
      for (const LoadNote& note : line.notes) notes.push_back(note.text);
      rows.push_back({{"sn", line.sn},
                      {"result", LineStateName(line.state)},
                      {"success", line.succeeded()},
                      {"pages", line.pagesSent},
                      {"idCode", line.idText},
                      {"messages", notes}});
    }
    cli.printJson(nlohmann::json{{"file", options.file}, {"converted", load.converted()}, {"results", rows}, {"success", allGood}});
  } else {
    const std::string name = std::filesystem::path(options.file).filename().string();
    for (const MultiLoadLine& line : load.lines()) {
      if (line.state != LoadLineState::Loaded) continue;
      cli.out << line.sn << "  " << name << ": " << line.pagesSent << (line.pagesSent == 1 ? " page " : " pages ")
              << "loaded" << (load.converted() ? "" : " (from the load record)") << '\n';
    }
  }
  cli.out << std::flush;
  if (cli.prompter->unanswered()) {
    cli.err << "usage: a programmer already holds this file: say what to do with --if-same "
               "reload|name-only|cancel\n";
    return SignalWatch::exitCode(kExitUsage);
  }
  return SignalWatch::exitCode(allGood ? kExitOk : kExitFailed);
}

int RunImageCommand(CliContext& cli, const ImageCommandOptions& options, bool offline) {
  if (offline && (options.all || options.sn.find(',') != std::string::npos)) return RunMultiLoad(cli, options);
  if (options.sn.empty()) {
    Usage(cli, "load needs --sn (one programmer or a list) or --all");
    return kExitUsage;
  }
  if (!BaseFitsFile(cli, options)) return kExitUsage;

  if (!cli.begin()) return kExitFailed;
  SignalWatch signals;
  HostSession& session = cli.host();
  AppState& state = session.state();
  ConsoleMain main(cli);
  MainFlow& flow = main.flow;
  OpenOnlyRows(flow, {SnTextOf(options.sn)});
  flow.open();
  const std::string sn = SnTextOf(options.sn);
  if (!RowsNameTheirProgrammers(cli, flow, {sn})) {
    flow.close();
    return SignalWatch::exitCode(kExitFailed);
  }
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

  OneFilePrompter prompter(*cli.prompter, options.file, BaseAnswer(options));
  if (offline) AnswerReloadQuestionFrom(cli, options.ifSame);
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
