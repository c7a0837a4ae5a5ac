// The main window's result view takes its texts from the programmer error table; the
// codes it always showed in its own way stay so: a late no-target code and any code the
// table does not know read as a cancelled run.
#include <gtest/gtest.h>

#include <utility>

#include "link/ProgrammerErrors.h"

namespace fd {
namespace {

TEST(MainResultTexts, KeepTheResultViewsTextsForEveryKindOfCode) {
  const struct {
    std::uint8_t code;
    std::pair<std::string, std::string> texts;
  } cases[] = {
      {0x00, {"E.P.V is successfully completed.", "Successful end"}},
      {0x12, {"Break due to communication!", "CRC code verify error"}},
      {0x34, {"Break during connecting!", "Power not match"}},
      {0x60, {"Break during programming", "Program error"}},
      {0x70, {"Break due to clicking cancel!", "Cancel"}},
      {0x80, {"Break due to the deadly error!", "Target power is short cut"}},
      {0x99, {"Break due to clicking cancel!", "Cancel"}},
      {0xFF, {"Break due to clicking cancel!", "Cancel"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ProgrammerResultTexts(c.code), c.texts) << int{c.code};
}

}  // namespace
}  // namespace fd
