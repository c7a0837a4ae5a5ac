#pragma once
// What the erase and read commands share: the --sn value, the programmer chosen as the main
// window's selection would choose it, and the on-line product setup read from the settings
// file as the Single Operation window's on-line mode reads it.
#include <optional>
#include <string>

#include "cli/CliContext.h"

namespace fd {

// "01" or "1" to "08": empty when fine, else the usage error naming the option.
std::string SingleSnError(const std::string& value);
// "1" -> "01".
std::string NormalizedSn(const std::string& value);

// The row of `sn` in the opened main window, selected as a click would; false (with the
// message shown) when no such programmer is detected.
bool SelectProgrammer(CliContext& cli, MainFlow& main, const std::string& sn);

// The on-line setup of the settings file into the state, as the Single Operation window
// reads it; false (with the message shown) when the product's line cannot be read, so the
// command sends nothing.
bool LoadOnlineSetup(AppState& state, Prompter& prompter);

// "Block A, Block 0" (or "none").
std::string BlockNamesText(const std::vector<std::string>& names);

}  // namespace fd
