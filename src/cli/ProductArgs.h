#pragma once
// Product and tree-node names as the user types them on the command line: checked before
// anything runs, then padded to the database's field widths by the lookups.
#include <string>

namespace fd {

// True when every character is printable single-byte ASCII (space to '~').
bool IsPrintableAscii(const std::string& text);

// "" when `value` can name a product (1 to 12 printable characters), else the message,
// naming `what` (the option or argument).
std::string ProductNameError(const std::string& what, const std::string& value);
// The same for a series or group of the product tree (1 to 10 characters).
std::string NodeNameError(const std::string& what, const std::string& value);

}  // namespace fd
