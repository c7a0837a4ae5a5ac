#pragma once
// The Erase window as plain data: the block rows with their ticks, the row being erased,
// the select-all toggle and its label, and whether OK takes a click.
#include <string>
#include <vector>

#include "flows/memory/BlockList.h"

namespace fd {

inline constexpr const char* kSelectAllBlocksText = "Select all blocks";
inline constexpr const char* kClearAllBlocksText = "Clear all selected blocks";

struct EraseView {
  std::vector<BlockListRow> rows;
  int hotRow = -1;  // the row whose block is being erased; -1: none
  std::string toggleLabel = kSelectAllBlocksText;
  bool toggleEnabled = true;
  bool okEnabled = true;
  bool running = false;  // a run is under way: the ticks are the run's, not the user's
};

}  // namespace fd
