#include "flows/single/OnlineProgram.h"

#include "flows/common/RunRecorder.h"
#include "flows/load/ChooseImageFile.h"
#include "formats/DeviceDatabase.h"
#include "flows/single/OnlineSetup.h"

namespace fd {

ImageOperationResult OnlineProgram(ImageOperationPorts& ports) {
  using End = ImageOperationResult::End;
  ImageOperationResult result;
  AppState& state = ports.state;
  const BridgeHandle handle = state.currentHandle;
  RunRecorder run(state, ports.windows.protocol(), ports.clock, "program");
  run.record().product = std::string(TrimTrailingSpaces(state.productNumber));
  const auto finish = [&](End end) {
    result.end = end;
    ports.windows.ResetProgrammer(handle, 1);
    // A file choice cancelled started no operation.
    if (end == End::Done) {
      run.finish(kRunOk);
    } else if (end != End::ChoiceCancelled) {
      run.finish(result.canceled ? kRunCanceled : kRunFailed);
    }
    return result;
  };

  // Without the product's line the type code, power and ID code would be defaults, not the
  // user's: nothing is sent.
  if (!OnlineProductLineReady(state, ports.prompter)) {
    result.end = End::SetupUnreadable;
    run.finish(kRunFailed);
    return result;
  }
  if (!ports.windows.ConnectTarget(handle)) return finish(End::ConnectFailed);
  const std::optional<ChosenImage> image = detail::Choose(ports, kSelectProgramFileTitle, true);
  if (!image) return finish(End::ChoiceCancelled);
  run.image(image->source->fileName(), image->source->key());
  const std::uint8_t program = kCmdProgram;
  if (!ports.windows.protocol().WriteBytes(handle, &program, 1)) return finish(End::HeaderFailed);

  if (detail::RunLoadingWindow(ports, *image, result) != FlowResult::Ok) {
    ports.prompter.info(kMsgProgrammingCanceled);
    return finish(End::TransferFailed);
  }
  ports.prompter.info(kMsgFileLoaded);
  // A log that can't be written costs the entry only; the reset below runs regardless.
  result.history = ports.log.recordSuccess(detail::Now(ports), kTitleOnlineProgram, state.currentSn,
                                           detail::ProductLabel(ports), state.imageTitle, kProgramSuccessText,
                                           state.imageIdText);
  return finish(End::Done);
}

}  // namespace fd
