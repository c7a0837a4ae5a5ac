#include "link/ProgrammerSn.h"

#include "link/ProgrammerLimit.h"

namespace fd {

std::string SnText(int number) {
  std::string text = std::to_string(number);
  if (text.size() < 2) text.insert(0, 2 - text.size(), '0');
  return text;
}

std::string SnTextOf(std::string_view text) {
  const std::optional<int> number = ParseSn(text);
  return number ? SnText(*number) : std::string(text);
}

std::optional<int> ParseSn(std::string_view text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number < 1 || number > kMaxProgrammers) return std::nullopt;
  return number;
}

std::optional<std::vector<int>> ParseSnList(std::string_view text) {
  std::vector<int> numbers;
  if (text.empty()) return std::nullopt;
  while (true) {
    const std::size_t comma = text.find(',');
    const std::optional<int> number = ParseSn(text.substr(0, comma));
    if (!number) return std::nullopt;
    numbers.push_back(*number);
    if (comma == std::string_view::npos) return numbers;
    text.remove_prefix(comma + 1);
  }
}

}  // namespace fd
