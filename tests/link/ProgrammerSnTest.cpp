// A programmer's SN as users type it and as the list shows it.
#include <gtest/gtest.h>

#include "link/ProgrammerLimit.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

TEST(ProgrammerSn, ParsesOneOrTwoDigitsNamingARow) {
  const struct {
    const char* text;
    std::optional<int> number;
  } cases[] = {
      {"01", 1}, {"1", 1}, {"08", 8}, {"8", 8}, {"05", 5},
      {"", std::nullopt}, {"0", std::nullopt}, {"00", std::nullopt}, {"9", std::nullopt}, {"09", std::nullopt},
      {"10", std::nullopt}, {"001", std::nullopt}, {"+1", std::nullopt}, {" 1", std::nullopt}, {"1 ", std::nullopt},
      {"-1", std::nullopt}, {"0x", std::nullopt}, {"a", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSn(c.text), c.number) << '"' << c.text << '"';
}

TEST(ProgrammerSn, ListsTakeEveryEntryOrNone) {
  EXPECT_EQ(ParseSnList("01,03"), (std::vector<int>{1, 3}));
  EXPECT_EQ(ParseSnList("3,1,8"), (std::vector<int>{3, 1, 8}));
  EXPECT_EQ(ParseSnList("02"), (std::vector<int>{2}));
  for (const char* bad : {"", ",", "01,,03", "01,", ",01", "01,09", "01;03", "01, 03"}) {
    EXPECT_EQ(ParseSnList(bad), std::nullopt) << '"' << bad << '"';
  }
}

TEST(ProgrammerSn, IsShownTwoDigitsWide) {
  EXPECT_EQ(SnText(1), "01");
  EXPECT_EQ(SnText(kMaxProgrammers), "08");
  EXPECT_EQ(SnTextOf("1"), "01");
  EXPECT_EQ(SnTextOf("07"), "07");
  // What is no SN stays as it was typed, so it matches no row.
  EXPECT_EQ(SnTextOf("9"), "9");
  EXPECT_EQ(SnTextOf(""), "");
}

}  // namespace
}  // namespace fd
