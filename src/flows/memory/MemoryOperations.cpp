#include "flows/memory/MemoryOperations.h"

#include <filesystem>

#include "flows/common/RunRecorder.h"
#include "flows/memory/AddrFlow.h"
#include "formats/DeviceDatabase.h"
#include "flows/single/OnlineSetup.h"

namespace fd {

EraseResult RunErase(MemoryPorts ports, const std::function<void(const EraseFlow&)>& closed) {
  WindowProtocol link(ports.state, ports.link, ports.prompter);
  const BridgeHandle handle = ports.state.currentHandle;
  EraseResult result;
  RunRecorder run(ports.state, ports.link, ports.clock, "erase");
  run.record().product = std::string(TrimTrailingSpaces(ports.state.productNumber));
  // Without the product's line nothing is sent, not even the connection.
  if (!OnlineProductLineReady(ports.state, ports.prompter)) {
    run.finish(kRunFailed);
    return result;
  }
  result.end = MemoryEnd::ConnectFailed;
  bool canceled = false;
  if (link.ConnectTarget(handle)) {
    EraseFlow erase(ports);
    result.window = ports.dialogs.run(erase);
    result.end = MemoryEnd::Closed;
    result.erased = erase.erasedBlocks();
    canceled = erase.cancelRequested();
    if (closed) closed(erase);
  }
  link.ResetProgrammer(handle, 1);
  const bool errorShown = !run.errorText().empty();
  if (result.end != MemoryEnd::Closed || errorShown) {
    run.finish(kRunFailed);
  } else if (canceled) {
    run.finish(kRunCanceled);
  } else if (!result.erased.empty()) {
    std::string blocks;
    for (const std::string& block : result.erased) blocks += (blocks.empty() ? "" : ", ") + block;
    run.finish(kRunOk, "Erased: " + blocks);
  }
  // A window closed before any block was erased took no operation: no record.
  return result;
}

ReadResult RunRead(MemoryPorts ports, const std::function<void(const ReadFlow&)>& closed) {
  WindowProtocol link(ports.state, ports.link, ports.prompter);
  const BridgeHandle handle = ports.state.currentHandle;
  ReadResult result;
  RunRecorder run(ports.state, ports.link, ports.clock, "read");
  run.record().product = std::string(TrimTrailingSpaces(ports.state.productNumber));
  if (!OnlineProductLineReady(ports.state, ports.prompter)) {
    run.finish(kRunFailed);
    return result;
  }
  result.end = MemoryEnd::ConnectFailed;
  bool canceled = false;
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
      canceled = read.cancelRequested();
      if (closed) closed(read);
    }
  }
  link.ResetProgrammer(handle, 1);
  if (!result.savedPath.empty()) run.record().file = std::filesystem::path(result.savedPath).filename().string();
  if (result.end == MemoryEnd::ConnectFailed || (result.end == MemoryEnd::Closed && !result.complete)) {
    run.finish(canceled && run.errorText().empty() ? kRunCanceled : kRunFailed);
  } else if (result.complete) {
    run.finish(kRunOk, "Read " + std::to_string(result.bytes) + (result.bytes == 1 ? " byte" : " bytes") +
                           (result.savedPath.empty() ? ", not saved" : ", saved"));
  }
  // An address range cancelled read nothing: no record.
  return result;
}

}  // namespace fd
