#pragma once
// --blocks A,0,3: flash blocks named as the block list shows them ("Block A" is A), turned
// into rows of the list.
#include <optional>
#include <string>
#include <vector>

#include "flows/memory/BlockList.h"

namespace fd {

// Empty when every entry is a name (no empty entries), else the usage error.
std::string BlockListError(const std::string& value);

// The rows named in `value`, in list order; none with `error` set when a name is not in
// the list.
std::optional<std::vector<int>> ChosenRows(const std::vector<BlockListRow>& rows, const std::string& value,
                                           std::string& error);

}  // namespace fd
