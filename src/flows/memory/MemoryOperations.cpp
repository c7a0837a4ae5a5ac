#include "flows/memory/MemoryOperations.h"

#include "flows/memory/AddrFlow.h"
#include "flows/single/OnlineSetup.h"

namespace fd {

FlowResult RunErase(MemoryPorts ports, const std::function<void(const EraseFlow&)>& closed) {
  WindowProtocol link(ports.state, ports.link, ports.prompter);
  const BridgeHandle handle = ports.state.currentHandle;
  FlowResult result = FlowResult::Cancel;
  // Without the product's line nothing is sent, not even the connection.
  if (!OnlineProductLineReady(ports.state, ports.prompter)) return result;
  if (link.ConnectTarget(handle)) {
    EraseFlow erase(ports);
    result = ports.dialogs.run(erase);
    if (closed) closed(erase);
  }
  link.ResetProgrammer(handle, 1);
  return result;
}

FlowResult RunRead(MemoryPorts ports, const std::function<void(const ReadFlow&)>& closed) {
  WindowProtocol link(ports.state, ports.link, ports.prompter);
  const BridgeHandle handle = ports.state.currentHandle;
  FlowResult result = FlowResult::Cancel;
  if (!OnlineProductLineReady(ports.state, ports.prompter)) return result;
  if (link.ConnectTarget(handle)) {
    AddrFlow range(ports.state, ports.prompter);
    if (ports.dialogs.run(range) == FlowResult::Ok) {
      ReadFlow read(ports);
      result = ports.dialogs.run(read);
      if (closed) closed(read);
    }
  }
  link.ResetProgrammer(handle, 1);
  return result;
}

}  // namespace fd
