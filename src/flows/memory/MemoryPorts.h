#pragma once
// What the target-memory windows (Erase, Address Setting, Read, Top Address) work with: the
// process state, the link that speaks to the current programmer, the message box, the
// clock their timers and estimates run on, and the host that opens the windows they open.
#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/common/DialogHost.h"
#include "link/Clock.h"
#include "link/Protocol.h"

namespace fd {

struct MemoryPorts {
  AppState& state;
  Protocol& link;
  Prompter& prompter;
  Clock& clock;
  DialogHost& dialogs;
};

}  // namespace fd
