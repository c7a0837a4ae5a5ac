// Every programmer error code with each text it is shown with: the windows' message, the
// main list's status cell, the result view's information cell and the gang record's text.
// The texts are the ones users and scripts already see; a changed word shows here.
#include <gtest/gtest.h>

#include <set>

#include "link/ProgrammerErrors.h"

namespace fd {
namespace {

struct Case {
  std::uint8_t code;
  const char* message;
  const char* status;
  const char* information;
  const char* history;
};

constexpr const char* kUnknown = "Unknown error!";
constexpr const char* kCancel = "Break due to clicking cancel!";

const Case kCases[] = {
    {0x00, kUnknown, "E.P.V is successfully completed.", "Successful end", "Successfully completed."},
    {0x12, "Verify error of communication between PC and the programmer!", "Break due to communication!",
     "CRC code verify error", "Verify error of communication between PC and the programmer!"},
    {0x13, "Program the target with verify error!", "Break during programming!", "Program verify error",
     "Program the target with verify error!"},
    {0x22, "Can not erase the on-board external flash!", "Break during loading!", "Can not erase flash",
     "Can not erase the on-board external flash!"},
    {0x23, "Can not write to the on-board external flash!", "Break during loading!", "Can not write to flash",
     "Can not write to the on-board external flash!"},
    {0x32, "No target is connected!", "Break during connecting!", "No target detected", "No target is connected!"},
    {0x33, "Target is not powered!", "Break during connecting!", "Target is not powered", "Target is not powered!"},
    {0x34, "Detected power is not match to the setting value!", "Break during connecting!", "Power not match",
     "Detected power is not match to the setting value!"},
    {0x35, "Can not set the new baud rate to the target!", "Break during connecting!", "Can not set new baud rate",
     "Can not set the new baud rate to the target!"},
    {0x40, "ID code is not match!", "Break during ID check!", "ID not match", "ID code is not match!"},
    {0x50, "Can not erase the target!", "Break during erase target!", "Can not erase target",
     "Can not erase the target!"},
    {0x60, "Program to the target end with error!", "Break during programming", "Program error",
     "Program to the target end with error!"},
    // The result view has no words of its own for the late no-target code.
    {0x70, "No target is connected!", kCancel, "Cancel", "No target is connected!"},
    // The gang record has none for the short cut.
    {0x80, "Target power is short cut!", "Break due to the deadly error!", "Target power is short cut", kUnknown},
    // No result (a cancelled or unreadable run) and codes no programmer sends.
    {0xFF, kUnknown, kCancel, "Cancel", kUnknown},
    {0x01, kUnknown, kCancel, "Cancel", kUnknown},
    {0x41, kUnknown, kCancel, "Cancel", kUnknown},
};

TEST(ProgrammerErrorTable, EveryCodeHasTheTextsTheWindowsShow) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << int(c.code));
    EXPECT_EQ(ProgrammerErrorText(c.code), c.message);
    EXPECT_EQ(ProgrammerResultTexts(c.code), std::make_pair(std::string(c.status), std::string(c.information)));
    EXPECT_EQ(ProgrammerHistoryText(c.code), c.history);
  }
}

TEST(ProgrammerErrorTable, OnlyTheProgrammersCodesAreKnown) {
  std::set<int> known;
  for (int code = 0; code < 256; ++code) {
    const ProgrammerErrorTexts& texts = ProgrammerErrorTextsOf(static_cast<std::uint8_t>(code));
    if (!texts.known) continue;
    known.insert(code);
    EXPECT_EQ(texts.code, code);
  }
  EXPECT_EQ(known, (std::set<int>{0x00, 0x12, 0x13, 0x22, 0x23, 0x32, 0x33, 0x34, 0x35, 0x40, 0x50, 0x60, 0x70, 0x80}));
  EXPECT_EQ(CodeOf(ProgrammerError::IdMismatch), 0x40);
  EXPECT_STREQ(ProgrammerErrorTextsOf(ProgrammerError::PowerShortCut).message, "Target power is short cut!");
}

}  // namespace
}  // namespace fd
