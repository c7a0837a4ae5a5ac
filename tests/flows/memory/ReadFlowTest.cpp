// The Read window on a simulated programmer: the page requests, the hex view's lines, the
// status line and buttons in each state, the failures that stop a read, Pause and Go, the
// close question, and the jump of the Top Address window.
#include "flows/memory/ReadFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/MemoryRig.h"
#include "sim/SimErrors.h"
#include "flows/memory/AddrFlow.h"
#include "flows/memory/HexView.h"
#include "flows/memory/MemoryOperations.h"
#include "flows/memory/TopAddrFlow.h"
#include "formats/Hex.h"
#include "formats/SRecordWriter.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using test::MemoryRig;
using Bytes = std::vector<std::uint8_t>;

Bytes Expected(std::uint32_t start, std::uint32_t end) {
  Bytes bytes;
  for (std::uint32_t a = start; a <= end; ++a) bytes.push_back(test::TestByte(a));
  return bytes;
}

std::vector<std::uint16_t> PagesAsked(const MemoryRig& rig) {
  std::vector<std::uint16_t> pages;
  for (const auto& c : rig.commands('R')) pages.push_back(static_cast<std::uint16_t>(c[1] | c[2] << 8));
  return pages;
}

// The window driven tick by tick: 100 ms before the first page, then 10 ms.
struct ReadWindow {
  ReadWindow(MemoryRig& r, std::int32_t start, std::int32_t end) : rig(r), flow(r.ports()) {
    r.state.readStart = start;
    r.state.readEnd = end;
    flow.open(timers);
  }
  // One tick, if the timer runs.
  bool tick() {
    if (!timers.running(kTimerSubWindow)) return false;
    rig.main.clock.advanceUs(static_cast<std::uint64_t>(timers.period(kTimerSubWindow)) * 1000);
    flow.onTimer(kTimerSubWindow);
    return true;
  }
  void pages(int n) {
    for (int i = 0; i < n; ++i) tick();
  }
  int runOut() {
    int ticks = 0;
    while (tick()) ++ticks;
    return ticks;
  }
  MemoryRig& rig;
  test::ManualTimers timers;
  ReadFlow flow;
};

TEST(HexView, ALineShowsTheBytesInsideTheRangeAndTheirChecksum) {
  const Bytes ff(16, 0xFF);
  const std::string full = "0x0F000 FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF   0B";
  EXPECT_EQ(HexViewLine(0x0F000, ff.data(), 0x0F000, 0x0FFFF), full);
  EXPECT_EQ(full.size(), kHexViewLineLength);
  // The line checksum is that of the S2 record of the bytes shown.
  EXPECT_EQ(HexViewLine(0x0F000, ff.data(), 0x0F005, 0x0F02A),
            "0x0F000                FF FF FF FF FF FF FF FF FF FF FF   06");
  // The last line's checksum counts its 11 bytes with the full line's count: the record
  // written for it has a checksum of its own.
  EXPECT_EQ(HexViewLine(0x0F020, ff.data(), 0x0F005, 0x0F02A),
            "0x0F020 FF FF FF FF FF FF FF FF FF FF FF                  E6");
  const Bytes counting = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                          0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};
  EXPECT_EQ(HexViewLine(0x123450, counting.data(), 0, 0xFFFFFF),
            "0x23450 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F   " +
                HexText((0xEB - 0x12 - 0x34 - 0x50 - 120) & 0xFF, 2));
}

TEST(ReadFlow, ARangeInsideOnePageIsOneRequestAndItsLines) {
  const struct {
    std::int32_t start, end;
    std::size_t lines;
  } cases[] = {{0x0F005, 0x0F02A, 3}, {0x0F010, 0x0F01F, 1}, {0x0D0FF, 0x0D0FF, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    MemoryRig rig;
    ReadWindow window(rig, c.start, c.end);
    const ReadView& view = window.flow.view();
    EXPECT_EQ(view.status, "Wait for reading... 0%");
    EXPECT_EQ(view.progressMax, 1);
    EXPECT_EQ(window.timers.period(kTimerSubWindow), 100);
    EXPECT_FALSE(view.saveEnabled);
    window.tick();
    const auto page = static_cast<std::uint8_t>(c.start >> 8);
    EXPECT_THAT(rig.commands('R'), ElementsAre(Bytes{0x52, page, 0x00}));
    ASSERT_EQ(view.lines.size(), c.lines);
    EXPECT_EQ(window.flow.data(), Expected(c.start, c.end));
    EXPECT_EQ(view.status, "Wait for reading... 100%");
    EXPECT_EQ(window.timers.period(kTimerSubWindow), 10);
    window.tick();
    EXPECT_EQ(view.status, "Read completed. But not saved.");
    EXPECT_FALSE(view.pauseEnabled);
    EXPECT_TRUE(view.saveEnabled);
    EXPECT_FALSE(view.progressVisible);
    EXPECT_FALSE(window.timers.running(kTimerSubWindow));
    EXPECT_TRUE(window.flow.complete());
    EXPECT_EQ(rig.commands('R').size(), 1u);
  }
  // The three lines of 0x0F005 to 0x0F02A: blanks before the start, after the end.
  MemoryRig rig;
  ReadWindow window(rig, 0x0F005, 0x0F02A);
  window.tick();
  const auto& lines = window.flow.view().lines;
  ASSERT_EQ(lines.size(), 3u);
  Bytes first(16), last(16);
  for (std::uint32_t i = 0; i < 16; ++i) {
    first[i] = test::TestByte(0x0F000 + i);
    last[i] = test::TestByte(0x0F020 + i);
  }
  EXPECT_EQ(lines[0].substr(0, 22), "0x0F000               ");
  EXPECT_EQ(lines[0], HexViewLine(0x0F000, first.data(), 0x0F005, 0x0F02A));
  EXPECT_EQ(lines[1].substr(0, 7), "0x0F010");
  EXPECT_EQ(lines[2], HexViewLine(0x0F020, last.data(), 0x0F005, 0x0F02A));
  EXPECT_EQ(lines[2].substr(40, 20), "                  " + lines[2].substr(58));
}

TEST(ReadFlow, SixtyFourPagesAskedInOrderWithTheirPercentage) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0C000, 0x0FFFF);
  EXPECT_EQ(window.flow.view().progressMax, 64);
  window.pages(32);
  EXPECT_EQ(window.flow.view().status, "Wait for reading... 50%");
  EXPECT_EQ(window.flow.view().progressPos, 32);
  EXPECT_EQ(window.flow.progress().percent(), 50);
  window.runOut();
  std::vector<std::uint16_t> expected;
  for (std::uint16_t p = 0xC0; p <= 0xFF; ++p) expected.push_back(p);
  EXPECT_EQ(PagesAsked(rig), expected);
  EXPECT_EQ(window.flow.view().lines.size(), 1024u);
  EXPECT_EQ(window.flow.data(), Expected(0x0C000, 0x0FFFF));
  EXPECT_TRUE(rig.prompter.messages().empty());
}

TEST(ReadFlow, AFailureStopsTheReadWithThePageNotCounted) {
  const struct {
    const char* name;
    std::function<void(SimFaults&)> fault;
    const char* message;
    bool reset;
  } cases[] = {
      {"busy forever", [](SimFaults& f) { f.busyAfterCommands = "R"; }, "Time out error!", false},
      {"programmer error",
       [](SimFaults& f) { f.errors = {{'R', "read", kSimErrNoTarget, SimFaultAction::kError, 0}}; },
       "No target is connected!", true},
      {"wrong CRC", [](SimFaults& f) { f.corruptReadCrc = true; }, "CRC code check error!", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryRig rig;
    ReadWindow window(rig, 0x0E000, 0x0E3FF);
    window.tick();
    c.fault(rig.programmer().faults());
    window.tick();
    const ReadView& view = window.flow.view();
    EXPECT_THAT(rig.prompter.texts(), ElementsAre(c.message));
    EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
    EXPECT_EQ(view.lines.size(), 16u) << "only the first page";
    EXPECT_EQ(view.progressPos, 1);
    EXPECT_EQ(view.status, "Wait for reading... 25%");
    EXPECT_EQ(view.pauseCaption, "&Pause");
    EXPECT_TRUE(view.pauseEnabled);
    EXPECT_FALSE(view.saveEnabled);
    EXPECT_FALSE(window.timers.running(kTimerSubWindow));
    EXPECT_EQ(rig.state.targetConnected, c.reset ? 0 : 1);
  }
}

TEST(ReadFlow, AfterPauseAndGoThePageThatFailedIsAskedForAgain) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0F000, 0x0F1FF);
  rig.programmer().faults().corruptReadCrc = true;
  window.tick();
  EXPECT_TRUE(window.flow.view().lines.empty());
  rig.programmer().faults().corruptReadCrc = false;
  window.flow.pauseGo();
  EXPECT_EQ(window.flow.view().status, "Reading is paused. 0% is read.");
  EXPECT_EQ(window.flow.view().pauseCaption, "&Go");
  EXPECT_TRUE(window.flow.view().saveEnabled);
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
  window.flow.pauseGo();
  EXPECT_EQ(window.flow.view().pauseCaption, "&Pause");
  EXPECT_FALSE(window.flow.view().saveEnabled);
  EXPECT_EQ(window.timers.period(kTimerSubWindow), 10);
  window.runOut();
  EXPECT_THAT(PagesAsked(rig), ElementsAre(0xF0, 0xF0, 0xF1));
  EXPECT_EQ(window.flow.data(), Expected(0x0F000, 0x0F1FF));
}

TEST(ReadFlow, ALateAnswerNeverShiftsTheData) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0D000, 0x0D2FF);
  // The first answer comes after the host has given up on it.
  rig.programmer().faults().errors = {{'R', "read", 0, SimFaultAction::kDelay, 400}};
  window.tick();
  ASSERT_THAT(rig.prompter.texts(), ElementsAre("Time out error!"));
  rig.programmer().faults().errors.clear();
  rig.main.clock.advanceUs(1'000'000);  // the late answer has arrived meanwhile
  window.flow.pauseGo();
  window.flow.pauseGo();
  window.runOut();
  EXPECT_THAT(PagesAsked(rig), ElementsAre(0xD0, 0xD0, 0xD1, 0xD2));
  EXPECT_EQ(window.flow.data(), Expected(0x0D000, 0x0D2FF));
  EXPECT_EQ(rig.prompter.messages().size(), 1u);
}

TEST(ReadFlow, PauseWorksWhateverTheStatusLineSays) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0E000, 0x0E3FF);
  window.pages(2);
  window.flow.pauseGo();
  rig.prompter.chooseSaveNext(rig.main.dir.path("part.mot"));
  window.flow.save();
  EXPECT_EQ(window.flow.view().status, "Save completed.");
  window.flow.pauseGo();  // Go
  window.flow.pauseGo();  // Pause again before the next page: the status line has no "..."
  EXPECT_EQ(window.flow.view().status, "Reading is paused. 50% is read.");
  EXPECT_EQ(window.flow.view().pauseCaption, "&Go");
  EXPECT_FALSE(window.timers.running(kTimerSubWindow));
}

TEST(ReadFlow, SavingWhilePausedWritesExactlyTheBytesRead) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0E005, 0x0E3F0);
  window.pages(2);
  window.flow.pauseGo();
  const std::string path = rig.main.dir.path("paused.mot");
  rig.prompter.chooseSaveNext(path);
  window.flow.save();
  // Two pages arrived: from the start of the range to the end of the second page.
  const Bytes read = Expected(0x0E005, 0x0E1FF);
  EXPECT_EQ(window.flow.data(), read);
  EXPECT_EQ(rig.main.dir.read("paused.mot"), WriteSRecords(read, 0x0E005).text);
  EXPECT_TRUE(window.flow.saved());
  ASSERT_EQ(rig.prompter.saveChoices().size(), 1u);
  EXPECT_EQ(rig.prompter.saveChoices()[0].title, "Save read data");
  EXPECT_EQ(rig.prompter.saveChoices()[0].filter, "Motorola Format(*.mot)|*.mot");
  EXPECT_FALSE(rig.prompter.saveChoices()[0].confirmOverwrite);
  // The saved flag stays: more lines are read, and closing asks nothing.
  window.flow.pauseGo();
  window.pages(1);
  window.flow.closeBox();
  EXPECT_EQ(window.flow.result(), FlowResult::Ok);
  EXPECT_EQ(rig.prompter.messages().size(), 0u);
}

TEST(ReadFlow, ASaveBeforeTheFirstPageIsRefused) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0E000, 0x0E3FF);
  window.flow.pauseGo();
  window.flow.save();
  EXPECT_THAT(rig.prompter.texts(), ElementsAre(kNothingReadText));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "WARNING");
  EXPECT_TRUE(rig.prompter.saveChoices().empty()) << "no file dialog for nothing";
  EXPECT_FALSE(window.flow.saved());
}

TEST(ReadFlow, TheCloseQuestionAndItsThreeAnswers) {
  const struct {
    MsgAnswer answer;
    FlowResult result;
    bool written;
    bool readingGoesOn;
  } cases[] = {
      {MsgAnswer::Yes, FlowResult::Ok, true, false},
      {MsgAnswer::No, FlowResult::Cancel, false, false},
      {MsgAnswer::Cancel, FlowResult::Running, false, true},
  };
  for (const auto& c : cases) {
    MemoryRig rig;
    ReadWindow window(rig, 0x0E000, 0x0E3FF);
    window.pages(3);
    rig.prompter.answerNext(c.answer);
    rig.prompter.chooseSaveNext(rig.main.dir.path("early"));
    window.flow.closeBox();
    ASSERT_FALSE(rig.prompter.messages().empty());
    const auto& question = rig.prompter.messages()[0];
    EXPECT_EQ(question.caption, "Save?");
    EXPECT_EQ(question.icon, MsgIcon::Question);
    EXPECT_EQ(question.text, "Save the data to file?");
    EXPECT_EQ(question.buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(window.flow.result(), c.result);
    // ".mot" is added to a name without an extension; the file holds the three pages read.
    EXPECT_EQ(rig.main.dir.exists("early.mot"), c.written);
    if (c.written) {
      EXPECT_EQ(rig.main.dir.read("early.mot"), WriteSRecords(Expected(0x0E000, 0x0E2FF), 0x0E000).text);
    }
    EXPECT_EQ(window.timers.running(kTimerSubWindow), c.readingGoesOn);
  }
}

TEST(ReadFlow, AnExistingFileIsReplacedOnlyAfterYes) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0F000, 0x0F00F);
  window.runOut();
  rig.main.dir.write("old.mot", "keep");
  const std::string path = rig.main.dir.path("old.mot");
  rig.prompter.chooseSaveNext(path);
  rig.prompter.answerNext(MsgAnswer::No);  // the dialog again, then Cancel
  window.flow.save();
  EXPECT_EQ(rig.main.dir.read("old.mot"), "keep");
  EXPECT_EQ(rig.prompter.saveChoices().size(), 2u);
  EXPECT_FALSE(window.flow.saved());

  rig.prompter.chooseSaveNext(path);
  rig.prompter.answerNext(MsgAnswer::Yes);
  window.flow.save();
  EXPECT_EQ(rig.prompter.messages().back().text, "Over write the selected file?");
  EXPECT_EQ(rig.prompter.messages().back().caption, "WARNING");
  EXPECT_EQ(rig.main.dir.read("old.mot"), WriteSRecords(Expected(0x0F000, 0x0F00F), 0x0F000).text);
  EXPECT_EQ(window.flow.view().status, "Save completed.");

  // A file that cannot be created: nothing written, the flag as it was.
  rig.prompter.chooseSaveNext(rig.main.dir.path("no/such/folder/x.mot"));
  window.flow.save();
  EXPECT_EQ(rig.prompter.messages().back().text, "Can not create file!");
  EXPECT_EQ(rig.prompter.messages().back().caption, "ERROR");
}

TEST(ReadFlow, TheJumpPutsTheLineOfTheAddressAtTheTop) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0C000, 0x0FFFF);
  window.runOut();
  rig.host.script<TopAddrFlow>([](TopAddrFlow& f) {
    EXPECT_EQ(f.view().text, "0C000");
    f.setText("F123");
    f.ok();
  });
  window.flow.address();
  EXPECT_EQ(rig.state.viewTop, 0xF123);
  EXPECT_EQ(window.flow.view().topLine, 786);
  EXPECT_EQ(window.flow.view().lines[786].substr(0, 7), "0x0F120");
  EXPECT_EQ(window.flow.view().jumps, 1u);
}

TEST(ReadFlow, ReadingGoesOnAroundAJumpAndALineNotReadYetLeavesTheView) {
  MemoryRig rig;
  ReadWindow window(rig, 0x0C000, 0x0FFFF);
  window.pages(4);
  rig.host.script<TopAddrFlow>([](TopAddrFlow& f) {
    f.setText("F000");
    f.ok();
  });
  window.flow.address();
  EXPECT_EQ(rig.state.viewTop, 0xF000);
  EXPECT_EQ(window.flow.view().topLine, -1);
  EXPECT_TRUE(window.timers.running(kTimerSubWindow));
  window.runOut();
  EXPECT_EQ(window.flow.view().lines.size(), 1024u);
}

TEST(ReadOperation, TheReadWindowOpensOnlyAfterTheRangeAndTheProgrammerIsResetEitherWay) {
  for (const bool rangeChosen : {true, false}) {
    SCOPED_TRACE(rangeChosen);
    MemoryRig rig;
    rig.host.script<AddrFlow>([rangeChosen](AddrFlow& f) {
      if (!rangeChosen) return;  // closed
      f.setChecked(4, true);
      f.ok();
    });
    rig.prompter.answerNext(MsgAnswer::No);  // the close question after the read
    Bytes read;
    const ReadResult result = RunRead(rig.ports(), [&](const ReadFlow& f) { read = f.data(); });
    EXPECT_EQ(rig.host.count("Read"), rangeChosen ? 1 : 0);
    EXPECT_EQ(result.end, rangeChosen ? MemoryEnd::Closed : MemoryEnd::RangeCancelled);
    EXPECT_EQ(result.complete, rangeChosen);
    EXPECT_EQ(result.bytes, read.size());
    EXPECT_TRUE(result.savedPath.empty()) << "answered No to the save";
    EXPECT_EQ(rig.commands('C').size(), 1u);
    EXPECT_EQ(rig.writes().back(), (Bytes{'L', 0x02}));
    if (rangeChosen) {
      EXPECT_EQ(read, Expected(0x0F000, 0x0FFFF));
    }
  }
}

}  // namespace
}  // namespace fd
