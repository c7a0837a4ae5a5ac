#pragma once
// The command line's sub-windows: each flow runs to its end on the session's clock, with
// the command's scripts for its input; a long operation's progress is drawn as a bar on a
// terminal and as a line every tenth otherwise; a signal closes the window as Cancel would.
#include <functional>
#include <ostream>
#include <string>

#include "cli/CliContext.h"
#include "flows/common/LongOperation.h"
#include "flows/common/ScriptedHost.h"

namespace fd {

// "[##########          ]  50%  12s left" (a terminal's bar, without the line start).
std::string ProgressBarText(const ProgressEstimate& progress, int width = 30);

class ConsoleHost final : public ScriptedHost {
public:
  explicit ConsoleHost(CliContext& cli);
  FlowResult run(ModalFlow& flow) override;

  // A command that shows its operation's progress itself (the gang's row lines), after
  // every tick and once at the end (`last`); none: the bar, or a line every tenth.
  std::function<void(ModalFlow&, bool last)> drawProgress;

private:
  void showProgress(ModalFlow& flow, bool last);

  CliContext& cli_;
  bool live_;
  int lastShown_ = -1;
  bool waitSaid_ = false;
};

}  // namespace fd
