// The off-line Load File command and its Loading window on the simulated bench: the frames
// as the bridge saw them tick by tick, the reload question, the cache, cancel and failures,
// the history entries, and what a gang run then programs.
#include "flows/load/LoadFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/load/ChooseImageFile.h"
#include "formats/LoadRecord.h"
#include "support/LoadRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using test::Bytes;
using test::FrameOf;
using test::LoadRig;
using test::ReadyProgrammer;
using test::S2;
using test::Writes;
using test::kS9;
using End = ImageOperationResult::End;

const Bytes kH = {'H'};

// `count` pages from 0x4000, each holding 16 bytes at its start: n * 16 + i.
std::vector<std::string> PagesFile(int count) {
  std::vector<std::string> lines;
  for (int n = 0; n < count; ++n) lines.push_back(S2(0x4000 + 0x100 * n, test::Counting(16, static_cast<std::uint8_t>(n * 16))));
  lines.push_back(kS9);
  return lines;
}
Bytes Frame(int n) { return FrameOf(static_cast<std::uint16_t>(0x40 + n), 0, test::Counting(16, static_cast<std::uint8_t>(n * 16))); }

// A load that did not go through leaves the new file's descriptor in the block, so the same
// file chosen again (same second, same size) is asked about first.
std::vector<std::string> WithoutQuestion(std::vector<std::string> texts) {
  if (!texts.empty() && texts[0] == kMsgReloadQuestion) texts.erase(texts.begin());
  return texts;
}

class LoadFileTest : public ::testing::Test {
protected:
  LoadFileTest() {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
    rig.offlineSet();
  }
  ImageOperationResult load() { return LoadFile(rig.ports); }
  LoadRig rig;
};

TEST_F(LoadFileTest, SendsTwoFramesATickAndTheEndMarkOnlyAfterALoneLastFrame) {
  const struct {
    int pages;
    std::vector<Writes> sendTicks;  // the writes of each tick after the descriptor's
  } cases[] = {
      {5, {{Frame(0), Frame(1)}, {Frame(2), Frame(3)}, {Frame(4), kH}, {}}},
      {4, {{Frame(0), Frame(1)}, {Frame(2), Frame(3)}, {}}},
      {1, {{Frame(0), kH}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pages);
    rig.chooseMot("image" + std::to_string(c.pages) + ".mot", PagesFile(c.pages));
    const ImageOperationResult result = load();
    EXPECT_EQ(result.end, End::Done);
    EXPECT_EQ(result.pages, static_cast<std::uint32_t>(c.pages));
    ASSERT_EQ(rig.ticks.size(), 2 + c.sendTicks.size());
    EXPECT_THAT(rig.ticks[0], IsEmpty());  // convert
    // describe: the CRC, then the 18 descriptor bytes, as they stand in the block now.
    const ProgrammerInfo& block = rig.state.programmerInfo;
    const DescriptorFrame descriptor = MakeDescriptorFrame(block.data() + info::kDescriptor);
    EXPECT_THAT(rig.ticks[1], ElementsAre(Bytes(descriptor.begin(), descriptor.begin() + 2),
                                          Bytes(descriptor.begin() + 2, descriptor.end())));
    EXPECT_EQ(InfoPageCount(block), c.pages);
    for (std::size_t t = 0; t < c.sendTicks.size(); ++t) EXPECT_EQ(rig.ticks[2 + t], c.sendTicks[t]) << "tick " << t;
    EXPECT_EQ(rig.prompter.last()->text, kMsgFileLoaded);
    EXPECT_EQ(rig.programmer().image().size(), static_cast<std::size_t>(c.pages));
    EXPECT_FALSE(rig.programmer().storeDamaged());
  }
}

TEST_F(LoadFileTest, AFileWithoutDataIsRefusedAtTheChoiceAndNothingIsSent) {
  // A header alone, or only records that carry no data: never "loaded".
  const std::size_t before = rig.tracing.entries().size();
  rig.chooseMot("empty.mot", {kS9});
  rig.chooseMot("header.mot", {});
  EXPECT_EQ(load().end, End::ChoiceCancelled);
  EXPECT_THAT(rig.texts(), ElementsAre(kNoDataText, kNoDataText));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  for (const Bytes& w : rig.writesSince(before)) EXPECT_NE(w, Bytes{'D'});
  EXPECT_EQ(InfoPageCount(rig.programmer().info()), InfoPageCount(rig.state.programmerInfo));
}

TEST_F(LoadFileTest, AProductWhoseMemoryMapCannotBeReadRefusesTheLoad) {
  const struct {
    const char* name;
    const char* database;  // nullptr: none
    std::string text;
  } cases[] = {
      {"no database", nullptr, kMcuFileMissingText},
      {"the product is not in it", ":2 ZK40F     ZK40F1    ZK40F8C16   8K      01 00 8K   04000\r\n",
       "Can not find the product ZK40F8C12 in the MCU file!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    rig.state.programDir = rig.dir.dir();
    if (c.database) rig.dir.write(kDeviceDatabaseFileName, c.database);
    rig.prompter.clear();
    rig.chooseMot("x.mot", PagesFile(1));
    const std::size_t before = rig.tracing.entries().size();
    EXPECT_EQ(load().end, End::NoMemoryMap);
    EXPECT_THAT(rig.texts(), ElementsAre(c.text));
    EXPECT_THAT(rig.prompter.openChoices(), IsEmpty());
    // Only the reset that ends the command.
    EXPECT_THAT(rig.writesSince(before), ElementsAre(Bytes{'L', 0x02}));
  }
}

TEST_F(LoadFileTest, TheWholeRoadWritesTheHeaderTheNameAndTheHistory) {
  rig.setAutoSave("1", "1");
  const std::string path = rig.chooseMot("blinky_v3.mot", PagesFile(3));
  const auto stamp = ReadFileStamp(path);
  ASSERT_TRUE(stamp);
  EXPECT_EQ(load().end, End::Done);
  ASSERT_EQ(rig.prompter.openChoices().size(), 1u);
  EXPECT_EQ(rig.prompter.openChoices()[0].title, "Select load file");
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgFileLoaded));
  const ProgrammerInfo& stored = rig.programmer().info();
  EXPECT_EQ(InfoFileName(stored), "blinky_v3       ");
  EXPECT_EQ(DecodeDescriptor(stored.data() + info::kDescriptor), (ImageDescriptor{*stamp, 3}));
  EXPECT_EQ(rig.state.imageIdText, "");  // no ID page in the image
  EXPECT_EQ(rig.history(), "\r\n2026-12-10, 09:05:07  Operation: Off-line Load\r\n"
                           "No.01 | ZK40F8C12    | blinky_v3       .mot | Load successfully | ID code: \r\n");
  // The reset with the select mark ends the command.
  const Writes all = rig.writesSince(0);
  EXPECT_EQ(all.back(), (Bytes{'L', 0x02}));
}

TEST_F(LoadFileTest, TheMainListShowsTheNewFileAndAGangRunProgramsExactlyItsBytes) {
  const Bytes a = test::RandomBytes(600, 7);
  const Bytes b = test::RandomBytes(40, 8);
  rig.chooseMot("field.mot", {S2(0x4010, Bytes(a.begin(), a.begin() + 200)), S2(0x40D8, Bytes(a.begin() + 200, a.begin() + 400)),
                               S2(0x41A0, Bytes(a.begin() + 400, a.end())), S2(0x8000, b), kS9});
  ASSERT_EQ(load().end, End::Done);
  // What the main list shows for the programmer once it has read its block again.
  EXPECT_EQ(DetectionRowTexts(rig.programmer().info())[1], "field           ");
  rig.flow().setChecked(0, true);
  rig.flow().startButton();
  rig.runToResult(2000);
  ASSERT_EQ(rig.flow().results()[0].code, 0x00);
  const SimPages& flash = rig.programmer().target().memory;
  const auto byteAt = [&](std::uint32_t address) {
    const auto page = flash.find(static_cast<std::uint16_t>(address >> 8));
    return page == flash.end() ? std::uint8_t{0xFF} : page->second[address & 0xFF];
  };
  for (std::size_t i = 0; i < a.size(); ++i) ASSERT_EQ(byteAt(0x4010 + static_cast<std::uint32_t>(i)), a[i]) << i;
  for (std::size_t i = 0; i < b.size(); ++i) ASSERT_EQ(byteAt(0x8000 + static_cast<std::uint32_t>(i)), b[i]) << i;
  EXPECT_EQ(byteAt(0x400F), 0xFF);
  EXPECT_EQ(byteAt(0x4300), 0xFF);
}

TEST_F(LoadFileTest, AProgrammerWithoutAProductGetsNoFileDialog) {
  rig.state.programmerInfo[info::kNames] = 0xFF;
  rig.chooseMot("x.mot", PagesFile(1));
  EXPECT_EQ(load().end, End::NoProduct);
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgNoProduct));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "WARNING");
  EXPECT_THAT(rig.prompter.openChoices(), IsEmpty());
  EXPECT_EQ(rig.writesSince(0).back(), (Bytes{'L', 0x02}));
}

TEST_F(LoadFileTest, TheMemoryMapTestUsesTheProductTheProgrammerIsSetUpFor) {
  // The on-line settings know no product: without the stored one every address would pass.
  rig.dir.write(kDeviceDatabaseFileName,
                ":2 ZK40F     ZK40F1    ZK40F8C12   8K+2K   03 0A 1K   02400 0B 1K   02800 00 8K   04000\r\n");
  // Every page must lie in the data flash (0x2400-0x2C00) or the user flash (0x4000-0x6000):
  // below them, past the end, between them, or running over the end.
  rig.chooseMot("low.mot", {S2(0x2000, test::Counting(16)), kS9});
  rig.chooseMot("high.mot", {S2(0x4000, test::Counting(16)), S2(0x200000, test::Counting(16)), kS9});
  rig.chooseMot("gap.mot", {S2(0x2400, test::Counting(16)), S2(0x3000, test::Counting(16)), kS9});
  rig.chooseMot("over.mot", {S2(0x5FF8, test::Counting(16)), kS9});
  rig.chooseMot("data.mot", {S2(0x2400, test::Counting(16)), S2(0x5F00, test::Counting(16)), kS9});
  EXPECT_EQ(load().end, End::Done);
  EXPECT_THAT(rig.texts(), ElementsAre(kOutOfMemoryMapText, kOutOfMemoryMapText, kOutOfMemoryMapText,
                                       kOutOfMemoryMapText, kMsgFileLoaded));
  EXPECT_EQ(rig.state.dataFlashStart, 0x2400u);
  EXPECT_EQ(rig.state.userFlashStart, 0x4000u);
}

TEST_F(LoadFileTest, ACancelledFileChoiceSendsNothing) {
  const std::size_t before = rig.tracing.entries().size();
  EXPECT_EQ(load().end, End::ChoiceCancelled);
  EXPECT_THAT(rig.writesSince(before), IsEmpty());
  EXPECT_THAT(rig.texts(), IsEmpty());
}

TEST_F(LoadFileTest, TheSameStampAsksTheReloadQuestionAndItsAnswersDoWhatTheySay) {
  const std::time_t kWhen = 1700000000;
  const std::string path = rig.chooseMot("same.mot", PagesFile(2));
  rig.touch(path, kWhen);
  ASSERT_EQ(load().end, End::Done);

  const struct {
    MsgAnswer answer;
    End end;
    char header;  // the command byte the answer sends, 0 for none
    std::vector<std::string> texts;
  } cases[] = {
      {MsgAnswer::Cancel, End::ReloadCancelled, 0, {kMsgReloadQuestion}},
      {MsgAnswer::No, End::NameReloaded, 'B', {kMsgReloadQuestion, kMsgNameReloaded}},
      {MsgAnswer::Yes, End::Done, 'D', {kMsgReloadQuestion, kMsgFileLoaded}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    // Another name, the same modification second and size: the stamp is what counts.
    const std::string renamed = rig.dir.path("renamed.mot");
    std::filesystem::copy_file(path, renamed, std::filesystem::copy_options::overwrite_existing);
    rig.touch(renamed, kWhen);
    rig.prompter.clear();
    rig.prompter.chooseOpenNext(renamed);
    rig.prompter.answerNext(c.answer);
    const ProgrammerInfo held = rig.programmer().info();
    const std::size_t before = rig.tracing.entries().size();
    EXPECT_EQ(load().end, c.end);
    EXPECT_EQ(rig.texts(), c.texts);
    const test::RecordedMessage& question = rig.prompter.messages()[0];
    EXPECT_EQ(question.caption, "INFO");
    EXPECT_EQ(question.icon, MsgIcon::Question);
    EXPECT_EQ(question.buttons, MsgButtons::YesNoCancel);
    const Writes writes = rig.writesSince(before);
    bool sentHeader = false;
    for (const Bytes& w : writes) sentHeader = sentHeader || w == Bytes{'B'} || w == Bytes{'D'};
    EXPECT_EQ(sentHeader, c.header != 0);
    if (c.header != 0) {
      EXPECT_EQ(writes[0], (Bytes{static_cast<std::uint8_t>(c.header)}));
    }
    EXPECT_EQ(writes.back(), (Bytes{'L', 0x02}));  // the reset ends every answer
    if (c.answer == MsgAnswer::Cancel) {
      EXPECT_EQ(writes.size(), 1u);
    }
    if (c.answer == MsgAnswer::No) {
      // Only the name changes: the data and the descriptor stay.
      EXPECT_EQ(InfoFileName(rig.programmer().info()), "renamed         ");
      EXPECT_EQ(rig.programmer().image().size(), 2u);
      EXPECT_TRUE(std::equal(held.begin() + info::kDescriptor, held.end(),
                             rig.programmer().info().begin() + info::kDescriptor));
      EXPECT_FALSE(rig.programmer().storeDamaged());
    }
  }
}

TEST_F(LoadFileTest, TheSameTimeWithAnotherSizeOrTheReverseLoadsWithoutAQuestion) {
  const std::string path = rig.chooseMot("a.mot", PagesFile(2));
  rig.touch(path, 1700000000);
  ASSERT_EQ(load().end, End::Done);
  // The same time, one record more: another size.
  rig.chooseMot("a.mot", PagesFile(3));
  rig.touch(path, 1700000000);
  rig.prompter.clear();
  EXPECT_EQ(load().end, End::Done);
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgFileLoaded));
  // The same size, another second.
  rig.prompter.chooseOpenNext(path);
  rig.touch(path, 1700000001);
  rig.prompter.clear();
  EXPECT_EQ(load().end, End::Done);
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgFileLoaded));
}

TEST_F(LoadFileTest, TheSameUnchangedFileIsConvertedOnceAndATouchedOneAgain) {
  const std::string path = rig.chooseMot("cached.mot", PagesFile(3));
  ImageOperationResult first = load();
  ASSERT_EQ(first.end, End::Done);
  EXPECT_TRUE(first.converted);
  const std::vector<Writes> firstTicks = rig.ticks;

  rig.prompter.chooseOpenNext(path);
  rig.prompter.answerNext(MsgAnswer::Yes);  // the programmer holds it already
  const ImageOperationResult second = load();
  ASSERT_EQ(second.end, End::Done);
  EXPECT_FALSE(second.converted);
  EXPECT_EQ(rig.ticks, firstTicks);  // the cache gives the same frames

  rig.touch(path, 1600000000);
  rig.prompter.chooseOpenNext(path);
  const ImageOperationResult touched = load();
  ASSERT_EQ(touched.end, End::Done);
  EXPECT_TRUE(touched.converted);
}

TEST_F(LoadFileTest, IntelHexAndBinaryFilesLoadTheirBytesThroughTheSameChoice) {
  const Bytes data = test::RandomBytes(300, 5);
  std::string hex;
  for (std::size_t at = 0; at < data.size(); at += 16) {
    hex += test::IntelLine(0, static_cast<std::uint16_t>(0x4000 + at),
                           Bytes(data.begin() + static_cast<long>(at),
                                 data.begin() + static_cast<long>(std::min(data.size(), at + 16)))) +
           "\n";
  }
  rig.dir.write("app.hex", hex + ":00000001FF\n");
  const Bytes other = test::RandomBytes(300, 6);
  rig.dir.write("app.bin", std::string(other.begin(), other.end()));
  const auto stored = [&] {
    Bytes out;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const std::uint32_t address = 0x4000 + static_cast<std::uint32_t>(i);
      out.push_back(rig.programmer().image().at(static_cast<std::uint16_t>(address >> 8))[address & 0xFF]);
    }
    return out;
  };
  rig.prompter.chooseOpenNext(rig.dir.path("app.hex"));
  ASSERT_EQ(load().end, End::Done) << ::testing::PrintToString(rig.texts());
  EXPECT_EQ(stored(), data);
  EXPECT_EQ(InfoFileName(rig.programmer().info()), "app             ");

  // A binary asks for its base; a bad answer is refused and asked again.
  rig.prompter.chooseOpenNext(rig.dir.path("app.bin"));
  rig.prompter.typeNext("xyz");
  rig.prompter.typeNext("0x4000");
  rig.prompter.clear();
  ASSERT_EQ(load().end, End::Done) << ::testing::PrintToString(rig.texts());
  EXPECT_EQ(rig.prompter.textQuestions(), std::vector<std::string>(2, kBaseAddressPrompt));
  EXPECT_EQ(rig.prompter.openChoices().size(), 1u);
  EXPECT_EQ(rig.texts().front(), kBadBaseAddressText);
  EXPECT_EQ(stored(), other);
}

TEST_F(LoadFileTest, TwoFilesOfOneStampWithOtherBytesEachReachTheProgrammerAsThemselves) {
  // Images made by a script: one size, one second, only a serial number differs.
  const std::time_t kWhen = 1700000000;
  const auto image = [](std::uint8_t serial) {
    Bytes bytes = test::Counting(16, 0);
    bytes[15] = serial;
    return bytes;
  };
  const auto pageOf = [](const Bytes& data) {
    SimPage p;
    p.fill(0xFF);
    std::copy(data.begin(), data.end(), p.begin());
    return p;
  };
  const std::string a = rig.chooseMot("unit1.mot", {S2(0x4000, image(1)), kS9});
  rig.touch(a, kWhen);
  ASSERT_EQ(load().end, End::Done);
  EXPECT_EQ(rig.programmer().image().at(0x40), pageOf(image(1)));

  for (const std::uint8_t serial : {2, 1}) {
    SCOPED_TRACE(serial);
    const std::string path =
        rig.chooseMot("unit" + std::to_string(serial) + ".mot", {S2(0x4000, image(serial)), kS9});
    rig.touch(path, kWhen);
    ASSERT_EQ(ReadFileStamp(path), ReadFileStamp(a));
    rig.prompter.clear();
    // Had the stamp alone decided, this would ask, and "No" would keep the other bytes:
    // it is loaded as new, without the question.
    const ImageOperationResult result = load();
    EXPECT_EQ(result.end, End::Done);
    EXPECT_TRUE(result.converted);
    EXPECT_THAT(rig.texts(), ElementsAre(kMsgFileLoaded));
    EXPECT_EQ(rig.programmer().image().at(0x40), pageOf(image(serial)));
  }
  // The same bytes again: the question as before.
  rig.prompter.chooseOpenNext(a);
  rig.prompter.clear();
  rig.prompter.answerNext(MsgAnswer::Yes);
  EXPECT_EQ(load().end, End::Done);
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgReloadQuestion, kMsgFileLoaded));
}

TEST_F(LoadFileTest, ADamagedCacheWithTheRightStampIsConvertedAgain) {
  const std::string path = rig.chooseMot("d.mot", PagesFile(2));
  ASSERT_EQ(load().end, End::Done);
  std::string record = rig.dir.read(kLoadRecordFileName);
  record[kDescriptorSize + 2 + 10] = 'x';
  rig.dir.write(kLoadRecordFileName, record);
  rig.prompter.chooseOpenNext(path);
  rig.prompter.answerNext(MsgAnswer::Yes);
  const ImageOperationResult again = load();
  EXPECT_EQ(again.end, End::Done);
  EXPECT_TRUE(again.converted);
  EXPECT_EQ(rig.programmer().image().at(0x40), [] {
    SimPage p;
    p.fill(0xFF);
    const Bytes data = test::Counting(16, 0);
    std::copy(data.begin(), data.end(), p.begin());
    return p;
  }());
}

TEST_F(LoadFileTest, AFileThatHasGoneByTheConvertStepIsSaidAndCancelsTheLoad) {
  const std::string path = rig.chooseMot("gone.mot", PagesFile(2));
  rig.onLoadingOpen = [&](LoadingFlow&) { std::filesystem::remove(path); };
  EXPECT_EQ(load().end, End::TransferFailed);
  EXPECT_THAT(rig.texts(), ElementsAre(kCannotOpenFileText, kMsgStoreDamaged));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  // The cache keeps nothing under the file's stamp.
  EXPECT_EQ(rig.dir.read(kLoadRecordFileName), "");
}

TEST_F(LoadFileTest, CancelShowsBothMessagesAndAnnouncesTheLoadAgain) {
  const struct {
    int afterTick;  // 0: before the first tick
  } cases[] = {{0}, {2}, {4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.afterTick);
    rig.chooseMot("long.mot", PagesFile(12));
    rig.onLoadingOpen = [&](LoadingFlow& f) { if (c.afterTick == 0) f.cancel(); };
    rig.afterLoadingTick = [&](LoadingFlow& f, int tick) { if (tick == c.afterTick) f.cancel(); };
    const std::size_t before = rig.tracing.entries().size();
    rig.prompter.clear();
    EXPECT_EQ(load().end, End::TransferFailed);
    EXPECT_THAT(WithoutQuestion(rig.texts()), ElementsAre(kMsgFileLoadingCanceled, kMsgStoreDamaged));
    int announced = 0;
    for (const Bytes& w : rig.writesSince(before)) announced += w == Bytes{'D'};
    EXPECT_EQ(announced, 2);
    EXPECT_TRUE(rig.programmer().storeDamaged());
    rig.onLoadingOpen = nullptr;
    rig.afterLoadingTick = nullptr;
  }
}

TEST_F(LoadFileTest, EveryFailureOfTheProgrammerIsToldAndLeavesTheStoreDamaged) {
  const struct {
    const char* name;
    SimErrorFault fault;
    std::string message;
  } cases[] = {
      {"StoreWriteFails", {'D', "page", 0x23, SimFaultAction::kError}, "Can not write to the on-board external flash!"},
      {"StoreStuck", {'D', "page", 0, SimFaultAction::kStuck}, kMsgTimeOut},
      {"DescriptorRefused", {'D', "descriptor", 0x12, SimFaultAction::kError},
       "Verify error of communication between PC and the programmer!"},
      {"DescriptorAnswersOddly", {'D', "descriptor", 0x01, SimFaultAction::kAnswer}, kMsgUnknownError},
      {"FinishRefused", {'D', "finish", 0x22, SimFaultAction::kError}, "Can not erase the on-board external flash!"},
      {"FinishAnswersOddly", {'D', "finish", 0x05, SimFaultAction::kAnswer}, kMsgUnknownError},
      {"FinishNeverAnswers", {'D', "finish", 0, SimFaultAction::kNoAnswer}, kMsgUnknownError},
      {"FinishStuck", {'D', "finish", 0, SimFaultAction::kStuck}, kMsgTimeOut},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimFaults faults;
    faults.errors.push_back(c.fault);
    rig.programmer().setFaults(faults);
    rig.chooseMot(std::string(c.name) + ".mot", PagesFile(3));
    rig.prompter.clear();
    EXPECT_EQ(load().end, End::TransferFailed);
    EXPECT_THAT(WithoutQuestion(rig.texts()), ElementsAre(c.message, kMsgStoreDamaged));
    EXPECT_TRUE(rig.programmer().storeDamaged());
    EXPECT_THAT(rig.history(), Not(HasSubstr("Load successfully")));
    rig.programmer().setFaults({});
  }
  // A good load afterwards makes the store whole again.
  rig.chooseMot("good.mot", PagesFile(3));
  rig.prompter.clear();
  EXPECT_EQ(load().end, End::Done);
  EXPECT_FALSE(rig.programmer().storeDamaged());
}

TEST_F(LoadFileTest, ASlowDescriptorIsWaitedForWithoutSendingItAgain) {
  SimFaults faults;
  faults.errors.push_back({'D', "descriptor", 0, SimFaultAction::kDelay, 30});
  rig.programmer().setFaults(faults);
  rig.chooseMot("slow.mot", PagesFile(2));
  EXPECT_EQ(load().end, End::Done);
  int descriptors = 0;
  for (const Writes& tick : rig.ticks) descriptors += !tick.empty() && tick[0].size() == 2;
  EXPECT_EQ(descriptors, 1);
  EXPECT_GT(rig.ticks.size(), 4u);  // the describe step ran more than once
}

TEST_F(LoadFileTest, ADescriptorThatIsNeverAnsweredIsWaitedForThirtySecondsThenEndsTheLoad) {
  SimFaults faults;
  faults.errors.push_back({'D', "descriptor", 0, SimFaultAction::kNoAnswer});
  rig.programmer().setFaults(faults);
  rig.chooseMot("mute.mot", PagesFile(2));
  std::vector<std::string> statuses;
  rig.afterLoadingTick = [&](LoadingFlow& f, int) { statuses.push_back(f.view().status); };
  EXPECT_EQ(load().end, End::TransferFailed);
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgUnknownError, kMsgStoreDamaged));
  // The bound is time on the clock, not a count of tries: at least 30 s from the first
  // describe tick (right after the convert tick) to the one that gives up, and not much more.
  ASSERT_GT(rig.tickTimesUs.size(), 3u);
  const std::uint64_t waited = rig.tickTimesUs.back() - rig.tickTimesUs[0];
  EXPECT_GE(waited, LoadingFlow::kDescribeWaitUs);
  EXPECT_LT(waited, LoadingFlow::kDescribeWaitUs + 1'000'000);
  statuses.pop_back();  // the tick that gave up
  for (const std::string& status : statuses) EXPECT_EQ(status, kLoadingPrepareText);
}

TEST_F(LoadFileTest, AProgrammerUnpluggedWhileItIsWaitedForEndsTheLoadAtOnce) {
  SimFaults faults;
  faults.errors.push_back({'D', "descriptor", 0, SimFaultAction::kNoAnswer});
  rig.programmer().setFaults(faults);
  rig.chooseMot("mute.mot", PagesFile(2));
  std::uint64_t unpluggedAtUs = 0;
  rig.afterLoadingTick = [&](LoadingFlow& f, int tick) {
    if (tick == 6) {  // a few seconds into the wait
      ASSERT_TRUE(f.waitingForProgrammer());
      unpluggedAtUs = rig.tickTimesUs.back();
      ASSERT_TRUE(rig.bench.detach(0));
    }
  };
  EXPECT_EQ(load().end, End::TransferFailed);
  // What the wait would have said at its end, said now.
  EXPECT_EQ(rig.texts().front(), kMsgTimeOut);
  ASSERT_GT(unpluggedAtUs, 0u);
  // The next describe tick sees it gone: no half minute's wait for a failure already known.
  EXPECT_LT(rig.tickTimesUs.back() - unpluggedAtUs, 2'000'000u);
}

TEST_F(LoadFileTest, CancelWorksWhileASlowProgrammerIsWaitedFor) {
  SimFaults faults;
  faults.errors.push_back({'D', "descriptor", 0, SimFaultAction::kNoAnswer});
  rig.programmer().setFaults(faults);
  rig.chooseMot("mute.mot", PagesFile(2));
  bool waiting = false;
  rig.afterLoadingTick = [&](LoadingFlow& f, int tick) {
    if (tick == 20) {  // some 10 s into the wait
      waiting = f.waitingForProgrammer();
      f.cancel();
    }
  };
  EXPECT_EQ(load().end, End::TransferFailed);
  EXPECT_TRUE(waiting);
  EXPECT_THAT(rig.texts(), ElementsAre(kMsgFileLoadingCanceled, kMsgStoreDamaged));
  EXPECT_EQ(rig.ticks.size(), 21u);
}

TEST_F(LoadFileTest, TwoLoadsInOneOpeningWriteOneDateLineAndTwoRecords) {
  rig.setAutoSave("1", "0");
  rig.chooseMot("one.mot", PagesFile(1));
  ASSERT_EQ(load().end, End::Done);
  rig.chooseMot("two_with_a_long_name.mot", PagesFile(2));
  ASSERT_EQ(load().end, End::Done);
  EXPECT_EQ(rig.history(), "\r\n2026-12-10, 09:05:07  Operation: Off-line Load\r\n"
                           "No.01 | ZK40F8C12    | one             .mot | Load successfully\r\n"
                           "No.01 | ZK40F8C12    | two_with_a_long_.mot | Load successfully\r\n");
}

TEST_F(LoadFileTest, WithTheLogOffNothingIsWritten) {
  rig.setAutoSave("0", "1");
  rig.chooseMot("quiet.mot", PagesFile(1));
  ASSERT_EQ(load().end, End::Done);
  EXPECT_EQ(rig.history(), "");
  EXPECT_FALSE(rig.single.logStarted());
}

TEST_F(LoadFileTest, TheRemainingTimeShowsFromTheEleventhSendTick) {
  std::vector<std::string> statuses;
  rig.afterLoadingTick = [&](LoadingFlow& f, int) { statuses.push_back(f.view().status); };
  rig.chooseMot("big.mot", PagesFile(60));
  ASSERT_EQ(load().end, End::Done);
  // Ticks 1 and 2 convert and describe; send ticks follow.
  ASSERT_GT(statuses.size(), 31u);
  // Ten milliseconds a tick: the transfer keeps the timer's pace, within what the
  // programmer's store takes for a group.
  EXPECT_NEAR((rig.tickTimesUs[31] - rig.tickTimesUs[3]) / 28.0, 10000.0, 500.0);
  for (std::size_t t = 0; t < 12; ++t) EXPECT_EQ(statuses[t], kLoadingPrepareText) << t;
  EXPECT_THAT(statuses[12], HasSubstr("Remain time: "));
  EXPECT_EQ(statuses[12], "Remain time:  1s");  // 38 pages at about 5 ms a page
}

}  // namespace
}  // namespace fd
