// On-line programming on the simulated bench: the connection, 'P', one frame a tick at the
// type code's pace with the end mark after the last, the messages, the history entry and
// the reset that ends every path.
#include "flows/single/OnlineProgram.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "flows/single/OnlineSetup.h"
#include "formats/DeviceDatabase.h"
#include "support/LoadRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using test::Bytes;
using test::FrameOf;
using test::LoadRig;
using test::ReadyProgrammer;
using test::S2;
using test::Writes;
using test::kS9;
using End = ImageOperationResult::End;

class OnlineProgramTest : public ::testing::Test {
protected:
  OnlineProgramTest() { rig.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000)); }
  ImageOperationResult program() { return OnlineProgram(rig.ports); }
  Bytes lastWrite() const { return rig.writesSince(0).back(); }
  LoadRig rig;
};

TEST_F(OnlineProgramTest, OneFrameATickAtTheTypeCodesPaceAndTheEndMarkAfterTheLast) {
  const struct {
    char type;
    std::uint64_t periodUs;
  } cases[] = {{'2', 60000}, {'3', 35000}, {'4', 70000}};
  const Bytes a = test::Counting(32, 1), b = test::Counting(8, 0x80), d = test::Counting(4, 0xF0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    LoadRig fresh;
    fresh.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
    fresh.onlineTest(0, c.type);
    fresh.chooseMot("p.mot", {S2(0x4000, a), S2(0x4110, b), S2(0x5000, d), kS9});
    const ImageOperationResult result = OnlineProgram(fresh.ports);
    ASSERT_EQ(result.end, End::Done) << ::testing::PrintToString(fresh.texts());
    ASSERT_EQ(fresh.ticks.size(), 6u);  // convert, describe, three pages, finish
    EXPECT_EQ(fresh.ticks[2], (Writes{FrameOf(0x40, 0, a)}));
    EXPECT_EQ(fresh.ticks[3], (Writes{FrameOf(0x41, 0x10, b)}));
    EXPECT_EQ(fresh.ticks[4], (Writes{FrameOf(0x50, 0, d), Bytes{'H'}}));
    EXPECT_THAT(fresh.ticks[5], IsEmpty());
    EXPECT_EQ(fresh.tickTimesUs[3] - fresh.tickTimesUs[2], c.periodUs);
    EXPECT_THAT(fresh.texts(), ElementsAre(kMsgFileLoaded));
    // The pages are on the target; the programmer's store is untouched.
    const SimPages& flash = fresh.programmer().target().memory;
    ASSERT_EQ(flash.count(0x41), 1u);
    EXPECT_EQ(flash.at(0x41)[0x10], 0x80);
    EXPECT_EQ(InfoFileName(fresh.programmer().info()), "old             ");
    EXPECT_EQ(fresh.writesSince(0).back(), (Bytes{'L', 0x02}));
  }
}

TEST_F(OnlineProgramTest, TheSequenceOfCommandsAndTheHistoryEntry) {
  rig.setAutoSave("1", "1");
  rig.onlineTest();
  // The ID page of a type "2" product: page 0x40FF... any page ending in FF.
  Bytes idPage(256, 0x00);
  const std::uint8_t offsets[7] = {0xDF, 0xE3, 0xEB, 0xEF, 0xF3, 0xF7, 0xFB};
  for (int i = 0; i < 7; ++i) idPage[offsets[i]] = static_cast<std::uint8_t>(0x11 * (i + 1));
  rig.state.userFlashEnd = 0x1000000;  // a product whose flash reaches the ID page
  rig.chooseMot("motor_control_firmware.mot",
                {S2(0x40FF00, Bytes(idPage.begin(), idPage.begin() + 128)), S2(0x40FF80, Bytes(idPage.begin() + 128, idPage.end())), kS9});
  rig.bench.programmer(0).target().flash.push_back({0x40FF, 1, 1});
  ASSERT_EQ(program().end, End::Done) << ::testing::PrintToString(rig.texts());
  EXPECT_EQ(rig.prompter.openChoices().at(0).title, "Select program file");
  EXPECT_EQ(rig.state.imageIdText, "11223344556677");
  EXPECT_EQ(rig.history(), "\r\n2026-12-10, 09:05:07  Operation: On-line Program\r\n"
                           "No.01 | ZK40F8C12    | motor_control_fi.mot | Program successfully | ID code: 11223344556677\r\n");
  // 'L' 'C' type power ... 'U' + ID, then 'P' and the descriptor.
  const Writes writes = rig.writesSince(0);
  const auto p = std::find(writes.begin(), writes.end(), Bytes{'P'});
  ASSERT_NE(p, writes.end());
  EXPECT_NE(std::find(writes.begin(), p, Bytes{'C'}), p);
  EXPECT_EQ((p + 1)->size(), 2u);  // the descriptor's CRC follows at once
  EXPECT_EQ(rig.state.targetConnected, 0);  // reset at the end
}

TEST_F(OnlineProgramTest, EveryEndResetsTheProgrammerWithTheMark) {
  const struct {
    const char* name;
    std::function<void(LoadRig&)> arrange;
    End end;
    std::vector<std::string> texts;
  } cases[] = {
      {"NoProduct", [](LoadRig& r) { r.state.productNumber = "Not select  "; }, End::ConnectFailed, {kMsgNoProduct}},
      {"NoTarget", [](LoadRig& r) { r.programmer().target().present = false; }, End::ConnectFailed,
       {"No target is connected!"}},
      {"ChoiceCancelled", [](LoadRig&) {}, End::ChoiceCancelled, {}},
      {"PageOutsideTheMemoryMap",
       [](LoadRig& r) { r.chooseMot("far.mot", {S2(0x4000, test::Counting(16)), S2(0x90000, test::Counting(16)), kS9}); },
       End::ChoiceCancelled, {kOutOfMemoryMapText}},
      {"PageOutsideTheTargetsFlash",
       [](LoadRig& r) {
         r.state.userFlashEnd = 0x100000;  // a database that promises more than the target has
         r.chooseMot("far.mot", {S2(0x90000, test::Counting(16)), kS9});
       },
       End::TransferFailed, {"Program to the target end with error!", kMsgProgrammingCanceled}},
      {"Cancelled",
       [](LoadRig& r) {
         r.chooseMot("c.mot", {S2(0x4000, test::Counting(16)), S2(0x4100, test::Counting(16)), kS9});
         r.afterLoadingTick = [](LoadingFlow& f, int tick) { if (tick == 3) f.cancel(); };
       },
       End::TransferFailed, {kMsgFileLoadingCanceled, kMsgProgrammingCanceled}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRig fresh;
    fresh.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
    fresh.onlineTest();
    c.arrange(fresh);
    EXPECT_EQ(OnlineProgram(fresh.ports).end, c.end);
    EXPECT_EQ(fresh.texts(), c.texts);
    EXPECT_EQ(fresh.writesSince(0).back(), (Bytes{'L', 0x02}));
    EXPECT_EQ(fresh.state.targetConnected, 0);
    EXPECT_THAT(fresh.history(), ::testing::Not(::testing::HasSubstr("Program successfully")));
  }
}

TEST_F(OnlineProgramTest, AnImageBeyondTheProductsFlashIsRefusedBeforeP) {
  rig.onlineTest();
  // ZK40F8C12: data flash 0x2400-0x2C00, user flash 0x4000-0x14000.
  rig.chooseMot("big.mot", {S2(0x13F00, test::Counting(16)), S2(0x14000, test::Counting(16)), kS9});
  rig.chooseMot("empty.mot", {kS9});
  const std::size_t before = rig.tracing.entries().size();
  EXPECT_EQ(program().end, End::ChoiceCancelled);
  EXPECT_THAT(rig.texts(), ElementsAre(kOutOfMemoryMapText, kNoDataText));
  for (const Bytes& w : rig.writesSince(before)) EXPECT_NE(w, Bytes{'P'});
  EXPECT_EQ(lastWrite(), (Bytes{'L', 0x02}));
}

TEST_F(OnlineProgramTest, TwoFilesOfOneStampWithOtherBytesEachReachTheTargetAsThemselves) {
  rig.onlineTest();
  for (const std::uint8_t serial : {1, 2, 1}) {
    SCOPED_TRACE(serial);
    Bytes bytes = test::Counting(16);
    bytes[15] = serial;
    const std::string path = rig.chooseMot("unit" + std::to_string(serial) + ".mot", {S2(0x4000, bytes), kS9});
    rig.touch(path, 1700000000);
    const ImageOperationResult result = program();
    ASSERT_EQ(result.end, End::Done);
    EXPECT_TRUE(result.converted);
    // The frame the bridge carried and the target's flash hold this file's bytes.
    EXPECT_EQ(rig.ticks[2], (Writes{FrameOf(0x40, 0, bytes), Bytes{'H'}}));
    EXPECT_EQ(rig.programmer().target().memory.at(0x40)[15], serial);
  }
}

TEST_F(OnlineProgramTest, TwoProgramsInOneOpeningAndALogThatCannotBeWritten) {
  rig.setAutoSave("1", "0");
  rig.onlineTest();
  rig.chooseMot("a.mot", {S2(0x4000, test::Counting(8)), kS9});
  ASSERT_EQ(program().end, End::Done);
  rig.chooseMot("b.mot", {S2(0x4000, test::Counting(8)), kS9});
  ASSERT_EQ(program().end, End::Done);
  EXPECT_EQ(rig.history(), "\r\n2026-12-10, 09:05:07  Operation: On-line Program\r\n"
                           "No.01 | ZK40F8C12    | a               .mot | Program successfully\r\n"
                           "No.01 | ZK40F8C12    | b               .mot | Program successfully\r\n");
  // A log the program may not write costs the entry only.
  ::chmod(rig.dir.path(kHistoryFileName).c_str(), 0444);
  rig.chooseMot("c.mot", {S2(0x4000, test::Counting(8)), kS9});
  const ImageOperationResult third = program();
  EXPECT_EQ(third.end, End::Done);
  EXPECT_FALSE(third.history.ok);
  EXPECT_EQ(lastWrite(), (Bytes{'L', 0x02}));
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

TEST(OnlineProgramSetup, WithoutTheProductsLineNothingIsSentNotEvenTheConnection) {
  const struct {
    const char* name;
    void (*arrange)(LoadRig&);
    std::string message;
  } cases[] = {
      {"NoDatabase", [](LoadRig& r) { r.state.programDir = r.dir.path("nowhere/"); }, kMcuFileMissingText},
      {"ProductNotInIt", [](LoadRig& r) { r.state.productNumber = ProductKey("ZK40GONE"); },
       "Can not find the product ZK40GONE in the MCU file!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LoadRig fresh;
    fresh.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
    fresh.onlineTest();
    c.arrange(fresh);
    fresh.chooseMot("p.mot", {S2(0x4000, test::Counting(16)), kS9});
    const std::size_t before = fresh.tracing.entries().size();
    EXPECT_EQ(OnlineProgram(fresh.ports).end, End::SetupUnreadable);
    EXPECT_THAT(fresh.texts(), ElementsAre(c.message));
    EXPECT_EQ(fresh.tracing.entries().size(), before);  // no power 0, no ID C3..., no 'P'
  }
}

}  // namespace
}  // namespace fd
