#include "cli/CliApp.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <sstream>

#include "app/InitOptionsFlow.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "cli/ConsolePorts.h"
#include "flows/main/MainFlow.h"
#include "host/HostSession.h"
#include "link/Crc16.h"
#include "link/Protocol.h"
#include "link/Clock.h"

namespace fd {
namespace {

using nlohmann::json;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted = true; }

// Opens nothing: an opener for a terminal session, where the log and manual are not shown.
class NoOpener final : public DocumentOpener {
public:
  bool openDocument(const std::string&) override { return false; }
};

std::string Hex2(unsigned value) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", value & 0xFF);
  return buf;
}

std::string PowerText(std::uint8_t code) {
  switch (code) {
    case 0x00: return "target's own";
    case 0x30: return "3 V";
    case 0x50: return "5 V";
    default: return "unknown (" + Hex2(code) + ")";
  }
}

// What `info` prints about a programmer's block.
json DecodeInfo(const ProgrammerInfo& block) {
  json j;
  const bool hasSetup = block[info::kTypeCode] != 0xFF;
  const bool hasFile = hasSetup && block[info::kFileSize] != 0xFF;
  j["setup"] = hasSetup;
  j["typeCode"] = Hex2(block[info::kTypeCode]);
  j["power"] = Hex2(block[info::kPower]);
  j["powerText"] = PowerText(block[info::kPower]);
  std::string id;
  for (std::size_t i = 0; i < info::kIdCodeSize; ++i) id += Hex2(block[info::kIdCode + i]);
  j["idCode"] = id;
  const auto texts = DetectionRowTexts(block);
  j["product"] = hasSetup ? InfoMcuName(block) : "";
  j["file"] = hasFile ? InfoFileName(block) : "";
  json blocks = json::array();
  for (std::size_t i = 0; i < info::kBlockEntries; ++i) {
    const std::uint16_t page = InfoBlockEntry(block, i);
    if (page == 0xFFFF) continue;
    char address[16];
    std::snprintf(address, sizeof address, "0x%05X", static_cast<unsigned>(page) << 8);
    blocks.push_back({{"entry", i}, {"page", page}, {"address", address}});
  }
  j["blocks"] = blocks;
  j["modifyTime"] = hasFile ? texts[2] : "";
  j["size"] = hasFile ? InfoFileSize(block) : 0;
  j["sizeText"] = hasFile ? texts[3] : "";
  j["pages"] = hasFile ? InfoPageCount(block) : 0;
  return j;
}

void PrintInfo(std::ostream& out, const json& j) {
  const auto line = [&](const char* label, const std::string& value) {
    out << std::left << std::setw(12) << label << value << '\n';
  };
  const std::string type = j["typeCode"];
  const char typeChar = static_cast<char>(std::stoi(type, nullptr, 16));
  line("Type code", type + (j["setup"].get<bool>() ? std::string(" ('") + (typeChar >= 0x20 && typeChar < 0x7F ? typeChar : '?') + "')"
                                                   : std::string(" (no setup stored)")));
  line("Power", j["power"].get<std::string>() + " (" + j["powerText"].get<std::string>() + ")");
  line("ID code", j["idCode"]);
  line("Product", j["product"]);
  if (j["file"].get<std::string>().empty() && j["size"].get<std::uint32_t>() == 0) {
    line("File", "(no file stored)");
  } else {
    std::string file = j["file"];
    file.erase(file.find_last_not_of(' ') + 1);  // stored padded with spaces
    line("File", file + ".mot");
    line("Time", j["modifyTime"]);
    line("Size", std::to_string(j["size"].get<std::uint32_t>()) + " bytes");
    line("Pages", std::to_string(j["pages"].get<unsigned>()));
  }
  std::string blocks;
  for (const auto& b : j["blocks"]) blocks += (blocks.empty() ? "" : " ") + b["address"].get<std::string>();
  line("Blocks", blocks.empty() ? "(none)" : blocks);
}

struct Cli {
  HostOptions options;
  std::ostream& out;
  std::ostream& err;
  std::unique_ptr<HostSession> session;
  std::unique_ptr<ConsolePrompter> prompter;

  bool begin() {
    std::string error;
    session = HostSession::create(options, nullptr, error);
    if (!session) {
      err << "ERROR: " << error << '\n';
      return false;
    }
    prompter = std::make_unique<ConsolePrompter>(err);
    RunStartupHeadless(session->state());
    return true;
  }

  bool end() {
    std::string error;
    if (!session->saveBench(error)) {
      err << "ERROR: " << error << '\n';
      return false;
    }
    return true;
  }
};

int CmdInfo(Cli& cli, std::uint32_t device) {
  if (!cli.begin()) return kExitFailed;
  HostSession& s = *cli.session;
  Bridge& bridge = s.bridge();
  Protocol protocol(s.state(), bridge, s.pacer(), *cli.prompter);
  std::uint32_t count = 0;
  bridge.BridgeGetNumDevices(count);
  if (device >= count) {
    cli.err << "ERROR: No programmer at device " << device << " (" << count << " attached).\n";
    return kExitFailed;
  }
  BridgeHandle handle = kNoHandle;
  if (bridge.BridgeOpen(device, handle) != kBridgeOk) {
    cli.err << "ERROR: Can not open the programmer!\n";
    return kExitFailed;
  }
  bridge.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
  if (bridge.BridgeSetBaudRate(handle, kNormalBaud) != kBridgeOk ||
      bridge.BridgeSetLineControl(handle, kLineControl8N1) != kBridgeOk) {
    bridge.BridgeClose(handle);
    cli.err << "ERROR: Can not set up the link to the programmer!\n";
    return kExitFailed;
  }
  if (!protocol.ResetProgrammer(handle, 0)) {
    bridge.BridgeClose(handle);
    return kExitFailed;
  }
  if (!protocol.ReadProgrammerInfo(handle)) {
    cli.err << "ERROR: Can not get information!\n";
    return kExitFailed;
  }
  bridge.BridgeClose(handle);
  const json decoded = DecodeInfo(s.state().programmerInfo);
  if (cli.options.json) {
    cli.out << decoded.dump(2) << '\n';
  } else {
    PrintInfo(cli.out, decoded);
  }
  return cli.end() ? kExitOk : kExitFailed;
}

// A main-window flow driven by the console's timer loop.
struct ConsoleMain {
  explicit ConsoleMain(Cli& cli)
      : timers(cli.session->clock()),
        flow({cli.session->state(), cli.session->bridge(), cli.session->pacer(), *cli.prompter, timers,
              opener, {}}) {}
  ConsoleTimers timers;
  NoOpener opener;
  MainFlow flow;
};

json RowsJson(const MainView& view) {
  json rows = json::array();
  const auto columns = ColumnsOf(view.columns);
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    const MainRow& row = view.rows[r];
    json j{{"sn", row.sn}, {"checked", row.checked}, {"selected", view.selectedRow == static_cast<int>(r)}};
    for (std::size_t c = 0; c < row.cells.size() && c + 1 < columns.size(); ++c) {
      std::string key = columns[c + 1].title.empty() ? "percent" : columns[c + 1].title;
      j[key] = row.cells[c];
    }
    rows.push_back(j);
  }
  return rows;
}

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

int CmdList(Cli& cli) {
  if (!cli.begin()) return kExitFailed;
  ConsoleMain main(cli);
  main.flow.open();
  const MainView& view = main.flow.view();
  if (cli.options.json) {
    cli.out << json{{"status", view.statusText}, {"rows", RowsJson(view)}}.dump(2) << '\n';
  } else {
    PrintRows(cli.out, view);
  }
  main.flow.close();
  return cli.end() ? kExitOk : kExitFailed;
}

std::string RunLine(const MainRow& row, const MainView& view, std::size_t r) {
  std::ostringstream line;
  line << row.sn << "  " << std::left << std::setw(34) << row.cells[0];
  if (view.progress[r].visible) line << std::right << std::setw(4) << row.cells[2];
  return line.str();
}

int CmdGang(Cli& cli, const std::string& snList) {
  if (!cli.begin()) return kExitFailed;
  ConsoleMain main(cli);
  MainFlow& flow = main.flow;
  flow.open();
  const MainView& view = flow.view();

  std::set<std::string> chosen;
  if (!snList.empty()) {
    std::stringstream in(snList);
    for (std::string sn; std::getline(in, sn, ',');) {
      if (sn.size() == 1) sn = "0" + sn;
      const bool known = std::any_of(view.rows.begin(), view.rows.end(), [&](const MainRow& row) { return row.sn == sn; });
      if (!known) {
        cli.err << "ERROR: No programmer " << sn << " is detected.\n";
        flow.close();
        return kExitUsage;
      }
      chosen.insert(sn);
    }
  }
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    const MainRow& row = view.rows[r];
    // By default every programmer that holds a setup takes part.
    const bool take = snList.empty() ? row.cells[0] != "      ??????" : chosen.count(row.sn) != 0;
    flow.setChecked(static_cast<int>(r), take);
  }

  const std::size_t shownBefore = cli.prompter->shown().size();
  flow.startButton();
  if (flow.runPhase != 1) {
    flow.close();
    return cli.prompter->shown().size() > shownBefore ? kExitFailed : kExitUsage;
  }
  std::array<int, kMaxProgrammers> taking{};
  for (int r = 0; r < kMaxProgrammers; ++r) taking[r] = flow.ticked[r];

  gInterrupted = false;
  auto previous = std::signal(SIGINT, OnInterrupt);
  const bool live = !cli.options.json && isatty(STDOUT_FILENO) && &cli.out == &std::cout;
  std::vector<std::string> lastLines(view.rows.size());
  bool drawn = false;
  const auto show = [&] {
    if (cli.options.json) return;
    if (live) {
      if (drawn) cli.out << "\x1b[" << view.rows.size() << "A";
      for (std::size_t r = 0; r < view.rows.size(); ++r) cli.out << "\r\x1b[2K" << RunLine(view.rows[r], view, r) << '\n';
      cli.out << std::flush;
      drawn = true;
      return;
    }
    for (std::size_t r = 0; r < view.rows.size(); ++r) {
      const std::string line = RunLine(view.rows[r], view, r);
      if (line != lastLines[r]) cli.out << line << '\n';
      lastLines[r] = line;
    }
  };
  show();
  while (flow.runPhase == 1) {
    if (gInterrupted) {
      flow.startButton();  // Cancel
      break;
    }
    const int id = main.timers.waitNext();
    if (id < 0) break;
    flow.onTimer(id);
    if (id == kTimerGangRun) show();
  }
  std::signal(SIGINT, previous);

  bool allGood = true;
  json results = json::array();
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    if (!taking[r]) continue;
    const bool good = flow.ticked[r] && flow.resultCodes[r] == 0;
    allGood = allGood && good;
  }
  if (cli.options.json) {
    for (std::size_t r = 0; r < view.rows.size(); ++r) {
      json j = RowsJson(view)[r];
      j["taking"] = taking[r] != 0;
      j["resultCode"] = Hex2(flow.resultCodes[r]);
      results.push_back(j);
    }
    cli.out << json{{"results", results}, {"success", allGood}}.dump(2) << '\n';
  } else {
    cli.out << "Result:\n";
    for (const MainRow& row : view.rows) {
      cli.out << row.sn << "  " << std::left << std::setw(34) << row.cells[0] << (row.cells.size() > 1 ? row.cells[1] : "")
              << '\n';
    }
  }
  flow.startButton();  // Back: the gang record, then a fresh detection
  flow.close();
  if (!cli.end()) return kExitFailed;
  return allGood ? kExitOk : kExitFailed;
}

int CmdOptions(Cli& cli, const std::string& log, const std::string& id) {
  if (!cli.begin()) return kExitFailed;
  SettingsFile settings(cli.session->state().appDir + kSettingsFileName);
  InitOptionsFlow flow(settings);
  flow.open();
  if (!log.empty()) flow.setLogChecked(log == "on");
  if (!id.empty()) {
    if (!flow.view().idEnabled && id == "on") {
      cli.err << "WARNING: The ID code is saved only while the log is on.\n";
    }
    flow.setIdChecked(id == "on");
  }
  if (!log.empty() || !id.empty()) flow.ok();
  const std::string logValue = settings.read(kSectionLog, kKeyAutoSaveLog);
  const std::string idValue = settings.read(kSectionLog, kKeyAutoSaveId);
  if (cli.options.json) {
    cli.out << json{{"autoSaveLog", logValue == "1"}, {"autoSaveId", idValue == "1"}}.dump(2) << '\n';
  } else {
    cli.out << "Auto save log: " << (logValue == "1" ? "on" : "off") << '\n'
            << "Auto save ID:  " << (idValue == "1" ? "on" : "off") << '\n';
  }
  return cli.end() ? kExitOk : kExitFailed;
}

}  // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{"Flashdock command line: the programmers and their gang runs from a terminal.", "flashdock-cli"};
  app.require_subcommand(1);
  HostOptions options;
  app.add_option("--simulate", options.simulate, "Simulated bench: N fresh programmers, 'demo', or a bench file (.json)");
  app.add_option("--app-dir", options.appDir, "Folder of the settings, log and load-record files");
  app.add_option("--trace", options.tracePath, "Write every bridge call to this file");
  app.add_flag("--json", options.json, "Print results as JSON");
  app.add_flag("--virtual-time", options.virtualTime, "Run a simulated bench on virtual time (no real waiting)");

  std::uint32_t device = 0;
  auto* info = app.add_subcommand("info", "Reset one programmer and show its stored setup");
  info->add_option("--device", device, "Device index (0 = first attached)")->required();

  auto* list = app.add_subcommand("list", "Show the attached programmers as the main window lists them");

  std::string sn;
  auto* gang = app.add_subcommand("gang", "Run Erase-Program-Verify on several programmers at once");
  gang->add_option("--sn", sn, "Rows to run, e.g. 01,03 (default: every row with a setup)");

  std::string log, id;
  auto* opts = app.add_subcommand("options", "Show or set the history log options");
  opts->add_option("--auto-save-log", log, "Record operations in the history log")->check(CLI::IsMember({"on", "off"}));
  opts->add_option("--auto-save-id", id, "Record the ID code with each load")->check(CLI::IsMember({"on", "off"}));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) {
      out << app.help();
      return kExitOk;
    }
    err << "usage: " << e.what() << '\n' << "Run with --help for the commands.\n";
    return kExitUsage;
  }

  Cli cli{options, out, err, nullptr, nullptr};
  if (*info) return CmdInfo(cli, device);
  if (*list) return CmdList(cli);
  if (*gang) return CmdGang(cli, sn);
  if (*opts) return CmdOptions(cli, log, id);
  return kExitUsage;
}

}  // namespace fd
