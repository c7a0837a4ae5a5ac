#pragma once
// The Single Operation window's Erase and Read buttons: each connects the target of the
// current programmer first, opens its windows only when that worked, and resets the
// programmer (with its select mark) afterwards, whatever happened.
#include <functional>

#include "flows/memory/EraseFlow.h"
#include "flows/memory/MemoryPorts.h"
#include "flows/memory/ReadFlow.h"

namespace fd {

// Erase: the Erase window. `closed` sees the window once it has closed, before the reset.
FlowResult RunErase(MemoryPorts ports, const std::function<void(const EraseFlow&)>& closed = {});

// Read: the Address Setting window, and the Read window when that ended with OK.
// `closed` sees the Read window once it has closed, before the reset.
FlowResult RunRead(MemoryPorts ports, const std::function<void(const ReadFlow&)>& closed = {});

}  // namespace fd
