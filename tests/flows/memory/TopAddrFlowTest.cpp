// The Top Address window: the address it offers, and which addresses it accepts.
#include "flows/memory/TopAddrFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/AppState.h"
#include "formats/Hex.h"
#include "support/RecordingPrompter.h"

namespace fd {
namespace {

using ::testing::ElementsAre;

TEST(TopAddrFlow, OffersTheLastAddressOrTheStartInFourOrFiveDigits) {
  const struct {
    char type;
    std::int32_t viewTop;
    const char* text;
  } cases[] = {{'2', 0, "0C000"}, {'1', 0, "C000"}, {'2', 0xF123, "0F123"}, {'1', 0xF123, "F123"}};
  for (const auto& c : cases) {
    AppState state;
    state.mcuTypeCode = c.type;
    state.readStart = 0xC000;
    state.readEnd = 0xFFFF;
    state.viewTop = c.viewTop;
    test::RecordingPrompter prompter;
    TopAddrFlow flow(state, prompter);
    flow.open();
    EXPECT_EQ(flow.view().text, c.text);
    EXPECT_EQ(flow.view().maxChars, c.type == '1' ? 4 : 5);
  }
}

TEST(TopAddrFlow, AcceptsOnlyAnAddressInsideTheReadData) {
  const struct {
    const char* text;
    const char* message;   // null: accepted
    const char* textAfter;
  } cases[] = {
      {"C005", nullptr, "C005"},  // readStart itself
      {"fffe", nullptr, "FFFE"},  // readEnd itself
      {"C004", "Input address is out of read data!", "0C010"},
      {"FFFF", "Input address is out of read data!", "0C010"},
      {"", "You have not inputed a new address yet!", ""},
      {"G000", "Input format error!", "G000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    AppState state;
    state.readStart = 0xC005;
    state.readEnd = 0xFFFE;
    state.viewTop = 0xC010;
    test::RecordingPrompter prompter;
    TopAddrFlow flow(state, prompter);
    flow.open();
    flow.setText(c.text);
    flow.ok();
    EXPECT_EQ(flow.view().text, c.textAfter);
    if (c.message == nullptr) {
      EXPECT_EQ(flow.result(), FlowResult::Ok);
      EXPECT_EQ(state.viewTop, static_cast<std::int32_t>(ParseHex(c.text)));
    } else {
      EXPECT_FALSE(flow.ended());
      EXPECT_THAT(prompter.texts(), ElementsAre(c.message));
      EXPECT_EQ(prompter.messages()[0].caption, "ERROR");
      EXPECT_EQ(state.viewTop, 0xC010);
    }
  }
}

}  // namespace
}  // namespace fd
