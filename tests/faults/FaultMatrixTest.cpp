// The fault matrix: every operation on a programmer under every fault the simulated bench
// can show, each run whole through the command line on virtual time, beside a second
// programmer that must not notice. A cell checks that the operation ends within its bound
// with its message and exit code, that the other programmer is unaffected, that no file is
// left half-written or claiming what it does not hold, that the run log and the history log
// say what happened, and that the same operation works once the fault is cleared.
//
// A run of every cell writes the table into the build folder (reliability.md), which
// `./dev.sh reports` copies to docs/reliability.md.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "app/RunLog.h"
#include "cli/CliFixture.h"
#include "faults/ReliabilityReport.h"
#include "flows/common/WindowProtocol.h"
#include "formats/FileLock.h"
#include "formats/LoadRecord.h"
#include "host/SessionEndTestHook.h"
#include "link/Clock.h"
#include "link/ProgrammerInfo.h"
#include "sim/SimBench.h"
#include "sim/SimBenchFile.h"
#include "support/SRecordText.h"

namespace fd::test {
namespace {

using ::testing::HasSubstr;

// Every long command gets a time-out as a safety net: a cell that ends by it says so.
constexpr const char* kTimeout = "120";
// A gang run waits for Cancel while a programmer runs: this is its Cancel.
constexpr const char* kGangTimeout = "60";

// What the other programmer shows after the run.
enum class Bystander {
  kUntouched,  // its store and target as before
  kDone,       // its own part of the operation done (gang run, load and header write of both)
};

struct OperationPlan {
  Operation op;
  std::vector<std::string> args;  // "app.mot", "new.mot" and "out.mot" stand for files in the app folder
  const char* runLog;             // the run log's operation; "" for one that writes none
  Bystander bystander;
  int boundSeconds;               // it ends within this, whatever the fault
  // With no error said, the result is the first output line (else the last); a gang run's
  // is the faulted programmer's row of the results.
  bool resultFirst;
};

const std::vector<OperationPlan>& Plans() {
  static const std::vector<OperationPlan> plans = {
      {Operation::kDetection, {"list"}, "", Bystander::kUntouched, 5, true},
      {Operation::kGang, {"gang", "--timeout", kGangTimeout}, "gang", Bystander::kDone, 65, false},
      {Operation::kHeaderWrite,
       {"setup", "--sn", "01,02", "--offline", "--product", "ZK40G16B", "--id", "C3C3C3C3C3C3C3", "--power", "3"},
       "",
       Bystander::kDone,
       5,
       false},
      {Operation::kLoad,
       {"load", "app.mot", "--sn", "01,02", "--if-same", "reload", "--timeout", kTimeout},
       "load",
       Bystander::kDone,
       45,
       false},
      {Operation::kProgram, {"program", "app.mot", "--sn", "02", "--timeout", kTimeout}, "program",
       Bystander::kUntouched, 45, false},
      {Operation::kErase, {"erase", "--sn", "02", "--all", "--timeout", kTimeout}, "erase", Bystander::kUntouched, 20,
       false},
      {Operation::kRead, {"read", "--sn", "02", "--blocks", "0", "-o", "out.mot", "--timeout", kTimeout}, "read",
       Bystander::kUntouched, 10, false},
      {Operation::kUpdate, {"update-firmware", "new.mot", "--yes", "--timeout", kTimeout}, "update-firmware",
       Bystander::kUntouched, 10, false},
  };
  return plans;
}

const OperationPlan& PlanOf(Operation op) {
  return *std::find_if(Plans().begin(), Plans().end(), [op](const OperationPlan& s) { return s.op == op; });
}

// One cell: an operation, a fault of the faulted programmer, and what the user must see.
struct Cell {
  Operation op;
  Fault fault;
  const char* stage = "";    // an error code's command, stage and code, as the table names them
  const char* bench = "";    // the faulted programmer's "faults" in the bench file; none when unplugged
  const char* message = "";  // the first line the user sees (FirstMessage)
  int exit = 1;
  std::optional<int> code{};  // the error code the run log records for the faulted programmer
  bool logged = true;        // the faulted programmer gets a run log line (where the operation writes them)
  bool timesOut = false;     // only --timeout ends the run (the run log says canceled)
  std::optional<Bystander> bystander{};  // where it differs from the operation's
};

using O = Operation;
using F = Fault;

// clang-format off
const std::vector<Cell> kCells = {
    // ---- detection
    {O::kDetection, F::kUnplugged, "", "",
     "Only 1 programmer is detected", 0},
    {O::kDetection, F::kLinkLost, "", R"({"linkLostAfter": 50})",
     "Programmer 02 (device index 1) got no row: it did not give its information block", 1},
    {O::kDetection, F::kBusyForever, "", R"({"busyAfterReset": true})",
     "Can not reset the programmer!", 1},
    {O::kDetection, F::kErrorCode, "I info, 0x12", R"({"errors": [{"command": "I", "code": 18}]})",
     "Programmer 02 (device index 1) got no row: it did not give its information block", 1},
    {O::kDetection, F::kShortAnswer, "", R"({"errors": [{"command": "I", "shortAnswer": 40}]})",
     "Programmer 02 (device index 1) got no row: it did not give its information block", 1},
    {O::kDetection, F::kNoAnswer, "", R"({"errors": [{"command": "I", "noAnswer": true}]})",
     "Programmer 02 (device index 1) got no row: it did not give its information block", 1},
    // ---- gang run
    {O::kGang, F::kUnplugged, "", "",
     "Passed: 1  Failed: 0  Total: 1", 0, {}, false},
    {O::kGang, F::kLinkLost, "", R"({"linkLostAfter": 150})",
     "02 Break due to clicking cancel! Cancel", 1},
    {O::kGang, F::kBusyForever, "", R"({"busyAfterCommands": "S"})",
     "The time-out of 60 s (--timeout) ended the run as Cancel would.", 1, {}, true, true},
    {O::kGang, F::kErrorCode, "S connect, 0x33", R"({"errors": [{"command": "S", "stage": "connect", "code": 51}]})",
     "02 Break during connecting! Target is not powered", 1, 0x33},
    {O::kGang, F::kErrorCode, "S id, 0x40", R"({"errors": [{"command": "S", "stage": "id", "code": 64}]})",
     "02 Break during ID check! ID not match", 1, 0x40},
    {O::kGang, F::kErrorCode, "S erase, 0x50", R"({"errors": [{"command": "S", "stage": "erase", "code": 80}]})",
     "02 Break during erase target! Can not erase target", 1, 0x50},
    {O::kGang, F::kErrorCode, "S program, 0x60", R"({"errors": [{"command": "S", "stage": "program", "code": 96}]})",
     "02 Break during programming Program error", 1, 0x60},
    {O::kGang, F::kErrorCode, "S verify, 0x13", R"({"errors": [{"command": "S", "stage": "verify", "code": 19}]})",
     "02 Break during programming! Program verify error", 1, 0x13},
    {O::kGang, F::kNoAnswer, "", R"({"errors": [{"command": "S", "stage": "program", "noAnswer": true}]})",
     "The time-out of 60 s (--timeout) ended the run as Cancel would.", 1, {}, true, true},
    // ---- header write
    {O::kHeaderWrite, F::kUnplugged, "", "",
     "No programmer 02 is detected.", 1, {}, true, false, Bystander::kUntouched},
    {O::kHeaderWrite, F::kLinkLost, "", R"({"linkLostAfter": 130})",
     "02: The programmer did not give its information block.", 1},
    {O::kHeaderWrite, F::kBusyForever, "", R"({"busyAfterCommands": "B"})",
     "02: Time out error!", 1},
    {O::kHeaderWrite, F::kErrorCode, "B ack, 0x12", R"({"errors": [{"command": "B", "stage": "ack", "code": 18}]})",
     "02: Verify error of communication between PC and the programmer!", 1},
    {O::kHeaderWrite, F::kErrorCode, "B header, 0x23",
     R"({"errors": [{"command": "B", "stage": "header", "code": 35}]})",
     "02: Can not write to the on-board external flash!", 1},
    {O::kHeaderWrite, F::kBadCrc, "", R"({"corruptFrames": "header"})",
     "02: Verify error of communication between PC and the programmer!", 1},
    {O::kHeaderWrite, F::kNoAnswer, "", R"({"errors": [{"command": "B", "stage": "header", "noAnswer": true}]})",
     "02: The programmer did not take the new setup.", 1},
    // ---- off-line load
    {O::kLoad, F::kUnplugged, "", "",
     "No programmer 02 is detected.", 1, {}, false, false, Bystander::kUntouched},
    {O::kLoad, F::kLinkLost, "", R"({"linkLostAfter": 600})",
     "02: Unknown error!", 1},
    {O::kLoad, F::kBusyForever, "", R"({"busyAfterCommands": "D"})",
     "02: Time out error!", 1},
    {O::kLoad, F::kErrorCode, "D erase, 0x22", R"({"errors": [{"command": "D", "stage": "erase", "code": 34}]})",
     "02: Can not erase the on-board external flash!", 1, 0x22},
    {O::kLoad, F::kErrorCode, "D header, 0x23", R"({"errors": [{"command": "D", "stage": "header", "code": 35}]})",
     "02: Can not write to the on-board external flash!", 1, 0x23},
    {O::kLoad, F::kErrorCode, "D descriptor, 0x12",
     R"({"errors": [{"command": "D", "stage": "descriptor", "code": 18}]})",
     "02: Verify error of communication between PC and the programmer!", 1, 0x12},
    {O::kLoad, F::kErrorCode, "D page, 0x23", R"({"errors": [{"command": "D", "stage": "page", "code": 35}]})",
     "02: Can not write to the on-board external flash!", 1, 0x23},
    {O::kLoad, F::kErrorCode, "D finish, 0x23", R"({"errors": [{"command": "D", "stage": "finish", "code": 35}]})",
     "02: Can not write to the on-board external flash!", 1, 0x23},
    {O::kLoad, F::kBadCrc, "", R"({"corruptFrames": "page"})",
     "02: Verify error of communication between PC and the programmer!", 1, 0x12},
    {O::kLoad, F::kNoAnswer, "", R"({"errors": [{"command": "D", "stage": "finish", "noAnswer": true}]})",
     "02: Unknown error!", 1},
    // ---- on-line program
    {O::kProgram, F::kUnplugged, "", "",
     "No programmer 02 is detected.", 1, {}, false},
    {O::kProgram, F::kLinkLost, "", R"({"linkLostAfter": 500})",
     "Unknown error!", 1},
    {O::kProgram, F::kBusyForever, "", R"({"busyAfterCommands": "P"})",
     "Time out error!", 1},
    {O::kProgram, F::kErrorCode, "C connect, 0x33", R"({"errors": [{"command": "C", "code": 51}]})",
     "Target is not powered!", 1, 0x33},
    {O::kProgram, F::kErrorCode, "U id, 0x40", R"({"errors": [{"command": "U", "code": 64}]})",
     "ID code is not match!", 1, 0x40},
    {O::kProgram, F::kErrorCode, "P descriptor, 0x12",
     R"({"errors": [{"command": "P", "stage": "descriptor", "code": 18}]})",
     "Verify error of communication between PC and the programmer!", 1, 0x12},
    {O::kProgram, F::kErrorCode, "P page, 0x60", R"({"errors": [{"command": "P", "stage": "page", "code": 96}]})",
     "Program to the target end with error!", 1, 0x60},
    {O::kProgram, F::kErrorCode, "P finish, 0x13", R"({"errors": [{"command": "P", "stage": "finish", "code": 19}]})",
     "Program the target with verify error!", 1, 0x13},
    {O::kProgram, F::kBadCrc, "", R"({"corruptFrames": "page"})",
     "Verify error of communication between PC and the programmer!", 1, 0x12},
    {O::kProgram, F::kNoAnswer, "", R"({"errors": [{"command": "P", "stage": "finish", "noAnswer": true}]})",
     "Unknown error!", 1},
    // ---- erase
    {O::kErase, F::kUnplugged, "", "",
     "No programmer 02 is detected.", 1, {}, false},
    {O::kErase, F::kLinkLost, "", R"({"linkLostAfter": 125})",
     "Can not send the erase command to the programmer!", 1},
    {O::kErase, F::kBusyForever, "", R"({"busyAfterCommands": "E"})",
     "Time out error!", 1},
    {O::kErase, F::kErrorCode, "C connect, 0x32", R"({"errors": [{"command": "C", "code": 50}]})",
     "No target is connected!", 1, 0x32},
    {O::kErase, F::kErrorCode, "U id, 0x40", R"({"errors": [{"command": "U", "code": 64}]})",
     "ID code is not match!", 1, 0x40},
    {O::kErase, F::kErrorCode, "E erase, 0x50", R"({"errors": [{"command": "E", "code": 80}]})",
     "Can not erase the target!", 1, 0x50},
    {O::kErase, F::kNoAnswer, "", R"({"errors": [{"command": "E", "noAnswer": true}]})",
     "Time out error!", 1},
    // ---- read
    {O::kRead, F::kUnplugged, "", "",
     "No programmer 02 is detected.", 1, {}, false},
    {O::kRead, F::kLinkLost, "", R"({"linkLostAfter": 900})",
     "Can not reset the programmer!", 1},
    {O::kRead, F::kBusyForever, "", R"({"busyAfterCommands": "R"})",
     "Time out error!", 1},
    {O::kRead, F::kErrorCode, "C connect, 0x32", R"({"errors": [{"command": "C", "code": 50}]})",
     "No target is connected!", 1, 0x32},
    {O::kRead, F::kErrorCode, "U id, 0x40", R"({"errors": [{"command": "U", "code": 64}]})",
     "ID code is not match!", 1, 0x40},
    {O::kRead, F::kErrorCode, "R read, 0x70", R"({"errors": [{"command": "R", "code": 112}]})",
     "No target is connected!", 1, 0x70},
    {O::kRead, F::kBadCrc, "", R"({"corruptReadCrc": true})",
     "CRC code check error!", 1},
    {O::kRead, F::kShortAnswer, "", R"({"errors": [{"command": "R", "shortAnswer": 130}]})",
     "The read stopped: the programmer did not answer. No file was written.", 1},
    {O::kRead, F::kNoAnswer, "", R"({"errors": [{"command": "R", "noAnswer": true}]})",
     "The read stopped: the programmer did not answer. No file was written.", 1},
    // ---- firmware update (a bench of one programmer)
    {O::kUpdate, F::kUnplugged, "", "",
     "No programmer connected!", 1, {}, false},
    {O::kUpdate, F::kLinkLost, "", R"({"linkLostAfter": 300})",
     "Unknown error!", 1},
    {O::kUpdate, F::kBusyForever, "", R"({"boot": {"erase": {"0": "notReady"}}})",
     "Time out!", 1},
    {O::kUpdate, F::kErrorCode, "connect (wrong answer)", R"({"boot": {"connect": "wrong"}})",
     "Can not connect!", 1},
    {O::kUpdate, F::kErrorCode, "block 1 erase", R"({"boot": {"erase": {"1": "fails"}}})",
     "Block 1 erase error!", 1},
    {O::kUpdate, F::kErrorCode, "page FFF program", R"({"boot": {"program": {"FFF": "fails"}}})",
     "Program error!", 1},
    {O::kUpdate, F::kShortAnswer, "", R"({"boot": {"erase": {"0": "short"}}})",
     "Time out!", 1},
    {O::kUpdate, F::kNoAnswer, "", R"({"boot": {"connect": "silent"}})",
     "Can not connect!", 1},
};
// clang-format on

const std::vector<NotApplicable> kNotApplicable = {
    {O::kDetection, F::kBadCrc, "the information block carries no CRC"},
    {O::kGang, F::kBadCrc, "the run sends the programmer no frame and gets progress bytes back, without a CRC"},
    {O::kGang, F::kShortAnswer, "the run's answers are single progress bytes"},
    {O::kHeaderWrite, F::kShortAnswer, "its answers are single result bytes"},
    {O::kLoad, F::kShortAnswer, "its answers are single result bytes"},
    {O::kProgram, F::kShortAnswer, "its answers are single result bytes"},
    {O::kErase, F::kBadCrc, "an erase sends no frame and reads no data"},
    {O::kErase, F::kShortAnswer, "its answers are single result bytes"},
    {O::kUpdate, F::kBadCrc, "the boot loader's frames and answers carry no CRC"},
};

// ---------------------------------------------------------------- the report

struct Recorded {
  std::map<std::size_t, ObservedCell> cells;  // by index into kCells
  bool failed = false;
};
Recorded& Report() {
  static Recorded recorded;
  return recorded;
}

std::string CommandText(const OperationPlan& plan) {
  std::string text = "flashdock-cli";
  for (const std::string& a : plan.args) text += " " + a;
  return text;
}

// Writes the table once every cell ran and passed: a filtered or failing run leaves the
// last good one in place.
class ReportWriter final : public ::testing::Environment {
public:
  void TearDown() override {
    const Recorded& r = Report();
    if (r.failed || r.cells.size() != kCells.size()) return;
    std::vector<ObservedCell> cells;
    for (const auto& [index, cell] : r.cells) cells.push_back(cell);
    std::vector<OperationLine> operations;
    for (const OperationPlan& plan : Plans()) {
      operations.push_back({plan.op, CommandText(plan), plan.boundSeconds, plan.runLog});
    }
    std::ofstream out(std::string(FLASHDOCK_REPORT_DIR) + "/reliability.md", std::ios::binary | std::ios::trunc);
    out << ReliabilityMarkdown(cells, kNotApplicable, operations);
  }
};
[[maybe_unused]] ::testing::Environment* const kReportWriter = ::testing::AddGlobalTestEnvironment(new ReportWriter);

// ---------------------------------------------------------------- the images

// Four pages of the product's user flash, each of its own byte.
SimPages AppPages() {
  SimPages pages;
  for (std::uint16_t k = 0; k < 4; ++k) {
    pages[static_cast<std::uint16_t>(0x040 + k)].fill(static_cast<std::uint8_t>(0x30 + k));
  }
  return pages;
}

std::string AppFile() {
  Bytes bytes;
  for (const auto& [page, data] : AppPages()) bytes.insert(bytes.end(), data.begin(), data.end());
  return S2Image(0x4000, bytes);
}

std::string FirmwareFile() {
  return SFile({S2(0xFFF00, Filled(128, 0x5A)), S2(0xFFF80, Filled(120, 0x5A)), kS8});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The first thing the user is told: a failure or a warning, else the command's result.
std::string FirstMessage(const CliRun& run, Operation op, const std::string& sn, const std::string& folder) {
  std::string message;
  for (const std::string& line : Lines(run.err)) {
    for (const char* caption : {"ERROR: ", "WARNING: "}) {
      if (message.empty() && line.rfind(caption, 0) == 0) message = line.substr(std::string(caption).size());
    }
  }
  const std::vector<std::string> out = Lines(run.out);
  if (message.empty() && op == Operation::kGang) {
    // The gang run shows each programmer's result in its row.
    for (const std::string& line : out) {
      if (line.rfind(sn + "  ", 0) == 0) message = line;
    }
    std::string single;
    for (const char c : message) {
      if (c != ' ' || single.empty() || single.back() != ' ') single += c;
    }
    message = single;
  }
  if (message.empty() && !out.empty()) message = PlanOf(op).resultFirst ? out.front() : out.back();
  for (std::size_t at; (at = message.find(folder)) != std::string::npos;) message.erase(at, folder.size());
  return Trimmed(message);
}

// A message as a table cell holds it: without remarks in brackets, and cut.
std::string Shortened(std::string message) {
  for (std::size_t open; (open = message.find(" (")) != std::string::npos;) {
    const std::size_t close = message.find(')', open);
    if (close == std::string::npos) break;
    message.erase(open, close + 1 - open);
  }
  constexpr std::size_t kLongest = 72;
  return message.size() > kLongest ? message.substr(0, kLongest - 1) + "…" : message;
}

// ---------------------------------------------------------------- the fixture

class FaultMatrix : public CliTest, public ::testing::WithParamInterface<std::size_t> {
protected:
  void SetUp() override {
    chooseOnlineProduct("ZK40F8C12", "50");
    dir.write("app.mot", AppFile());
    dir.write("new.mot", FirmwareFile());
  }

  const Cell& cell() const { return kCells[GetParam()]; }
  std::string benchPath() const { return dir.path("bench.json"); }
  bool update() const { return cell().op == Operation::kUpdate; }
  // The faulted programmer's slot and row: the last on the bench, so an unplugged one moves
  // no other programmer's row.
  std::size_t faultedSlot() const { return update() ? 0 : 1; }
  std::string faultedSn() const { return update() ? "01" : "02"; }

  void writeBench() {
    nlohmann::json bench;
    if (update()) {
      bench = nlohmann::json::parse(R"({"programmers": [{"updateJumpers": true,
          "firmware": [{"page": "FC5", "count": 1, "fill": "00"}]}]})");
    } else {
      // Two programmers set up alike: the product and image of the demo's first one.
      VirtualClock clock;
      const SimProgrammerSetup setup = SimBench::demo(clock)->programmer(0).setup();
      SimBench two(clock);
      two.attach(setup);
      two.attach(setup);
      bench = nlohmann::json::parse(two.toJson());
    }
    nlohmann::json& faulted = bench["programmers"][faultedSlot()];
    if (cell().fault == Fault::kUnplugged) {
      faulted["attached"] = false;
    } else {
      faulted["faults"] = nlohmann::json::parse(cell().bench);
    }
    dir.write("bench.json", bench.dump(2));
  }

  std::vector<SimProgrammerSetup> benchSetups() {
    VirtualClock clock;
    SimBenchLoad load = SimBench::load(benchPath(), clock);
    EXPECT_TRUE(load.bench) << "the bench file reads back: " << load.error;
    return load.bench ? load.bench->setups() : std::vector<SimProgrammerSetup>{};
  }

  std::vector<std::string> args(const std::string& output) const {
    std::vector<std::string> all = PlanOf(cell().op).args;
    for (std::string& a : all) {
      if (a == "app.mot" || a == "new.mot") a = dir.path(a);
      if (a == "out.mot") a = dir.path(output);
    }
    return all;
  }

  CliRun timedRun(const std::string& output, std::uint64_t& endUs) {
    ScopedSessionEndWatch watch([&endUs](std::uint64_t us) { endUs = us; });
    return cli(args(output), benchPath());
  }

  // ---- the checks

  void expectBystander(const std::vector<SimProgrammerSetup>& before, const std::vector<SimProgrammerSetup>& after,
                       const std::string& said) {
    if (update() || before.size() != 2 || after.size() != 2) return;
    const Bystander expected = cell().bystander.value_or(PlanOf(cell().op).bystander);
    const SimProgrammerSetup& was = before[0];
    const SimProgrammerSetup& is = after[0];
    if (expected == Bystander::kUntouched) {
      EXPECT_EQ(FormatSimBench({is}), FormatSimBench({was})) << "the other programmer is as it was";
      return;
    }
    switch (cell().op) {
      case Operation::kGang:
        for (const auto& [page, data] : is.image) {
          const auto it = is.target.memory.find(page);
          EXPECT_TRUE(it != is.target.memory.end() && it->second == data)
              << "the other programmer's target holds its image: page " << page;
        }
        EXPECT_THAT(said, HasSubstr("01  E.P.V is successfully completed.  Successful end"));
        break;
      case Operation::kLoad:
        EXPECT_EQ(is.image, AppPages()) << "the other programmer's store holds the file";
        EXPECT_FALSE(is.storeDamaged);
        EXPECT_EQ(Trimmed(InfoFileName(is.info)), "app");
        break;
      case Operation::kHeaderWrite:
        EXPECT_EQ(Trimmed(InfoMcuName(is.info)), "ZK40G16B") << "the other programmer took its setup";
        EXPECT_EQ(is.image, was.image);
        break;
      default:
        break;
    }
  }

  // The faulted programmer's store claims a file only when it holds that very file.
  void expectStoreTellsTheTruth(const SimProgrammerSetup& was, const SimProgrammerSetup& is) {
    const bool claims = is.info[info::kTypeCode] != 0xFF && InfoFileSize(is.info) != 0xFFFFFFFF && !is.storeDamaged;
    if (!claims) return;
    const std::string name = Trimmed(InfoFileName(is.info));
    EXPECT_EQ(InfoPageCount(is.info), is.image.size()) << "the store's page count is what it holds";
    if (name == Trimmed(InfoFileName(was.info))) {
      EXPECT_EQ(is.image, was.image) << "the store still names its old file: it holds it";
    } else if (name == "app") {
      EXPECT_EQ(is.image, AppPages()) << "the store names the new file: it holds it whole";
    } else {
      ADD_FAILURE() << "the store names a file nobody loaded: \"" << name << "\"";
    }
  }

  void expectFiles(bool succeeded, const std::string& output) {
    // No file the run did not finish, and nothing left of a replacement that stopped.
    const std::set<std::string> known = {kSettingsFileName, kHistoryFileName, kRunLogFileName, kLoadRecordFileName,
                                         kDeviceDatabaseFileName, FileLock::kAppFolderLockName, "app.mot", "new.mot",
                                         "bench.json", "bench.json.lock", "out.mot", "again.mot"};
    for (const auto& entry : std::filesystem::directory_iterator(dir.dir())) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(known.count(name) == 1) << "a file left behind: " << name;
    }
    if (cell().op == Operation::kRead) {
      EXPECT_EQ(dir.exists(output), succeeded) << "a read writes its file only when it read the whole range";
    }
    // A load record that names an image file by its stamp holds that file's pages whole.
    const std::string record = dir.read(kLoadRecordFileName);
    for (const char* image : {"app.mot", "new.mot"}) {
      const std::optional<FileStamp> stamp = ReadFileStamp(dir.path(image));
      ASSERT_TRUE(stamp);
      if (!StampMatches(record, *stamp)) continue;
      EXPECT_TRUE(LoadRecordTrusted(record, ImageKeyOf(*stamp, dir.read(image)))) << "the load record of " << image;
    }
  }

  void expectLogs(const CliRun& run, std::uint64_t endUs) {
    const OperationPlan& plan = PlanOf(cell().op);
    const std::string said = run.out + run.err;
    const RunLog::Read read = RunLog(dir.path(kRunLogFileName)).read();
    EXPECT_TRUE(read.skippedLines.empty());
    std::vector<RunRecord> faulted;
    for (const RunRecord& r : read.records) {
      EXPECT_EQ(r.operation, plan.runLog);
      EXPECT_LE(r.durationMs * 1000, endUs) << "the run log's duration is the operation's own";
      if (r.sn == faultedSn()) {
        faulted.push_back(r);
      } else {
        EXPECT_EQ(r.result, kRunOk) << "the other programmer succeeded: " << r.text;
      }
    }
    if (*plan.runLog == '\0' || !cell().logged) {
      EXPECT_TRUE(faulted.empty()) << "no operation took place on the faulted programmer";
    } else if (faulted.size() != 1) {
      ADD_FAILURE() << "one run log line for the faulted programmer, not " << faulted.size();
    } else {
      const RunRecord& r = faulted[0];
      EXPECT_EQ(r.result, cell().timesOut ? kRunCanceled : kRunFailed);
      if (cell().code) {
        EXPECT_EQ(r.code, cell().code);
      }
      // The text is what the user was told; a programmer that went silent is told in the
      // command line's own words.
      const std::string told = r.text == kMsgNoAnswer ? "did not answer" : r.text.substr(0, r.text.find('\n'));
      EXPECT_FALSE(told.empty());
      EXPECT_THAT(said, HasSubstr(told)) << "the run log says what the user was told";
      // Detection and the wrap-up around the operation take well under a second.
      EXPECT_GE(r.durationMs * 1000 + 1'000'000, endUs) << "the duration is the operation's, on the bench's clock";
    }
    // The history log never calls the faulted programmer's run a success; the gang record
    // names its failure.
    bool named = false;
    for (const std::string& line : Lines(dir.read(kHistoryFileName))) {
      if (line.rfind("No." + faultedSn(), 0) != 0) continue;
      named = true;
      for (const char* success : {kLoadSuccessText, kProgramSuccessText, "Successfully completed."}) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr(success))) << "the history log calls a failure a success";
      }
    }
    if (cell().op == Operation::kGang && cell().logged) {
      EXPECT_TRUE(named) << "the gang record names the failure";
    }
  }

  // The fault cleared and the programmer plugged in again: the same operation succeeds.
  void expectWorksAgain() {
    nlohmann::json bench = nlohmann::json::parse(dir.read("bench.json"));
    nlohmann::json& faulted = bench["programmers"][faultedSlot()];
    faulted.erase("faults");
    faulted["attached"] = true;
    dir.write("bench.json", bench.dump(2));
    std::uint64_t endUs = 0;
    const CliRun again = timedRun("again.mot", endUs);
    EXPECT_EQ(again.code, 0) << "after the fault, the same operation:\n" << again.out << again.err;
    if (cell().op == Operation::kRead) {
      EXPECT_TRUE(dir.exists("again.mot"));
    }
  }
};

TEST_P(FaultMatrix, EndsInTimeWithItsMessageAndLeavesAllElseRight) {
  const Cell& c = cell();
  const OperationPlan& plan = PlanOf(c.op);
  writeBench();
  const std::vector<SimProgrammerSetup> before = benchSetups();
  std::uint64_t endUs = 0;
  const CliRun run = timedRun("out.mot", endUs);
  const std::string said = run.out + run.err;
  const std::string message = FirstMessage(run, c.op, faultedSn(), dir.dir());

  EXPECT_EQ(run.code, c.exit) << said;
  EXPECT_EQ(message, c.message) << said;
  EXPECT_LE(endUs, std::uint64_t{1'000'000} * static_cast<std::uint64_t>(plan.boundSeconds)) << said;
  EXPECT_EQ(said.find("(--timeout)") != std::string::npos, c.timesOut) << said;

  const std::vector<SimProgrammerSetup> after = benchSetups();
  expectBystander(before, after, said);
  if (before.size() > faultedSlot() && after.size() > faultedSlot()) {
    expectStoreTellsTheTruth(before[faultedSlot()], after[faultedSlot()]);
  }
  expectFiles(run.code == 0, "out.mot");
  expectLogs(run, endUs);
  expectWorksAgain();

  Report().cells[GetParam()] = {c.op, c.fault, c.stage, c.bench, Shortened(message), run.code, endUs};
  if (HasFailure()) Report().failed = true;
}

std::string CellName(const ::testing::TestParamInfo<std::size_t>& info) {
  const Cell& c = kCells[info.param];
  std::string name = std::string(OperationName(c.op)) + "_" + FaultName(c.fault) + "_" + c.stage;
  std::string clean;
  bool upper = true;
  for (const char ch : name) {
    if (std::isalnum(static_cast<unsigned char>(ch))) {
      clean += upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(ch))) : ch;
      upper = false;
    } else {
      upper = true;
    }
  }
  return clean;
}

INSTANTIATE_TEST_SUITE_P(Cells, FaultMatrix, ::testing::Range<std::size_t>(0, kCells.size()), CellName);

// Every cell of the matrix is run or said not to apply, and none twice.
TEST(FaultMatrixTable, CoversEveryOperationAndFault) {
  for (const Operation op : kOperations) {
    for (const Fault fault : {Fault::kUnplugged, Fault::kLinkLost, Fault::kBusyForever, Fault::kErrorCode,
                              Fault::kBadCrc, Fault::kShortAnswer, Fault::kNoAnswer}) {
      const auto run = std::count_if(kCells.begin(), kCells.end(),
                                     [&](const Cell& c) { return c.op == op && c.fault == fault; });
      const auto skipped = std::count_if(kNotApplicable.begin(), kNotApplicable.end(),
                                         [&](const NotApplicable& n) { return n.op == op && n.fault == fault; });
      EXPECT_TRUE(skipped == 0 ? run >= 1 : run == 0) << OperationName(op) << ", " << FaultName(fault);
      EXPECT_LE(skipped, 1);
      if (fault != Fault::kErrorCode) {
        EXPECT_LE(run, 1) << OperationName(op) << ", " << FaultName(fault);
      }
    }
  }
}

}  // namespace
}  // namespace fd::test
