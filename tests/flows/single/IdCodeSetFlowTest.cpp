#include "flows/single/IdCodeSetFlow.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/RecordingPrompter.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::ElementsAre;

// The ID window over a fresh settings file, as the Single Operation window opens it.
class IdCodeSetFlowTest : public ::testing::Test {
protected:
  void SetUp() override {
    state.appDir = dir.dir();
    state.idCode = kDefaultIdCode;
    settings.write(kSectionProgrammer, kKeyIdCode, "C3C3C3C3C3C3C3");
  }
  std::string storedText() const { return settings.read(kSectionProgrammer, kKeyIdCode); }

  test::TempDir dir;
  AppState state;
  SettingsFile settings{dir.path(kSettingsFileName)};
  test::RecordingPrompter prompter;
};

TEST_F(IdCodeSetFlowTest, OkValidatesAsksAboutShortEntriesAndStoresOnLine) {
  constexpr IdCode kUnchanged = kDefaultIdCode;
  const struct {
    const char* name;
    std::string typed;
    bool stringInput;
    MsgAnswer answer;          // to the fill question, when it comes
    std::vector<std::string> messages;
    bool stored;
    IdCode code;               // idCode afterwards
    std::string text;          // "ID code" afterwards
    std::string editAfter;     // the edit's text after a refusal
  } cases[] = {
      {"8 digits, Yes", "12345678", false, MsgAnswer::Yes, {kMsgIdFillQuestion}, true,
       {0xC3, 0xC3, 0xC3, 0x12, 0x34, 0x56, 0x78}, "C3C3C312345678", ""},
      {"8 digits, No", "12345678", false, MsgAnswer::No, {kMsgIdFillQuestion}, false, kUnchanged, "C3C3C3C3C3C3C3",
       "12345678"},
      {"13 digits", "1234567890ABC", false, MsgAnswer::Yes, {kMsgIdIncompleteByte}, false, kUnchanged,
       "C3C3C3C3C3C3C3", "1234567890ABC"},
      {"a space between digits", "12 34", false, MsgAnswer::Yes, {kMsgIdNotHex}, false, kUnchanged,
       "C3C3C3C3C3C3C3", ""},
      {"lower case", "a1b2c3d4e5f6a7", false, MsgAnswer::Yes, {}, true, {0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0xA7},
       "A1B2C3D4E5F6A7", ""},
      {"nothing typed", "", false, MsgAnswer::Yes, {kMsgNoIdInput}, false, kUnchanged, "C3C3C3C3C3C3C3", ""},
      {"7-character string", "ZK-40 a", true, MsgAnswer::Yes, {}, true, {'Z', 'K', '-', '4', '0', ' ', 'a'},
       "5A4B2D34302061", ""},
      {"short string, Yes", "AB", true, MsgAnswer::Yes, {kMsgIdFillQuestion}, true,
       {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 'A', 'B'}, "C3C3C3C3C34142", ""},
      // Leading spaces are skipped by the hex reader and count as characters of the edit;
      // the file gets the digits of the code stored, never the spaces.
      {"leading spaces", "  1234", false, MsgAnswer::Yes, {kMsgIdFillQuestion}, true,
       {0xC3, 0xC3, 0xC3, 0xC3, 0x00, 0x12, 0x34}, "C3C3C3C3001234", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    state.idCode = kDefaultIdCode;
    settings.write(kSectionProgrammer, kKeyIdCode, "C3C3C3C3C3C3C3");
    prompter.clear();
    const bool asks = std::find(c.messages.begin(), c.messages.end(), kMsgIdFillQuestion) != c.messages.end();
    if (asks) prompter.answerNext(c.answer);
    IdCodeSetFlow flow(state, prompter);
    flow.open();
    if (c.stringInput) flow.setStringInput(true);
    flow.setText(c.typed);
    EXPECT_EQ(flow.ok(), c.stored);
    EXPECT_EQ(prompter.texts(), c.messages);
    EXPECT_EQ(flow.ended(), c.stored);
    EXPECT_EQ(state.idCode, c.code);
    EXPECT_EQ(storedText(), c.text);
    if (!c.stored) {
      EXPECT_EQ(flow.view().text, c.editAfter);
    }
  }
}

TEST_F(IdCodeSetFlowTest, MessagesHaveTheirCaptionsAndIcons) {
  const struct {
    std::string typed;
    const char* caption;
    MsgIcon icon;
    MsgButtons buttons;
  } cases[] = {
      {"", kCaptionWarning, MsgIcon::Warning, MsgButtons::Ok},
      {"XY", kCaptionError, MsgIcon::Error, MsgButtons::Ok},
      {"123", kCaptionError, MsgIcon::Error, MsgButtons::Ok},
      {"1234", kCaptionWarning, MsgIcon::Warning, MsgButtons::YesNo},
  };
  for (const auto& c : cases) {
    prompter.clear();
    prompter.answerNext(MsgAnswer::No);
    IdCodeSetFlow flow(state, prompter);
    flow.open();
    flow.setText(c.typed);
    flow.ok();
    ASSERT_NE(prompter.last(), nullptr) << c.typed;
    EXPECT_EQ(prompter.last()->caption, c.caption) << c.typed;
    EXPECT_EQ(prompter.last()->icon, c.icon) << c.typed;
    EXPECT_EQ(prompter.last()->buttons, c.buttons) << c.typed;
  }
}

TEST_F(IdCodeSetFlowTest, TheCheckBoxRestoresTheIdTextTheWindowOpenedWith) {
  settings.write(kSectionProgrammer, kKeyIdCode, "0102030405060a");
  IdCodeSetFlow flow(state, prompter);
  flow.open();
  EXPECT_EQ(flow.view().text, "0102030405060a");  // as stored, unchanged
  EXPECT_EQ(flow.view().maxLength, 14u);
  EXPECT_FALSE(flow.view().stringInput);
  flow.setText("FFFF");
  flow.setStringInput(true);
  EXPECT_EQ(flow.view().text, "TagCode");
  EXPECT_EQ(flow.view().maxLength, 7u);
  flow.setText("ABCDEFGHIJ");
  EXPECT_EQ(flow.view().text, "ABCDEFG");  // the edit holds 7
  flow.setStringInput(false);
  EXPECT_EQ(flow.view().text, "0102030405060a");
  EXPECT_EQ(flow.view().maxLength, 14u);
}

TEST_F(IdCodeSetFlowTest, OffLineStoresInTheBlockAndLeavesTheSettingsFileAlone) {
  state.offlineMode = 1;
  state.programmerInfo.fill(0xEE);
  const IdCode stored = {0x31, 0x41, 0x59, 0x26, 0x53, 0x58, 0x97};
  std::copy(stored.begin(), stored.end(), state.programmerInfo.begin() + info::kIdCode);
  const std::string fileBefore = dir.read(kSettingsFileName);

  IdCodeSetFlow flow(state, prompter);
  flow.open();
  EXPECT_EQ(flow.view().text, "31415926535897");
  flow.setText("00112233445566");
  ASSERT_TRUE(flow.ok());
  EXPECT_EQ(flow.result(), FlowResult::Ok);
  EXPECT_THAT(std::vector<std::uint8_t>(state.programmerInfo.begin() + 2, state.programmerInfo.begin() + 9),
              ElementsAre(0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66));
  EXPECT_EQ(state.programmerInfo[1], 0xEE);
  EXPECT_EQ(state.programmerInfo[9], 0xEE);
  EXPECT_EQ(state.idCode, kDefaultIdCode);
  EXPECT_EQ(dir.read(kSettingsFileName), fileBefore);
}

TEST_F(IdCodeSetFlowTest, CloseBoxStoresNothing) {
  IdCodeSetFlow flow(state, prompter);
  flow.open();
  flow.setText("00112233445566");
  flow.closeBox();
  EXPECT_EQ(flow.result(), FlowResult::Cancel);
  EXPECT_EQ(storedText(), "C3C3C3C3C3C3C3");
  EXPECT_EQ(state.idCode, kDefaultIdCode);
}

TEST_F(IdCodeSetFlowTest, ASettingsFileThatCannotBeWrittenKeepsTheOldIdAndSaysSo) {
  ::chmod(dir.path(kSettingsFileName).c_str(), 0444);
  test::AsPlainUser plain(dir);
  if (!plain.active()) GTEST_SKIP() << "cannot drop root rights here";
  IdCodeSetFlow flow(state, prompter);
  flow.open();
  flow.setText("00112233445566");
  EXPECT_FALSE(flow.ok());
  EXPECT_FALSE(flow.ended());
  EXPECT_THAT(prompter.texts(), ElementsAre(kMsgSettingsNotWritten));
  EXPECT_EQ(state.idCode, kDefaultIdCode);
}

}  // namespace
}  // namespace fd
