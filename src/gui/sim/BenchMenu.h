#pragma once
// The simulated bench's hot-plug entries for a window's context menu: attach a new
// programmer, unplug an attached one. Detection sees the new device count at its next
// tick, as it would with real programmers.
class QMenu;

namespace fd {

class SimBench;

// Appends the entries to `menu`; they act on `bench`, which must outlive the menu.
void AddBenchMenuEntries(QMenu& menu, SimBench& bench);

}  // namespace fd
