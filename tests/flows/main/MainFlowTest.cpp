#include "flows/main/MainFlow.h"

#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/MainRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<std::uint8_t>;
using test::MainRig;
using test::ReadyProgrammer;

std::vector<std::string> StatusCells(const MainView& view) {
  std::vector<std::string> out;
  for (const auto& row : view.rows) out.push_back(row.cells.empty() ? "" : row.cells[0]);
  return out;
}

std::vector<bool> Checks(const MainView& view) {
  std::vector<bool> out;
  for (const auto& row : view.rows) out.push_back(row.checked);
  return out;
}

int OpensIn(const TracingBridge& tracing) {
  int n = 0;
  for (const auto& e : tracing.entries()) n += e.op == TraceEntry::Op::Open;
  return n;
}

// --- Detection and the list ---

TEST(MainFlowDetection, StatusRowsAndButtonsFollowTheDeviceCount) {
  const struct {
    int devices;
    const char* status;
    bool startEnabled;
  } cases[] = {
      {0, "No programmer is detected", false},
      {1, "Only 1 programmer is detected", true},
      {3, "3 programmers are detected", true},
      {8, "8 programmers are detected", true},
  };
  for (const auto& c : cases) {
    MainRig rig;
    for (int i = 0; i < c.devices; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
    rig.flow().open();
    const MainView& view = rig.view();
    SCOPED_TRACE(c.devices);
    EXPECT_EQ(view.statusText, c.status);
    ASSERT_EQ(view.rows.size(), static_cast<std::size_t>(c.devices));
    EXPECT_EQ(view.startEnabled, c.startEnabled);
    EXPECT_EQ(view.offlineEnabled, c.startEnabled);
    EXPECT_TRUE(rig.timers.running(kTimerDetection));
    EXPECT_EQ(rig.timers.period(kTimerDetection), 200);
    for (int r = 0; r < c.devices; ++r) {
      EXPECT_EQ(view.rows[r].sn, (r < 9 ? "0" : "") + std::to_string(r + 1));
      EXPECT_TRUE(view.rows[r].checked);
      // The select mark sits on the current programmer alone.
      EXPECT_EQ(rig.bench.programmer(r).selectMark(), r == 0);
    }
    EXPECT_EQ(rig.flow().selectedRow(), c.devices ? 0 : -1);
    EXPECT_EQ(rig.state.currentSn, c.devices ? "01" : "");
    EXPECT_EQ(rig.state.currentHandle, c.devices ? rig.flow().handles()[0] : kNoHandle);
    EXPECT_TRUE(rig.prompter.messages().empty());
  }
}

TEST(MainFlowDetection, OpensEachProgrammerWithTheLinkSettingsResetsAndReadsIt) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.flow().open();
  const BridgeHandle h = rig.flow().handles()[0];
  std::vector<std::string> calls;
  for (const auto& e : rig.tracing.entries()) {
    if (e.op == TraceEntry::Op::GetModemStatus || e.op == TraceEntry::Op::GetNumDevices) continue;
    calls.push_back(TraceOpName(e.op));
  }
  EXPECT_THAT(calls, ElementsAre("Open", "SetTimeouts", "SetBaudRate", "SetLineControl", "SetFlowControl",
                                 "SetFlowControl", "Write", "FlushBuffers", "Write", "Read", "Write"));
  EXPECT_THAT(rig.tracing.writesTo(h), ElementsAre(Bytes{'L', 0x00}, Bytes{'I'}, Bytes{'L', 0x02}));
}

TEST(MainFlowDetection, NineDevicesWarnOnceKeepTheListAndDisableStart) {
  MainRig rig;
  for (int i = 0; i < 3; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.flow().open();
  for (int i = 0; i < 6; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.tick(kTimerDetection);
  EXPECT_EQ(rig.view().rows.size(), 3u);
  EXPECT_FALSE(rig.view().startEnabled);
  ASSERT_EQ(rig.prompter.messages().size(), 1u);
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  EXPECT_EQ(rig.prompter.messages()[0].icon, MsgIcon::Warning);
  EXPECT_EQ(rig.prompter.messages()[0].text, "More programmers are detected.");
  EXPECT_TRUE(rig.timers.running(kTimerDetection));

  rig.tick(kTimerDetection);  // same count: no second warning
  EXPECT_EQ(rig.prompter.messages().size(), 1u);

  rig.bench.detach(8);
  rig.tick(kTimerDetection);
  EXPECT_EQ(rig.view().rows.size(), 8u);
  EXPECT_TRUE(rig.view().startEnabled);
}

TEST(MainFlowDetection, SwappingAProgrammerWithoutCountChangeDoesNotRefresh) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
  rig.flow().open();
  rig.bench.detach(0);
  rig.bench.attach(ReadyProgrammer("ZK40G16B", "new", 2000));
  rig.tracing.clear();
  rig.tick(kTimerDetection);
  EXPECT_EQ(OpensIn(rig.tracing), 0);
  EXPECT_EQ(rig.view().rows[0].cells[1], "old             ");
}

TEST(MainFlowDetection, TickSavesCheckBoxesAndRebuildTicksEveryRow) {
  MainRig rig;
  for (int i = 0; i < 2; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.flow().open();
  rig.flow().setChecked(1, false);
  rig.tick(kTimerDetection);
  EXPECT_THAT(rig.flow().ticked(), ElementsAre(1, 0, 0, 0, 0, 0, 0, 0));
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.tick(kTimerDetection);
  EXPECT_THAT(Checks(rig.view()), ElementsAre(true, true, true));
}

TEST(MainFlowDetection, AProgrammerThatWillNotResetGetsNoRowAndTheOthersStay) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "one", 1000));
  auto stuck = ReadyProgrammer("ZK40F8C12", "two", 1000);
  stuck.faults.busyAfterReset = true;
  rig.bench.attach(stuck);
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "three", 1000));
  rig.flow().open();
  ASSERT_EQ(rig.view().rows.size(), 2u);
  EXPECT_EQ(rig.view().rows[0].sn, "01");
  EXPECT_EQ(rig.view().rows[1].sn, "02");
  EXPECT_EQ(rig.view().rows[1].cells[1], "three           ");
  EXPECT_EQ(rig.view().statusText, "2 programmers are detected");
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("Can not reset the programmer!"));
}

TEST(MainFlowDetection, SelectionMovesTheMarkAndTheCurrentProgrammer) {
  MainRig rig;
  for (int i = 0; i < 3; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.flow().open();
  const auto handles = rig.flow().handles();
  rig.tracing.clear();
  rig.flow().selectRow(2);
  EXPECT_THAT(rig.tracing.writesTo(handles[0]), ElementsAre(Bytes{'L', 0x00}));
  EXPECT_THAT(rig.tracing.writesTo(handles[2]), ElementsAre(Bytes{'L', 0x02}));
  EXPECT_EQ(rig.state.currentHandle, handles[2]);
  EXPECT_EQ(rig.state.currentSn, "03");
  EXPECT_FALSE(rig.bench.programmer(0).selectMark());
  EXPECT_TRUE(rig.bench.programmer(2).selectMark());

  rig.tracing.clear();
  rig.flow().selectRow(2);  // the same row again: nothing to send
  EXPECT_TRUE(rig.tracing.entries().empty());

  rig.flow().selectRow(-1);
  EXPECT_FALSE(rig.view().offlineEnabled);
  EXPECT_FALSE(rig.view().onlineEnabled);
  EXPECT_TRUE(rig.view().startEnabled);
}

TEST(MainFlowDetection, UnplugAllThenBackClearsTheList) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "app", 1000));
  rig.flow().open();
  rig.flow().startButton();
  rig.bench.detach(0);
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  rig.flow().startButton();  // Back
  EXPECT_TRUE(rig.view().rows.empty());
  EXPECT_EQ(rig.view().statusText, "No programmer is detected");
  EXPECT_EQ(rig.state.currentHandle, kNoHandle);
}

// --- Row texts ---

TEST(MainFlowRows, TextsFromTheInformationBlock) {
  ProgrammerInfo empty;
  empty.fill(0xFF);
  ProgrammerInfo noFile = ReadyProgrammer("ZK40F8C12", "x", 0).info;
  noFile[info::kFileSize] = 0xFF;
  EXPECT_THAT(DetectionRowTexts(empty), ElementsAre("      ??????", "      ??????", "??????", "??????  "));
  EXPECT_THAT(DetectionRowTexts(noFile), ElementsAre("ZK40F8C12   ", "      ??????", "??????", "??????  "));

  const struct {
    std::uint32_t size;
    const char* text;
  } sizes[] = {{0, ""}, {7, "7"}, {12345, "12,345"}, {100000, "100,000"}, {123456789, "23,456,789"},
               {99999998, "99,999,998"}};
  for (const auto& s : sizes) {
    const ProgrammerInfo full = ReadyProgrammer("ZK40H128R1", "sensor_v2", s.size).info;
    EXPECT_THAT(DetectionRowTexts(full),
                ElementsAre("ZK40H128R1  ", "sensor_v2       ", "26-12-10,09:05:07", s.text))
        << s.size;
  }
}

TEST(MainFlowRows, NameTextEndsAtTheFirstZeroByte) {
  ProgrammerInfo block = ReadyProgrammer("ZK40F8C12", "blinky", 100).info;
  block[info::kNames + 5] = 0;  // inside the MCU name: no file name at all
  const auto texts = DetectionRowTexts(block);
  EXPECT_EQ(texts[0], "ZK40F");
  EXPECT_EQ(texts[1], "");
}

// --- The gang run ---

class MainFlowGang : public ::testing::Test {
protected:
  // Four programmers: 01 succeeds, 02 fails its ID check, 03 never finishes, 04 stays out.
  void SetUp() override {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.bench.attach(test::WrongIdProgrammer("ZK40G16B", "motor_ctl", 2000));
    auto stuck = ReadyProgrammer("ZK40H128R1", "sensor_v2", 2000);
    stuck.faults.busyAfterCommands = "S";
    rig.bench.attach(stuck);
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "spare", 2000));
    rig.flow().open();
    rig.flow().setChecked(3, false);
  }
  MainRig rig;
};

TEST_F(MainFlowGang, StartSendsMarkAndStartToTickedRowsAndSwitchesToTheRunColumns) {
  const auto handles = rig.flow().handles();
  rig.tracing.clear();
  rig.flow().startButton();
  const MainView& view = rig.view();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_EQ(view.columns, ColumnSet::Run);
  EXPECT_EQ(view.textColor, ListTextColor::Black);
  EXPECT_FALSE(view.listEnabled);
  EXPECT_EQ(view.startCaption, "&Cancel");
  EXPECT_FALSE(rig.timers.running(kTimerDetection));
  EXPECT_TRUE(rig.timers.running(kTimerGangRun));
  EXPECT_EQ(rig.timers.period(kTimerGangRun), 100);
  for (int r = 0; r < 3; ++r) {
    EXPECT_THAT(rig.tracing.writesTo(handles[r]), ElementsAre(Bytes{'L', 0x02}, Bytes{'S'}));
    EXPECT_THAT(view.rows[r].cells, ElementsAre("Wait for connecting......", "", "0%"));
    EXPECT_TRUE(view.progress[r].visible);
  }
  EXPECT_TRUE(rig.tracing.writesTo(handles[3]).empty());
  EXPECT_EQ(view.rows[3].cells[0], "N.A.");
  EXPECT_FALSE(view.progress[3].visible);
  // Single operations may not reach a programmer while the gang poll talks to it.
  EXPECT_FALSE(view.offlineEnabled);
  EXPECT_FALSE(view.onlineEnabled);
}

TEST_F(MainFlowGang, SuccessIdErrorAndCancelEndInTheResultViewAndTheRecord) {
  rig.flow().startButton();
  // Run until 01 and 02 have ended; 03 keeps the run open.
  for (int i = 0; i < 200 && (rig.view().rows[0].checked || rig.view().rows[1].checked); ++i) {
    rig.tick(kTimerGangRun);
  }
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_EQ(rig.view().rows[0].cells[0], "E.P.V is successfully completed.");
  EXPECT_EQ(rig.view().rows[0].cells[2], "100%");
  EXPECT_EQ(rig.view().progress[0].value, 100);
  EXPECT_TRUE(rig.view().rows[2].checked);
  // Finished rows are held in reset while the run goes on.
  rig.tick(kTimerGangRun);
  EXPECT_TRUE(rig.bench.programmer(0).heldInReset());
  EXPECT_TRUE(rig.bench.programmer(1).heldInReset());
  EXPECT_TRUE(rig.bench.programmer(3).heldInReset());

  rig.flow().startButton();  // Cancel
  const MainView& view = rig.view();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_EQ(view.columns, ColumnSet::Result);
  EXPECT_EQ(view.startCaption, "&Back");
  EXPECT_FALSE(rig.timers.running(kTimerGangRun));
  EXPECT_FALSE(rig.timers.running(kTimerDetection));
  for (const auto& bar : view.progress) EXPECT_FALSE(bar.visible);
  EXPECT_THAT(view.rows[0].cells, ElementsAre("E.P.V is successfully completed.", "Successful end"));
  EXPECT_THAT(view.rows[1].cells, ElementsAre("Break during ID check!", "ID not match"));
  EXPECT_THAT(view.rows[2].cells, ElementsAre("Break due to clicking cancel!", "Cancel"));
  EXPECT_EQ(view.rows[3].cells[0], "N.A.");
  EXPECT_THAT(rig.flow().resultCodes(), ElementsAre(0x00, 0x40, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
  EXPECT_THAT(Checks(view), ElementsAre(true, true, true, false));
  // The cancelled programmer is stopped, not left programming behind the result.
  EXPECT_TRUE(rig.bench.programmer(2).heldInReset());

  rig.flow().startButton();  // Back
  EXPECT_EQ(rig.history(),
            "\r\n2026-12-10, 09:05:07  Operation: On-line E.P.V"
            "\r\nNo.01 | ZK40F8C12    | blinky          .mot | Successfully completed."
            "\r\nNo.02 | ZK40G16B     | motor_ctl       .mot | ID code is not match!"
            "\r\nNo.03 | ZK40H128R1   | sensor_v2       .mot | Unknown error!"
            "\r\nNo.04 | N.A."
            "\r\n");
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_EQ(rig.view().columns, ColumnSet::Detection);
  EXPECT_EQ(rig.view().textColor, ListTextColor::Yellow);
  EXPECT_TRUE(rig.view().listEnabled);
  EXPECT_EQ(rig.view().startCaption, "&Start");
  EXPECT_TRUE(rig.timers.running(kTimerDetection));
  // The check boxes are what they were at Start, not all ticked as a rebuild leaves them.
  EXPECT_THAT(Checks(rig.view()), ElementsAre(true, true, true, false));
  EXPECT_EQ(rig.view().rows[0].cells[1], "blinky          ");
  EXPECT_FALSE(rig.bench.programmer(0).heldInReset());
  EXPECT_TRUE(rig.prompter.messages().empty());
}

TEST_F(MainFlowGang, TwoRunsGiveTwoRecordsSeparatedByAnEmptyLine) {
  rig.flow().setChecked(1, false);
  rig.flow().setChecked(2, false);
  for (int run = 0; run < 2; ++run) {
    rig.flow().startButton();
    rig.runToResult();
    ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
    rig.flow().startButton();
  }
  const std::string record =
      "\r\n2026-12-10, 09:05:07  Operation: On-line E.P.V"
      "\r\nNo.01 | ZK40F8C12    | blinky          .mot | Successfully completed."
      "\r\nNo.02 | N.A.\r\nNo.03 | N.A.\r\nNo.04 | N.A.\r\n";
  EXPECT_EQ(rig.history(), record + record);
}

TEST_F(MainFlowGang, AllFinishedEntersTheResultViewByItself) {
  rig.flow().setChecked(2, false);
  rig.flow().startButton();
  const int ticks = rig.runToResult();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_GT(ticks, 10);  // erasing and programming take a while
  EXPECT_THAT(StatusCells(rig.view()),
              ElementsAre("E.P.V is successfully completed.", "Break during ID check!", "N.A.", "N.A."));
}

TEST_F(MainFlowGang, StartWithNothingUsableTickedWarnsAndStaysIdle) {
  for (int r = 0; r < 4; ++r) rig.flow().setChecked(r, false);
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("No programmer is selected."));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "WARNING");
  EXPECT_EQ(rig.view().columns, ColumnSet::Detection);
  EXPECT_TRUE(rig.timers.running(kTimerDetection));
}

TEST_F(MainFlowGang, ARowWithAnEmptyTargetMcuIsUntickedAtStart) {
  MainRig local;
  auto nameless = ReadyProgrammer("", "app", 1000);
  nameless.info[info::kNames] = 0;  // the name text is empty
  local.bench.attach(nameless);
  local.flow().open();
  local.flow().startButton();
  EXPECT_EQ(local.flow().runPhase(), RunPhase::Idle);
  EXPECT_FALSE(local.view().rows[0].checked);
  EXPECT_THAT(local.prompter.texts(), ElementsAre("No programmer is selected."));
}

TEST_F(MainFlowGang, OnlyTheLastOfSeveralProgressBytesCounts) {
  rig.flow().setChecked(1, false);
  rig.flow().setChecked(2, false);
  rig.flow().startButton();
  // Let a good part of the run pass between two ticks: the queue fills with many bytes.
  rig.clock.advanceUs(2'000'000);
  rig.tracing.clear();
  rig.tick(kTimerGangRun);
  std::vector<std::uint8_t> read;
  for (const auto& e : rig.tracing.entriesFor(rig.flow().handles()[0])) {
    if (e.op == TraceEntry::Op::Read) read = e.bytes;
  }
  ASSERT_GT(read.size(), 1u);
  const unsigned last = read.back();
  ASSERT_NE(last, kProgressErasing);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3u%%", last);
  EXPECT_EQ(rig.view().rows[0].cells[2], percent);
  EXPECT_EQ(rig.view().progress[0].value, static_cast<int>(last));
  EXPECT_EQ(rig.view().rows[0].cells[0], "Wait for programming......");
}

TEST_F(MainFlowGang, AnUnpluggedProgrammerLeavesTheRunAndTheOthersFinish) {
  rig.flow().setChecked(2, false);
  rig.flow().startButton();
  rig.tick(kTimerGangRun);
  rig.bench.detach(0);
  rig.runToResult();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_EQ(rig.flow().resultCodes()[0], 0xFF);
  EXPECT_EQ(rig.view().rows[1].cells[0], "Break during ID check!");
  rig.flow().startButton();
  EXPECT_NE(rig.history().find("\r\nNo.01Reset error!!!\r\nNo.02 | ZK40G16B"), std::string::npos) << rig.history();
  EXPECT_TRUE(rig.prompter.messages().empty());
}

TEST_F(MainFlowGang, AProgrammerThatCannotBeStartedIsDroppedAndTheOthersRun) {
  rig.flow().setChecked(2, false);
  // The link of 02 dies right after its select mark: the 'S' write fails.
  SimProgrammer& p = rig.bench.programmer(1);
  p.faults().linkLostAfter = p.bytesMoved() + 2;
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().handles()[1], kNoHandle);
  EXPECT_EQ(rig.flow().ticked()[1], 0);
  EXPECT_FALSE(rig.view().rows[1].checked);
  rig.runToResult();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_EQ(rig.view().rows[0].cells[0], "E.P.V is successfully completed.");
}

TEST_F(MainFlowGang, WithLoggingOffBackWritesNothingAndDoesNotResetForTheLog) {
  SettingsFile(rig.dir.path(kSettingsFileName)).write(kSectionLog, kKeyAutoSaveLog, "0");
  rig.flow().setChecked(1, false);
  rig.flow().setChecked(2, false);
  rig.flow().startButton();
  rig.runToResult();
  rig.tracing.clear();
  rig.flow().startButton();
  EXPECT_EQ(rig.history(), "");
  // Nothing touches the programmers before the rebuild closes and reopens them.
  const auto& calls = rig.tracing.entries();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0].op, TraceEntry::Op::GetNumDevices);
}

TEST_F(MainFlowGang, AHistoryLogThatIsGoneIsSkippedSilently) {
  rig.flow().setChecked(1, false);
  rig.flow().setChecked(2, false);
  std::remove(rig.dir.path(kHistoryFileName).c_str());
  rig.flow().startButton();
  rig.runToResult();
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_TRUE(rig.prompter.messages().empty());
  EXPECT_FALSE(rig.dir.exists(kHistoryFileName));  // a writer never creates it
}

TEST_F(MainFlowGang, AReadOnlyHistoryLogIsSkippedSilently) {
  rig.flow().setChecked(1, false);
  rig.flow().setChecked(2, false);
  ::chmod(rig.dir.path(kHistoryFileName).c_str(), 0444);
  rig.flow().startButton();
  rig.runToResult();
  {
    test::AsPlainUser plain(rig.dir);
    if (!plain.active()) GTEST_SKIP() << "cannot drop root rights here";
    rig.flow().startButton();
  }
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  EXPECT_TRUE(rig.prompter.messages().empty());
  EXPECT_EQ(rig.history(), "");
}

TEST_F(MainFlowGang, CloseDuringARunResetsUnmarksAndClosesEveryProgrammer) {
  rig.flow().startButton();
  rig.tick(kTimerGangRun);
  rig.flow().close();
  for (int r = 0; r < 4; ++r) {
    EXPECT_FALSE(rig.bench.programmer(r).epvRunning()) << r;
    EXPECT_FALSE(rig.bench.programmer(r).selectMark()) << r;
    EXPECT_EQ(rig.flow().handles()[r], kNoHandle);
  }
  EXPECT_FALSE(rig.timers.running(kTimerGangRun));
  EXPECT_FALSE(rig.timers.running(kTimerDetection));
}

// --- Log and Help ---

TEST(MainFlowCommands, LogAndHelpOpenTheirFilesOrSayWhyNot) {
  MainRig rig;
  rig.flow().open();
  rig.flow().openLog();
  rig.flow().openHelp();
  EXPECT_THAT(rig.opener.opened, ElementsAre(rig.dir.path("ZK40 Family Flashdock History.log"),
                                             rig.dir.path("ZK40 Family Flashdock User's Manual.pdf")));
  EXPECT_TRUE(rig.prompter.messages().empty());
  rig.opener.succeed = false;
  rig.flow().openLog();
  rig.flow().openHelp();
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("Can not open log file!", "Can not open user manual!"));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  EXPECT_EQ(rig.prompter.messages()[0].icon, MsgIcon::Error);
}

// An installed program: the manual comes from the share folder, unless the user's own
// folder holds a copy of its own.
TEST(MainFlowCommands, HelpOpensTheInstalledManualUnlessTheUsersFolderHasOne) {
  MainRig rig;
  std::filesystem::create_directories(rig.dir.path("share/flashdock"));
  rig.dir.write("share/flashdock/ZK40 Family Flashdock User's Manual.pdf", "%PDF-installed");
  rig.state.programDir = rig.dir.path("share/flashdock/");
  rig.flow().open();
  rig.flow().openHelp();
  rig.dir.write("ZK40 Family Flashdock User's Manual.pdf", "%PDF-mine");
  rig.flow().openHelp();
  EXPECT_THAT(rig.opener.opened, ElementsAre(rig.dir.path("share/flashdock/ZK40 Family Flashdock User's Manual.pdf"),
                                             rig.dir.path("ZK40 Family Flashdock User's Manual.pdf")));
  EXPECT_TRUE(rig.prompter.messages().empty());
}

}  // namespace
}  // namespace fd
