// The main window's result texts are the programmer error table's, for every code a
// programmer could hand out, so the window can take them from the table without a change.
#include <gtest/gtest.h>

#include "flows/main/MainFlow.h"
#include "link/ProgrammerErrors.h"

namespace fd {
namespace {

TEST(MainResultTexts, AreTheErrorTablesForEveryCode) {
  for (int code = 0; code < 256; ++code) {
    const auto byte = static_cast<std::uint8_t>(code);
    EXPECT_EQ(ResultViewTexts(byte), ProgrammerResultTexts(byte)) << code;
  }
}

}  // namespace
}  // namespace fd
