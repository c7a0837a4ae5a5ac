// What the operator sees of a run and of the list: no stale texts, failures shown at once
// and marked, a deselected list, buttons whose window is not there yet.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

#include "app/RunLog.h"
#include "flows/main/MainFlow.h"
#include "formats/FileIoTestHook.h"
#include "support/MainRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using test::MainRig;
using test::ReadyProgrammer;

// 01 succeeds, 02 fails its ID check, 03 cannot be started (its link dies after the mark).
class MainFlowSeen : public ::testing::Test {
protected:
  void SetUp() override {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
    rig.bench.attach(test::WrongIdProgrammer("ZK40G16B", "motor_ctl", 2000));
    rig.bench.attach(ReadyProgrammer("ZK40H128R1", "sensor_v2", 2000));
    rig.flow().open();
    SimProgrammer& dead = rig.bench.programmer(2);
    dead.faults().linkLostAfter = dead.bytesMoved() + 2;
  }
  MainRig rig;
};

TEST_F(MainFlowSeen, TheRunLogHasALinePerProgrammerOnceTheResultsShow) {
  rig.flow().startButton();
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  // Written as the results show, whatever Back and "Auto save log" do later.
  const RunLog::Read read = RunLog(rig.dir.path(kRunLogFileName)).read();
  ASSERT_EQ(read.records.size(), 3u);
  EXPECT_EQ(read.records[0].sn, "01");
  EXPECT_EQ(read.records[0].result, kRunOk);
  EXPECT_EQ(read.records[0].product, "ZK40F8C12");
  EXPECT_EQ(read.records[1].result, kRunFailed);
  EXPECT_EQ(read.records[1].code, 0x40);
  EXPECT_EQ(read.records[2].result, kRunFailed);  // it could not be started
  EXPECT_FALSE(read.records[2].code.has_value());
  rig.flow().startButton();  // Back
  EXPECT_EQ(RunLog(rig.dir.path(kRunLogFileName)).read().records.size(), 3u);
}

TEST(MainFlowRunLog, ACancelledRunSaysCanceledForEachProgrammerStillWorking) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.flow().open();
  rig.flow().startButton();
  for (int i = 0; i < 3; ++i) rig.tick(kTimerGangRun);
  rig.flow().startButton();  // Cancel
  rig.runToResult();
  const RunLog::Read read = RunLog(rig.dir.path(kRunLogFileName)).read();
  ASSERT_EQ(read.records.size(), 2u);
  for (const RunRecord& r : read.records) {
    EXPECT_EQ(r.result, kRunCanceled) << r.sn;
    EXPECT_EQ(r.operation, "gang");
  }
}

TEST_F(MainFlowSeen, TickFailedRowsOnlyTicksThemForTheNextStartAndKeepsTheRecordWhole) {
  EXPECT_FALSE(rig.flow().canTickFailedRowsOnly());  // no run yet
  rig.flow().startButton();
  rig.runToResult();
  ASSERT_TRUE(rig.flow().canTickFailedRowsOnly());
  rig.flow().tickFailedRowsOnly();
  SettingsFile(rig.dir.path(kSettingsFileName)).write(kSectionLog, kKeyAutoSaveLog, "1");
  rig.flow().startButton();  // Back
  // 03's link is gone for good: the list holds 01 and 02, and 02 alone is ticked.
  ASSERT_EQ(rig.view().rows.size(), 2u);
  EXPECT_FALSE(rig.view().rows[0].checked);
  EXPECT_TRUE(rig.view().rows[1].checked);
  // The record of the run that ended still names every row that took part.
  EXPECT_THAT(rig.history(), ::testing::HasSubstr("No.01 | ZK40F8C12    | blinky"));
  EXPECT_THAT(rig.history(), ::testing::HasSubstr("No.02 | ZK40G16B"));
  EXPECT_FALSE(rig.flow().canTickFailedRowsOnly());  // back in the list
}

TEST_F(MainFlowSeen, ARowThatCannotStartShowsNoDetectionTexts) {
  rig.flow().startButton();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_THAT(rig.view().rows[2].cells, ElementsAre("", "", ""));
  EXPECT_FALSE(rig.view().progress[2].visible);
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  EXPECT_THAT(rig.view().rows[2].cells, ElementsAre("", ""));
  const std::vector<RowResult> results = rig.flow().results();
  ASSERT_EQ(results.size(), 3u);
  EXPECT_TRUE(results[2].taking);
  EXPECT_FALSE(results[2].started);
  EXPECT_FALSE(results[2].succeeded());
}

TEST_F(MainFlowSeen, AFailureShowsItsResultAtOnceAndIsMarkedInTheResultView) {
  rig.flow().startButton();
  // Run until 02 has failed while 01 still runs.
  int ticks = 0;
  while (rig.view().rows[1].checked && ticks++ < 400) rig.tick(kTimerGangRun);
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Running);
  EXPECT_EQ(rig.view().rows[1].cells[0], "Break during ID check!");
  EXPECT_TRUE(rig.view().rows[1].failed);
  EXPECT_FALSE(rig.view().progress[1].visible);

  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  const MainView& view = rig.view();
  EXPECT_FALSE(view.rows[0].failed);
  EXPECT_TRUE(view.rows[1].failed);
  EXPECT_EQ(view.rows[0].cells[0], "E.P.V is successfully completed.");
  EXPECT_EQ(rig.flow().results()[1].code, 0x40);

  // Back: detection texts again, nothing of the result left, no row marked.
  rig.flow().startButton();
  EXPECT_EQ(rig.flow().runPhase(), RunPhase::Idle);
  for (const MainRow& row : rig.view().rows) EXPECT_FALSE(row.failed);
  EXPECT_EQ(rig.view().rows[0].cells[0], "ZK40F8C12   ");
}

TEST(MainFlowList, BackWithTooManyProgrammersLeavesNoResultTextsUnderTheDetectionColumns) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.flow().open();
  rig.flow().startButton();
  rig.runToResult();
  ASSERT_EQ(rig.flow().runPhase(), RunPhase::Results);
  for (int i = 0; i < 8; ++i) rig.bench.attach(ReadyProgrammer("ZK40F8C12", "more", 2000));
  rig.flow().startButton();  // Back: nine devices now
  EXPECT_EQ(rig.view().columns, ColumnSet::Detection);
  ASSERT_EQ(rig.view().rows.size(), 1u);
  for (const std::string& cell : rig.view().rows[0].cells) EXPECT_EQ(cell, "");
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("More programmers are detected."));
}

TEST(MainFlowList, DeselectionShowsNoRowAndClickingTheRowAgainSelectsIt) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.bench.attach(ReadyProgrammer("ZK40G16B", "motor", 2000));
  rig.flow().open();
  rig.flow().selectRow(1);
  rig.flow().selectRow(-1);
  EXPECT_EQ(rig.view().selectedRow, -1);
  EXPECT_FALSE(rig.view().offlineEnabled);
  EXPECT_FALSE(rig.view().onlineEnabled);
  EXPECT_EQ(rig.flow().selectedRow(), 1) << "the current programmer stays until another row is chosen";
  rig.tracing.clear();
  rig.flow().selectRow(1);
  EXPECT_EQ(rig.view().selectedRow, 1);
  EXPECT_TRUE(rig.view().offlineEnabled);
  EXPECT_TRUE(rig.view().onlineEnabled);
  EXPECT_TRUE(rig.tracing.entries().empty()) << "the mark is already on that programmer";
}

TEST(MainFlowList, RowHasSetupFollowsTheStoredSetupNotItsText) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.bench.attach();  // a fresh programmer: nothing stored
  rig.flow().open();
  EXPECT_TRUE(rig.flow().rowHasSetup(0));
  EXPECT_FALSE(rig.flow().rowHasSetup(1));
  EXPECT_FALSE(rig.flow().rowHasSetup(2));
  EXPECT_FALSE(rig.flow().rowHasSetup(-1));
}

TEST(MainFlowCommands, SingleOperationButtonsSayTheWindowIsNotThereYet) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.flow().open();
  rig.tracing.clear();
  rig.flow().offlineSet();
  rig.flow().onlineTest();
  ASSERT_EQ(rig.prompter.messages().size(), 2u);
  EXPECT_EQ(rig.prompter.messages()[0].caption, "INFO");
  EXPECT_EQ(rig.prompter.messages()[0].text, kMsgSingleOperationNotBuilt);
  EXPECT_TRUE(rig.tracing.entries().empty()) << "nothing is sent for a window that does not open";
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

// A disk that fills up in the middle of a record: the log keeps no torn line, and the
// operator hears of it once, not at every Back.
TEST(MainFlowHistory, ARecordCutShortIsTakenBackAndSaidOnce) {
  MainRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "blinky", 2000));
  rig.flow().open();
  const std::string before = rig.history();
  {
    // Half of each record goes down, then the disk is full.
    bool full = false;
    test::ScopedFileWriteHook fullDisk([&full](int descriptor, const char* data, std::size_t size) -> ssize_t {
      if (full) {
        full = false;
        errno = ENOSPC;
        return -1;
      }
      full = true;
      return ::write(descriptor, data, size / 2 + 1);
    });
    for (int run = 0; run < 2; ++run) {
      rig.flow().startButton();
      rig.runToResult();
      rig.flow().startButton();  // Back: the record
    }
  }
  EXPECT_EQ(rig.history(), before) << "no part of a record is left behind";
  // Said once for the history log, and once for the run log, which the full disk took too.
  ASSERT_EQ(rig.prompter.messages().size(), 2u);
  int history = 0, runLog = 0;
  for (const auto& message : rig.prompter.messages()) {
    EXPECT_EQ(message.caption, "ERROR");
    EXPECT_NE(message.text.find("disk"), std::string::npos) << message.text;
    history += message.text.find(kMsgHistoryNotWritten) != std::string::npos;
    runLog += message.text.find(kMsgRunLogNotWritten) != std::string::npos;
  }
  EXPECT_EQ(history, 1);
  EXPECT_EQ(runLog, 1);
}

}  // namespace
}  // namespace fd
