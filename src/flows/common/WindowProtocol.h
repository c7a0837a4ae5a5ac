#pragma once
// The programmer protocol as the windows use it: every operation returns 1 for success and
// 0 for failure and has shown its own message; callers only stop. Inputs come from the
// process state (product, power, ID code, the information block) and results go back there.
#include <cstdint>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "link/Protocol.h"

namespace fd {

// Said (by the command line only) for a failure without a notice of its own.
inline constexpr const char* kMsgNoAnswer = "The programmer did not answer; the operation stopped.";

class WindowProtocol {
public:
  WindowProtocol(AppState& state, Protocol& protocol, Prompter& prompter);

  int ResetProgrammer(BridgeHandle handle, int sendMark);
  int ShowProgrammerError(BridgeHandle handle);
  int ConnectTarget(BridgeHandle handle);
  int ReadProgrammerInfo(BridgeHandle handle);
  int WriteProgrammerHeader(BridgeHandle handle, int dataFollows);
  int CompletionHandshake(BridgeHandle handle, int busyLimit, Protocol::SilentRead silentRead);

  // Shows the outcome's notices in order; 1 when it succeeded.
  int show(const Outcome& outcome);

  Protocol& protocol() { return protocol_; }

private:
  int finish(const Outcome& outcome);

  AppState& state_;
  Protocol& protocol_;
  Prompter& prompter_;
};

}  // namespace fd
