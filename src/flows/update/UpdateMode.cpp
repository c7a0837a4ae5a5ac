#include "flows/update/UpdateMode.h"

#include "flows/update/UpdateFlow.h"
#include "link/BootLoaderLink.h"
#include "link/Protocol.h"

namespace fd {

namespace {

UpdateOutcome OnOpenedLink(const UpdateModePorts& ports, BridgeHandle handle) {
  // The boot loader holds the status line at 0x20 all the time; a programmer whose jumpers
  // are not set lets it fall now and then (or its line cannot be read at all).
  if (!BootLoaderLink(ports.bridge, ports.pacer, handle).JumpersSet(kJumperTestReads)) {
    ports.prompter.error(kMsgJumpers);
    return UpdateOutcome::Jumpers;
  }
  UpdateFlow window(UpdateFlowPorts{ports.bridge, ports.pacer, ports.prompter, ports.clock}, handle);
  const bool updated = ports.dialogs.run(window) == FlowResult::Ok;
  ports.prompter.info(updated ? kMsgUpdated : kMsgUpdateCanceled);
  return updated ? UpdateOutcome::Updated : UpdateOutcome::Canceled;
}

}  // namespace

UpdateOutcome RunUpdateMode(const UpdateModePorts& ports) {
  if (ports.prompter.ask(QuestionId::EnterUpdateMode, kCaptionUpdate, MsgIcon::None, kMsgEnterUpdateMode, MsgButtons::Ok) != MsgAnswer::Ok) {
    return UpdateOutcome::Declined;
  }
  Protocol link(ports.bridge, ports.pacer);
  const std::uint32_t count = link.CountProgrammers().value_or(0);
  if (count == 0) {
    ports.prompter.error(kMsgNoProgrammerConnected);
    return UpdateOutcome::NoDevice;
  }
  if (count > 1) {
    ports.prompter.error(kMsgSeveralProgrammers);
    return UpdateOutcome::SeveralDevices;
  }
  if (!link.IsOurProgrammer(0)) return UpdateOutcome::NotProgrammer;
  const OpenedProgrammer opened = link.OpenProgrammer(0, kUpdateBaud);
  if (opened.failure == OpenedProgrammer::Failure::CannotOpen) return UpdateOutcome::CannotOpen;
  if (!opened.ok()) return UpdateOutcome::LinkSettings;
  const BridgeHandle handle = opened.handle;
  ports.state.currentHandle = handle;
  const UpdateOutcome outcome = OnOpenedLink(ports, handle);
  link.CloseProgrammer(handle);
  // The boot loader link is gone; nothing is current until detection finds a programmer.
  ports.state.currentHandle = kNoHandle;
  return outcome;
}

}  // namespace fd
