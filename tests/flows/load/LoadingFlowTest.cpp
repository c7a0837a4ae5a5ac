// The Loading window's rules that stand on their own: the sending period, the remaining-time
// text and the ID code an image carries.
#include "flows/load/LoadingFlow.h"

#include <gtest/gtest.h>

#include <array>

namespace fd {
namespace {

TEST(LoadingRules, SendingPeriodByModeAndTypeCode) {
  const struct {
    bool offline;
    char type;
    int ms;
  } cases[] = {{true, '2', 10}, {true, '3', 10}, {false, '2', 60}, {false, '3', 35}, {false, '1', 70}, {false, '4', 70},
               {false, '0', 70}};
  for (const auto& c : cases) EXPECT_EQ(SendingPeriodMs(c.offline, c.type), c.ms) << c.offline << c.type;
}

TEST(LoadingRules, RemainingTimeText) {
  const struct {
    std::uint64_t seconds;
    const char* text;
  } cases[] = {
      {75, "Remain time:  1m 16s"}, {9, "Remain time: 10s"}, {0, "Remain time:  1s"},
      {59, "Remain time: 60s"},     {60, "Remain time:  1m  1s"}, {754, "Remain time: 12m 35s"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemainTimeText(c.seconds), c.text) << c.seconds;
  // 40 ms for 20 pages: 2 ms a page, 37,500 pages left.
  EXPECT_EQ(RemainSeconds(40, 20, 37500), 75u);
  EXPECT_EQ(RemainSeconds(1500, 0, 3), 4u);  // nothing done yet: the elapsed time per page
  EXPECT_EQ(RemainSeconds(999, 1000, 5000), 0u);  // under a millisecond a page counts as none
}

TEST(LoadingRules, TheIdCodePageAndItsSevenBytes) {
  std::array<std::uint8_t, 256> page{};
  for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i);
  const std::string id = "DFE3EBEFF3F7FB";
  const struct {
    std::uint16_t page;
    char type;
    bool isIdPage;
  } cases[] = {
      {0x00FF, '2', true}, {0x00FF, '1', true},  {0x01FF, '4', true},  {0x00FF, '3', false},
      {0x0FFF, '3', true}, {0x0FFF, '2', true},  {0x1FFF, '3', false}, {0x00FE, '2', false},
      {0x0FFE, '3', false},
  };
  for (const auto& c : cases) {
    const auto text = ImageIdTextOf(c.page, page.data(), c.type);
    EXPECT_EQ(text.has_value(), c.isIdPage) << std::hex << c.page << ' ' << c.type;
    if (text) {
      EXPECT_EQ(*text, id);
    }
  }
}

}  // namespace
}  // namespace fd
