// The Address Setting window: what its edits show, the range from ticked blocks, the
// checks of typed addresses in their order, and the boxes that tick a whole flash area.
#include "flows/memory/AddrFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/MemoryRig.h"
#include "formats/Hex.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using test::MemoryRig;

std::vector<bool> Ticks(const AddrView& view) {
  std::vector<bool> ticks;
  for (const auto& row : view.rows) ticks.push_back(row.checked);
  return ticks;
}

TEST(AddrFlow, TheEditsShowTheLastRangeOrThePlaceholders) {
  const struct {
    const char* product;
    std::int32_t start, end;
    const char* startText;
    const char* endText;
    int maxChars;
    std::int32_t endAfter;
  } cases[] = {
      {test::kFiveBlocks, 0, 0, "START", "END", 5, 0},
      {test::kFiveBlocks, 0x4000, 0x4FFF, " 4000", " 4FFF", 5, 0x4FFF},
      {test::kFiveBlocks, 0xE0000, 0xEFFFF, "E0000", "EFFFF", 5, 0xEFFFF},
      {test::kFiveBlocks, 0, 0x4FFF, "START", "END", 5, 0x4FFF},
      {test::kFourDigits, 0x400, 0xFFF, " 400", " FFF", 4, 0xFFF},
      // Four digits cannot show it: the end is forgotten.
      {test::kFourDigits, 0xC000, 0x10000, "START", "END", 4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.product) + " " + c.startText);
    MemoryRig rig(c.product);
    rig.state.readStart = c.start;
    rig.state.readEnd = c.end;
    AddrFlow flow(rig.state, rig.prompter);
    flow.open();
    EXPECT_EQ(flow.view().startText, c.startText);
    EXPECT_EQ(flow.view().endText, c.endText);
    EXPECT_EQ(flow.view().maxChars, c.maxChars);
    EXPECT_EQ(rig.state.readEnd, c.endAfter);
  }
}

TEST(AddrFlow, TheRangeRunsFromTheFirstTickedBlockToTheEndOfTheLast) {
  const struct {
    const char* product;
    std::vector<int> ticked;
    std::int32_t start, end;
  } cases[] = {
      {test::kFourDigits, {0, 2}, 0x0C000, 0x0FFFF},  // 8K at C000 ... 4K at F000, E000 inside
      {test::kFourDigits, {2}, 0x0F000, 0x0FFFF},
      {test::kFourDigits, {0}, 0x0C000, 0x0DFFF},
      {test::kFiveBlocks, {0, 1}, 0x02400, 0x02BFF},
      {test::kFiveBlocks, {3}, 0x0E000, 0x0EFFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start + c.end);
    MemoryRig rig(c.product);
    AddrFlow flow(rig.state, rig.prompter);
    flow.open();
    flow.setStartText("G");  // typed addresses do not count when blocks are ticked
    for (int row : c.ticked) flow.setChecked(row, true);
    flow.ok();
    EXPECT_EQ(flow.result(), FlowResult::Ok);
    EXPECT_EQ(rig.state.readStart, c.start);
    EXPECT_EQ(rig.state.readEnd, c.end);
    EXPECT_TRUE(rig.prompter.messages().empty());
  }
}

TEST(AddrFlow, ADataBlockAndAUserBlockTogetherAreRefused) {
  MemoryRig rig(test::kFiveBlocks);
  rig.state.readStart = 0x2400;
  rig.state.readEnd = 0x27FF;
  AddrFlow flow(rig.state, rig.prompter);
  flow.open();
  flow.setChecked(1, true);
  flow.setChecked(2, true);
  flow.ok();
  EXPECT_FALSE(flow.ended());
  ASSERT_EQ(rig.prompter.messages().size(), 1u);
  EXPECT_EQ(rig.prompter.messages()[0].caption, "WARNING");
  EXPECT_EQ(rig.prompter.messages()[0].text, "Can not read data flash area and user flash area at the same time.");
  EXPECT_EQ(rig.state.readStart, 0x2400);
  EXPECT_EQ(rig.state.readEnd, 0x27FF);
}

TEST(AddrFlow, ABlockSizeWithoutADigitIsRefusedWithAMessage) {
  MemoryRig rig(test::kBadSize);
  AddrFlow flow(rig.state, rig.prompter);
  flow.open();
  ASSERT_EQ(flow.view().rows.size(), 2u);
  EXPECT_EQ(flow.view().rows[1].block.size, " K  ");
  flow.setChecked(1, true);
  flow.ok();
  EXPECT_FALSE(flow.ended());
  EXPECT_THAT(rig.prompter.texts(), ElementsAre("Can not read the size of Block 1 from the MCU file!"));
  EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
  EXPECT_EQ(rig.state.readEnd, 0);
  // As the first of two blocks its size does not matter.
  flow.setChecked(1, false);
  flow.setChecked(0, true);
  flow.ok();
  EXPECT_EQ(flow.result(), FlowResult::Ok);
  EXPECT_EQ(rig.state.readEnd, 0x0EFFF);
}

TEST(AddrFlow, TypedAddressesAreCheckedInOrder) {
  // ZK40T5: data flash [02400, 02C00), user flash [0D000, 10000).
  const struct {
    const char* start;
    const char* end;
    const char* message;  // null: accepted
  } cases[] = {
      {"START", "END", "No block selected and input wrong address!"},
      {"G000", "F000", "No block selected and input wrong address!"},
      {"D000", "F00 ", "No block selected and input wrong address!"},  // a trailing blank
      {"", "F000", "You have not inputed start address yet!"},
      {"D000", "", "You have not inputed end address yet!"},
      {"D000", "FFFF", nullptr},
      {"d000", "efff", nullptr},  // the edits force upper case
      {"D000", "10000", "Input address is out of memory map!"},  // the end of user flash itself
      {"CFFF", "D000", "Input address is out of memory map!"},
      {"2400", "2BFF", nullptr},
      {"2400", "2C00", "Input address is out of memory map!"},
      {"2800", "D000", "Input address is out of memory map!"},  // from one area into the other
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + "-" + c.end);
    MemoryRig rig(test::kFiveBlocks);
    AddrFlow flow(rig.state, rig.prompter);
    flow.open();
    flow.setStartText(c.start);
    flow.setEndText(c.end);
    flow.ok();
    if (c.message == nullptr) {
      EXPECT_EQ(flow.result(), FlowResult::Ok);
      EXPECT_TRUE(rig.prompter.messages().empty());
      EXPECT_EQ(rig.state.readStart, static_cast<std::int32_t>(ParseHex(c.start)));
      EXPECT_EQ(rig.state.readEnd, static_cast<std::int32_t>(ParseHex(c.end)));
    } else {
      EXPECT_FALSE(flow.ended());
      EXPECT_THAT(rig.prompter.texts(), ElementsAre(c.message));
      EXPECT_EQ(rig.prompter.messages()[0].caption, "ERROR");
      EXPECT_EQ(rig.state.readStart, 0);
    }
  }
}

TEST(AddrFlow, AStartAboveTheEndIsExchangedOnlyWhenTheUserSaysSo) {
  for (const MsgAnswer answer : {MsgAnswer::Yes, MsgAnswer::No}) {
    MemoryRig rig(test::kFiveBlocks);
    AddrFlow flow(rig.state, rig.prompter);
    flow.open();
    flow.setStartText("F000");
    flow.setEndText("E000");
    rig.prompter.answerNext(answer);
    flow.ok();
    ASSERT_EQ(rig.prompter.messages().size(), 1u);
    const auto& question = rig.prompter.messages()[0];
    EXPECT_EQ(question.caption, "WARNING");
    EXPECT_EQ(question.icon, MsgIcon::Question);
    EXPECT_EQ(question.buttons, MsgButtons::YesNo);
    EXPECT_EQ(question.text, "End address < Start address.\nExchange start address and end address?");
    if (answer == MsgAnswer::Yes) {
      EXPECT_EQ(flow.result(), FlowResult::Ok);
      EXPECT_EQ(flow.view().startText, "E000");
      EXPECT_EQ(flow.view().endText, "F000");
      EXPECT_EQ(rig.state.readStart, 0xE000);
      EXPECT_EQ(rig.state.readEnd, 0xF000);
    } else {
      EXPECT_FALSE(flow.ended());
      EXPECT_EQ(flow.view().startText, "F000");
      EXPECT_EQ(rig.state.readStart, 0);
    }
  }
}

TEST(AddrFlow, FourDigitEditsTakeFourCharacters) {
  MemoryRig rig(test::kFourDigits);
  AddrFlow flow(rig.state, rig.prompter);
  flow.open();
  flow.setStartText("C0001");
  flow.setEndText("fffff");
  EXPECT_EQ(flow.view().startText, "C000");
  EXPECT_EQ(flow.view().endText, "FFFF");
  flow.ok();
  EXPECT_EQ(flow.result(), FlowResult::Ok);
  EXPECT_EQ(rig.state.readStart, 0xC000);
  EXPECT_EQ(rig.state.readEnd, 0xFFFF);
}

TEST(AddrFlow, TheAreaBoxesTickTheirKindAndClearTheOther) {
  enum Box { Data, User };
  const struct {
    std::vector<std::pair<Box, bool>> clicks;
    std::vector<int> byHand;
    std::vector<bool> ticks;
    bool allData, allUser;
  } cases[] = {
      {{{User, true}}, {}, {false, false, true, true, true}, false, true},
      {{{Data, true}}, {2}, {true, true, false, false, false}, true, false},
      {{{Data, true}, {User, true}}, {}, {false, false, true, true, true}, false, true},
      // Set clears the data row ticked by hand; cleared leaves nothing ticked.
      {{{User, true}, {User, false}}, {0}, {false, false, false, false, false}, false, false},
      // Cleared: only its own kind is cleared; rows ticked by hand of the other kind stay.
      {{{Data, false}}, {0, 3}, {false, false, false, true, false}, false, false},
  };
  for (const auto& c : cases) {
    MemoryRig rig(test::kFiveBlocks);
    AddrFlow flow(rig.state, rig.prompter);
    flow.open();
    for (int row : c.byHand) flow.setChecked(row, true);
    for (const auto& [box, on] : c.clicks) box == Data ? flow.setAllData(on) : flow.setAllUser(on);
    EXPECT_EQ(Ticks(flow.view()), c.ticks);
    EXPECT_EQ(flow.view().allData, c.allData);
    EXPECT_EQ(flow.view().allUser, c.allUser);
  }
}

TEST(AddrFlow, CloseLeavesTheRangeAsItWas) {
  MemoryRig rig(test::kFiveBlocks);
  rig.state.readStart = 0xD000;
  rig.state.readEnd = 0xDFFF;
  AddrFlow flow(rig.state, rig.prompter);
  flow.open();
  flow.setChecked(4, true);
  flow.closeBox();
  EXPECT_EQ(flow.result(), FlowResult::Cancel);
  EXPECT_EQ(rig.state.readStart, 0xD000);
  EXPECT_EQ(rig.state.readEnd, 0xDFFF);
}

}  // namespace
}  // namespace fd
