#pragma once
// The flash-block list the Erase and Address Setting windows share: one row a block of the
// selected product, in the order the device database lists them, each with its check box.
#include <string>
#include <vector>

#include "app/AppState.h"
#include "formats/DeviceDatabase.h"

namespace fd {

struct BlockListRow {
  BlockRow block;
  bool checked = false;
  bool operator==(const BlockListRow&) const = default;
};

struct BlockListLoad {
  std::vector<BlockListRow> rows;
  bool databaseMissing = false;  // the device database could not be read
};

// The rows for `productNumber`; none when no product line matches it.
BlockListLoad LoadBlockList(const AppState& state);

}  // namespace fd
