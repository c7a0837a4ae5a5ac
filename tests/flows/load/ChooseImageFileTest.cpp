#include "flows/load/ChooseImageFile.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/RecordingPrompter.h"
#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::S2;
using test::SFile;
using test::kS9;

struct Rig {
  test::TempDir dir;
  test::RecordingPrompter prompter;
  std::string file(const std::string& name, const std::string& text) {
    dir.write(name, text);
    return dir.path(name);
  }
};

TEST(ChooseImageFile, CancelEndsTheChoice) {
  Rig rig;
  EXPECT_FALSE(ChooseImageFile(rig.prompter, kSelectLoadFileTitle, nullptr));
  EXPECT_TRUE(rig.prompter.messages().empty());
  ASSERT_EQ(rig.prompter.openChoices().size(), 1u);
  EXPECT_EQ(rig.prompter.openChoices()[0].title, "Select load file");
  EXPECT_EQ(rig.prompter.openChoices()[0].filter,
            "Motorola Format(*.mot)|*.mot|Intel HEX(*.hex;*.ihex)|*.hex;*.ihex|Binary(*.bin)|*.bin");
  EXPECT_TRUE(rig.prompter.openChoices()[0].fileName.empty());
}

TEST(ChooseImageFile, EachRefusalShowsItsMessageAndOpensTheChoiceAgain) {
  Rig rig;
  const std::string good = rig.file("my.image.mot", SFile({S2(0x4000, {1, 2}), kS9}));
  const struct {
    std::string path;
    const char* caption;
    MsgIcon icon;
    std::string text;
  } refusals[] = {
      {rig.dir.path("missing.mot"), "ERROR", MsgIcon::Error, "Can not open selected file!"},
      {rig.file("empty.mot", ""), "WARNING", MsgIcon::Warning, "Selected file is not mot file."},
      {rig.file("lower.mot", "s00600004844521B\r\n" + S2(0x4000, {1}) + "\r\n"), "WARNING", MsgIcon::Warning,
       "Selected file is not mot file."},
      {rig.file("bad.mot", SFile({S2(0x4000, {1}), "S2080040", kS9})), "ERROR", MsgIcon::Error,
       "Selected file has a bad record in line 3: the count 08 gives 20 characters, the line has 8."},
      {rig.file("overlap.mot", SFile({S2(0x4000, test::Counting(16)), S2(0x4004, {1}), kS9})), "ERROR",
       MsgIcon::Error, "Selected file has overlapping records: line 3 overlaps line 2."},
      {rig.file("page0.mot", SFile({S2(0x0010, {1}), kS9})), "ERROR", MsgIcon::Error,
       "Selected file has a bad record in line 2: its data lies below address 0x100 (page 0)."},
      {rig.file("low.mot", SFile({S2(0x2000, {1}), kS9})), "ERROR", MsgIcon::Error,
       "Selected file is out of MCU memory map!"},
      {rig.file("beyond.mot", SFile({S2(0x4000, {1}), S2(0x200000, {1}), kS9})), "ERROR", MsgIcon::Error,
       "Selected file is out of MCU memory map!"},
      {rig.file("over-the-end.mot", SFile({S2(0xFFF8, test::Counting(16)), kS9})), "ERROR", MsgIcon::Error,
       "Selected file is out of MCU memory map!"},
      {rig.file("checksum.mot", SFile({S2(0x4000, {1}), S2(0x4001, {2}, 1), kS9})), "ERROR", MsgIcon::Error,
       "Selected file has a bad record in line 3: the checksum is B8, the record's bytes give B7."},
      {rig.file("header.mot", SFile({})), "ERROR", MsgIcon::Error, "Selected file holds no data to program!"},
      {rig.file("end-only.mot", SFile({kS9})), "ERROR", MsgIcon::Error, "Selected file holds no data to program!"},
  };
  for (const auto& refusal : refusals) rig.prompter.chooseOpenNext(refusal.path);
  rig.prompter.chooseOpenNext(good);
  const MemoryMap map{0, 0, 0x4000, 0x10000};
  const auto choice = ChooseImageFile(rig.prompter, kSelectLoadFileTitle, &map);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->path, good);
  EXPECT_EQ(choice->title, "my.image");
  EXPECT_EQ(choice->pageCount, 1u);
  EXPECT_EQ(choice->text, rig.dir.read("my.image.mot"));
  const auto& shown = rig.prompter.messages();
  ASSERT_EQ(shown.size(), std::size(refusals));
  for (std::size_t i = 0; i < shown.size(); ++i) {
    SCOPED_TRACE(refusals[i].path);
    EXPECT_EQ(shown[i].caption, refusals[i].caption);
    EXPECT_EQ(shown[i].icon, refusals[i].icon);
    EXPECT_EQ(shown[i].text, refusals[i].text);
  }
  EXPECT_EQ(rig.prompter.openChoices().size(), std::size(refusals) + 1);
}

TEST(ChooseImageFile, IntelHexAndBinaryFilesPassTheSameTests) {
  Rig rig;
  const MemoryMap map{0, 0, 0x4000, 0x10000};
  const std::string bin = rig.file("app.bin", std::string(0x180, '\x11'));
  // Refused with their messages and chosen again: a broken Intel HEX file, an Intel HEX
  // file outside the memory map, and a binary placed outside it. A binary's cancelled base
  // question goes back to the file dialog; a bad base is asked again.
  rig.prompter.chooseOpenNext(rig.file("bad.hex", ":0200000001\n"));
  rig.prompter.chooseOpenNext(rig.file("low.hex", test::IntelLine(0, 0x2000, {1}) + "\n:00000001FF\n"));
  rig.prompter.chooseOpenNext(bin);
  rig.prompter.typeNext("100");
  rig.prompter.chooseOpenNext(bin);
  rig.prompter.typeNext(std::nullopt);
  rig.prompter.chooseOpenNext(bin);
  rig.prompter.typeNext("4000h");
  rig.prompter.typeNext("0x4080");
  const auto choice = ChooseImageFile(rig.prompter, kSelectLoadFileTitle, &map);
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->title, "app");
  EXPECT_EQ(choice->input.format, ImageFormat::Binary);
  EXPECT_EQ(choice->input.baseAddress, 0x4080u);
  EXPECT_EQ(choice->pageCount, 2u);
  const std::vector<std::string> texts = rig.prompter.texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0].rfind("Selected file is not a valid Intel HEX file", 0), 0u) << texts[0];
  EXPECT_EQ(texts[1], kOutOfMemoryMapText);
  EXPECT_EQ(texts[2], kOutOfMemoryMapText);
  EXPECT_EQ(texts[3], kBadBaseAddressText);
  EXPECT_EQ(rig.prompter.textQuestions().size(), 4u);
  EXPECT_EQ(rig.prompter.openChoices().size(), 5u);
}

TEST(ChooseImageFile, WithoutTheMemoryMapTestAnyAddressPasses) {
  Rig rig;
  rig.prompter.chooseOpenNext(rig.file("low.mot", SFile({S2(0x0100, {1}), kS9})));
  const auto choice = ChooseImageFile(rig.prompter, kSelectProgramFileTitle, nullptr);
  ASSERT_TRUE(choice);
  EXPECT_TRUE(rig.prompter.messages().empty());
  EXPECT_EQ(rig.prompter.openChoices()[0].title, "Select program file");
}

TEST(ChooseImageFile, AFileWithoutAPageIsRefusedWithOrWithoutTheMemoryMapTest) {
  Rig rig;
  const std::string header = rig.file("header.mot", SFile({}));
  const std::string s5 = rig.file("count.mot", SFile({"S5030000FC", kS9}));
  const MemoryMap none{};
  for (const MemoryMap* map : {static_cast<const MemoryMap*>(nullptr), &none}) {
    rig.prompter.clear();
    rig.prompter.chooseOpenNext(header);
    rig.prompter.chooseOpenNext(s5);
    EXPECT_FALSE(ChooseImageFile(rig.prompter, kSelectLoadFileTitle, map));
    EXPECT_EQ(rig.prompter.texts(), (std::vector<std::string>{kNoDataText, kNoDataText}));
  }
}

TEST(ChooseImageFile, OnTheApplicationStateSetsThePathAndTitle) {
  Rig rig;
  AppState state;
  state.userFlashStart = 0x8000;
  state.userFlashEnd = 0x10000;
  state.imagePath = "old";
  const std::string low = rig.file("low.mot", SFile({S2(0x4000, {1}), kS9}));
  const std::string high = rig.file("high.mot", SFile({S2(0x8000, {1}), kS9}));
  rig.prompter.chooseOpenNext(low);
  rig.prompter.chooseOpenNext(high);
  ASSERT_TRUE(ChooseImageFile(rig.prompter, state, kSelectLoadFileTitle, true));
  EXPECT_EQ(state.imagePath, high);
  EXPECT_EQ(state.imageTitle, "high");
  EXPECT_EQ(rig.prompter.texts(), std::vector<std::string>{"Selected file is out of MCU memory map!"});
  // Cancelled: the state keeps what it had.
  EXPECT_FALSE(ChooseImageFile(rig.prompter, state, kSelectLoadFileTitle, true));
  EXPECT_EQ(state.imagePath, high);
}

}  // namespace
}  // namespace fd
