#include "flows/common/WindowProtocol.h"

namespace fd {

WindowProtocol::WindowProtocol(AppState& state, Protocol& protocol, Prompter& prompter)
    : state_(state), protocol_(protocol), prompter_(prompter) {}

int WindowProtocol::show(const Outcome& outcome) {
  for (const Notice& notice : outcome.notices) {
    if (notice.kind == Notice::Kind::Warning) {
      prompter_.warning(notice.text);
    } else {
      prompter_.error(notice.text);
    }
  }
  if (!outcome.ok() && outcome.notices.empty()) prompter_.silentFailure(kMsgNoAnswer);
  return outcome.ok() ? 1 : 0;
}

int WindowProtocol::finish(const Outcome& outcome) {
  // A fetched error is followed by a reset, after which no target is connected.
  const bool fetched =
      outcome.failure == Outcome::Failure::ProgrammerError || outcome.failure == Outcome::Failure::UnreadableError;
  if (fetched && outcome.resetOk) state_.targetConnected = 0;
  return show(outcome);
}

int WindowProtocol::ResetProgrammer(BridgeHandle handle, int sendMark) {
  if (!show(protocol_.ResetProgrammer(handle, sendMark))) return 0;
  state_.targetConnected = 0;
  return 1;
}

int WindowProtocol::ShowProgrammerError(BridgeHandle handle) {
  const Outcome fetched = protocol_.FetchProgrammerError(handle);
  finish(fetched);
  return fetched.resetOk ? 1 : 0;
}

int WindowProtocol::CompletionHandshake(BridgeHandle handle, int busyLimit, Protocol::SilentRead silentRead) {
  return finish(protocol_.CompletionHandshake(handle, busyLimit, silentRead));
}

int WindowProtocol::ConnectTarget(BridgeHandle handle) {
  if (state_.productNotSelected()) {
    prompter_.warning(kMsgNoProduct);
    return 0;
  }
  if (!finish(protocol_.ConnectTarget(handle, {state_.mcuTypeCode, state_.powerSet, state_.idCode}))) return 0;
  state_.targetConnected = 1;
  return 1;
}

int WindowProtocol::ReadProgrammerInfo(BridgeHandle handle) {
  return show(protocol_.ReadProgrammerInfo(handle, state_.programmerInfo));
}

int WindowProtocol::WriteProgrammerHeader(BridgeHandle handle, int dataFollows) {
  return finish(protocol_.WriteProgrammerHeader(handle, dataFollows, state_.programmerInfo));
}

}  // namespace fd
