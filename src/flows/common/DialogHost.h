#pragma once
// Opens sub-windows. The desktop builds the flow's dialog and runs it modally, the command
// line and the tests run the flow to its end on a timer loop with a script for its input.
#include "flows/common/ModalFlow.h"

namespace fd {

class DialogHost {
public:
  virtual ~DialogHost() = default;
  // Opens the flow's window and returns once the flow has ended, with its result.
  virtual FlowResult run(ModalFlow& flow) = 0;
};

}  // namespace fd
