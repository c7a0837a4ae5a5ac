#pragma once
// What the ID Setting window shows, as plain data.
#include <cstddef>
#include <string>

namespace fd {

struct IdCodeSetView {
  std::string text;             // the edit's text, single-byte characters
  std::size_t maxLength = 14;   // the edit takes no more characters than this
  bool stringInput = false;     // the "Input string" box
  int focusRequests = 0;        // grows each time the edit is to get the focus
};

}  // namespace fd
