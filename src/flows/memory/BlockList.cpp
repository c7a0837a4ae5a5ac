#include "flows/memory/BlockList.h"

namespace fd {

BlockListLoad LoadBlockList(const AppState& state) {
  BlockListLoad load;
  const auto blocks = ProductBlocks(DeviceDatabasePath(state), ProductKey(state.productNumber));
  if (!blocks.ok()) {
    load.databaseMissing = true;
    return load;
  }
  if (!blocks.value) return load;
  for (const BlockRow& row : *blocks.value) load.rows.push_back({row, false});
  return load;
}

}  // namespace fd
