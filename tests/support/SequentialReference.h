#pragma once
// The resets and information reads of the main window as they were done one programmer
// after another, written out plainly. Operations that serve several programmers at once
// are held to it: every programmer, taken alone, must see exactly what this sends it.
#include <string>
#include <vector>

#include "link/Bridge.h"
#include "link/Pacer.h"
#include "link/ProgrammerInfo.h"
#include "link/TracingBridge.h"

namespace fd::test {

// The reset pulse, up to 500 status reads until busy clears, 'L' 0x02 when `sendMark` is 1.
bool SequentialReset(Bridge& bridge, Pacer& pacer, BridgeHandle handle, int sendMark);
// 'I' and its 89 bytes; any failure closes the handle.
bool SequentialInfoRead(Bridge& bridge, Pacer& pacer, BridgeHandle handle, ProgrammerInfo& block);

// The main window's steps that reset several programmers, one programmer at a time.
class SequentialMainWindow {
public:
  SequentialMainWindow(Bridge& bridge, Pacer& pacer) : bridge_(bridge), pacer_(pacer) {}

  // A forced rebuild: the rows' handles closed, every device opened with the link
  // settings, reset, unmarked and read; then the mark on `selectedRow`.
  void detect(int selectedRow = 0);
  // Back's gang record: each ticked row reset, then read.
  void recordResets(const std::vector<int>& ticked);
  // The close: each row reset, unmarked, closed.
  void close();

  std::vector<BridgeHandle> handles;  // by row, as detection left them
  std::vector<std::string> messages;  // every message the window would have shown

private:
  Bridge& bridge_;
  Pacer& pacer_;
};

// Each entry of one handle as its trace line, in order.
std::vector<std::string> TraceOf(const TracingBridge& tracing, BridgeHandle handle);

}  // namespace fd::test
