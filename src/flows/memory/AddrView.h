#pragma once
// The Address Setting window as plain data: the two address edits, how many characters
// they take, the block rows with their ticks and the two "All ... Blocks" boxes.
#include <string>
#include <vector>

#include "flows/memory/BlockList.h"

namespace fd {

struct AddrView {
  std::string startText;
  std::string endText;
  int maxChars = 5;  // 4 for products of type code "1"
  std::vector<BlockListRow> rows;
  bool allData = false;
  bool allUser = false;
};

}  // namespace fd
