#pragma once
// A programmer's SN: its row number in the main list, 1 to the programmer limit, shown two
// digits wide ("01"). Typed by a user as one or two decimal digits ("1" or "01").
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fd {

// "01" for 1: the SN as the list, the record and the command line show it.
std::string SnText(int number);

// The SN `text` names, two digits wide ("1" gives "01"); a text that is no SN as it is.
std::string SnTextOf(std::string_view text);

// The number of one SN: one or two decimal digits naming 1 to the limit; nothing for
// anything else (empty, signs, spaces, "0", "9", "001").
std::optional<int> ParseSn(std::string_view text);

// The numbers of a comma-separated SN list ("01,03", "1,3"), in the order given; nothing
// when the list is empty or any entry is not an SN ("01,,03", "01,").
std::optional<std::vector<int>> ParseSnList(std::string_view text);

}  // namespace fd
