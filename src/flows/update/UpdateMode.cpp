#include "flows/update/UpdateMode.h"

#include "flows/common/RunRecorder.h"
#include "flows/update/UpdateFlow.h"
#include "link/BootLoaderLink.h"
#include "link/Protocol.h"
#include "link/ProgrammerSn.h"

namespace fd {

namespace {

UpdateOutcome OnOpenedLink(const UpdateModePorts& ports, BridgeHandle handle, RunRecorder& run) {
  // The boot loader holds the status line at 0x20 all the time; a programmer whose jumpers
  // are not set lets it fall now and then (or its line cannot be read at all).
  if (!BootLoaderLink(ports.bridge, ports.pacer, handle).JumpersSet(kJumperTestReads)) {
    ports.prompter.error(kMsgJumpers);
    run.finish(kRunFailed);
    return UpdateOutcome::Jumpers;
  }
  UpdateFlow window(UpdateFlowPorts{ports.bridge, ports.pacer, ports.prompter, ports.clock}, handle);
  const bool updated = ports.dialogs.run(window) == FlowResult::Ok;
  ports.prompter.info(updated ? kMsgUpdated : kMsgUpdateCanceled);
  // A window closed at its file choice sent nothing: no operation took place.
  if (!window.pages().empty()) {
    run.image(window.fileName(), window.fileKey());
    if (updated) {
      run.finish(kRunOk, kMsgUpdated);
    } else {
      run.finish(window.cancelRequested() && run.errorText().empty() ? kRunCanceled : kRunFailed);
    }
  }
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
  if (!link.IsOurProgrammer(0)) {
    ports.prompter.error(kMsgUpdateNotProgrammer);
    return UpdateOutcome::NotProgrammer;
  }
  const OpenedProgrammer opened = link.OpenProgrammer(0, kUpdateBaud);
  if (opened.failure == OpenedProgrammer::Failure::CannotOpen) {
    ports.prompter.error(kMsgUpdateCannotOpen);
    return UpdateOutcome::CannotOpen;
  }
  if (!opened.ok()) {
    ports.prompter.error(kMsgUpdateLinkSettings);
    return UpdateOutcome::LinkSettings;
  }
  const BridgeHandle handle = opened.handle;
  ports.state.currentHandle = handle;
  UpdateOutcome outcome;
  {
    // The one programmer attached is the first row. Its record is written while its link is
    // open, so the record can say where it is.
    RunRecorder run(ports.state, link, ports.clock, "update-firmware");
    run.record().sn = SnText(1);
    outcome = OnOpenedLink(ports, handle, run);
  }
  link.CloseProgrammer(handle);
  // The boot loader link is gone; nothing is current until detection finds a programmer.
  ports.state.currentHandle = kNoHandle;
  return outcome;
}

}  // namespace fd
