#include "flows/memory/MemoryOperations.h"

#include "flows/memory/AddrFlow.h"
#include "flows/single/OnlineSetup.h"

namespace fd {

EraseResult RunErase(MemoryPorts ports, const std::function<void(const EraseFlow&)>& closed) {
  WindowProtocol link(ports.state, ports.link, ports.prompter);
  const BridgeHandle handle = ports.state.currentHandle;
  EraseResult result;
  // Without the product's line nothing is sent, not even the connection.
  if (!OnlineProductLineReady(ports.state, ports.prompter)) return result;
  result.end = MemoryEnd::ConnectFailed;
  if (link.ConnectTarget(handle)) {
    EraseFlow erase(ports);
    result.window = ports.dialogs.run(erase);
    result.end = MemoryEnd::Closed;
    result.erased = erase.erasedBlocks();
    if (closed) closed(erase);
  }
  link.ResetProgrammer(handle, 1);
  return result;
}

ReadResult RunRead(MemoryPorts ports, const std::function<void(const ReadFlow&)>& closed) {
  WindowProtocol link(ports.state, ports.link, ports.prompter);
  const BridgeHandle handle = ports.state.currentHandle;
  ReadResult result;
  if (!OnlineProductLineReady(ports.state, ports.prompter)) return result;
  result.end = MemoryEnd::ConnectFailed;
  if (link.ConnectTarget(handle)) {
    result.end = MemoryEnd::RangeCancelled;
    AddrFlow range(ports.state, ports.prompter);
    if (ports.dialogs.run(range) == FlowResult::Ok) {
      ReadFlow read(ports);
      result.window = ports.dialogs.run(read);
      result.end = MemoryEnd::Closed;
      result.complete = read.complete();
      result.programmerSilent = read.stoppedUnanswered();
      result.bytes = read.data().size();
      result.savedPath = read.savedPath();
      if (closed) closed(read);
    }
  }
  link.ResetProgrammer(handle, 1);
  return result;
}

}  // namespace fd
