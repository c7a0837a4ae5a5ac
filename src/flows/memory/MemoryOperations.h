#pragma once
// The Single Operation window's Erase and Read buttons: each connects the target of the
// current programmer first, opens its windows only when that worked, and resets the
// programmer (with its select mark) afterwards, whatever happened. Each ends with a typed
// result a caller reads instead of watching the windows.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "flows/memory/EraseFlow.h"
#include "flows/memory/MemoryPorts.h"
#include "flows/memory/ReadFlow.h"

namespace fd {

// Where an Erase or Read run ended.
enum class MemoryEnd {
  SetupUnreadable,  // the product's line could not be read: nothing was sent
  ConnectFailed,    // the target was not connected: no window opened
  RangeCancelled,   // Read: the Address Setting window closed without a range
  Closed,           // the Erase or Read window ran and closed
};

struct EraseResult {
  MemoryEnd end = MemoryEnd::SetupUnreadable;
  FlowResult window = FlowResult::Cancel;  // how the Erase window closed
  std::vector<std::string> erased;          // the blocks erased, in order
  bool ok() const { return end == MemoryEnd::Closed && window == FlowResult::Ok; }
};

struct ReadResult {
  MemoryEnd end = MemoryEnd::SetupUnreadable;
  FlowResult window = FlowResult::Cancel;  // how the Read window closed
  bool complete = false;                   // the whole range was read
  bool programmerSilent = false;           // the read stopped because the programmer did not answer
  std::size_t bytes = 0;                   // bytes read
  std::string savedPath;                   // the file written; empty: none
  bool ok() const { return complete && !savedPath.empty(); }
};

// Erase: the Erase window. `closed` sees the window once it has closed, before the reset.
EraseResult RunErase(MemoryPorts ports, const std::function<void(const EraseFlow&)>& closed = {});

// Read: the Address Setting window, and the Read window when that ended with OK.
// `closed` sees the Read window once it has closed, before the reset.
ReadResult RunRead(MemoryPorts ports, const std::function<void(const ReadFlow&)>& closed = {});

}  // namespace fd
