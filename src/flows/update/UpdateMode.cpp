#include "flows/update/UpdateMode.h"

#include "flows/update/UpdateFlow.h"

namespace fd {

namespace {

bool IsOurProgrammer(Bridge& bridge) {
  std::string joined;
  for (std::uint8_t selector : kProductSelectors) {
    std::string text;
    if (bridge.BridgeGetProductString(0, text, selector) != kBridgeOk) return false;
    joined += text;
  }
  return joined == kProgrammerProductId;
}

// The boot loader holds the status line at 0x20 all the time; a programmer whose jumpers
// are not set lets it fall now and then (or its line cannot be read at all).
bool JumpersSet(Bridge& bridge, BridgeHandle handle) {
  for (int i = 0; i < kJumperTestReads; ++i) {
    std::uint8_t status = 0;
    if (bridge.BridgeGetModemStatus(handle, status) != kBridgeOk || (status & kBusyBit) == 0) return false;
  }
  return true;
}

UpdateOutcome OnOpenedLink(const UpdateModePorts& ports, BridgeHandle handle) {
  Bridge& bridge = ports.bridge;
  bridge.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
  if (bridge.BridgeSetBaudRate(handle, kUpdateBaud) != kBridgeOk ||
      bridge.BridgeSetLineControl(handle, kLineControl8N1) != kBridgeOk) {
    return UpdateOutcome::LinkSettings;
  }
  if (!JumpersSet(bridge, handle)) {
    ports.prompter.error(kMsgJumpers);
    return UpdateOutcome::Jumpers;
  }
  UpdateFlow window(UpdateFlowPorts{bridge, ports.pacer, ports.prompter, ports.clock}, handle);
  const bool updated = ports.dialogs.run(window) == FlowResult::Ok;
  ports.prompter.info(updated ? kMsgUpdated : kMsgUpdateCanceled);
  return updated ? UpdateOutcome::Updated : UpdateOutcome::Canceled;
}

}  // namespace

UpdateOutcome RunUpdateMode(const UpdateModePorts& ports) {
  if (ports.prompter.ask(QuestionId::EnterUpdateMode, kCaptionUpdate, MsgIcon::None, kMsgEnterUpdateMode, MsgButtons::Ok) != MsgAnswer::Ok) {
    return UpdateOutcome::Declined;
  }
  Bridge& bridge = ports.bridge;
  std::uint32_t count = 0;
  if (bridge.BridgeGetNumDevices(count) != kBridgeOk) count = 0;
  if (count == 0) {
    ports.prompter.error(kMsgNoProgrammerConnected);
    return UpdateOutcome::NoDevice;
  }
  if (count > 1) {
    ports.prompter.error(kMsgSeveralProgrammers);
    return UpdateOutcome::SeveralDevices;
  }
  if (!IsOurProgrammer(bridge)) return UpdateOutcome::NotProgrammer;
  BridgeHandle handle = kNoHandle;
  if (bridge.BridgeOpen(0, handle) != kBridgeOk) return UpdateOutcome::CannotOpen;
  ports.state.currentHandle = handle;
  const UpdateOutcome outcome = OnOpenedLink(ports, handle);
  bridge.BridgeClose(handle);
  // The boot loader link is gone; nothing is current until detection finds a programmer.
  ports.state.currentHandle = kNoHandle;
  return outcome;
}

}  // namespace fd
