#pragma once
// What the target-memory windows (Erase, Address Setting, Read, Top Address) work with: the
// process state, the bridge and its pacer for the current programmer, the message box, the
// clock their timers and estimates run on, and the host that opens the windows they open.
#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/common/DialogHost.h"
#include "link/Bridge.h"
#include "link/Clock.h"
#include "link/Pacer.h"

namespace fd {

struct MemoryPorts {
  AppState& state;
  Bridge& bridge;
  Pacer& pacer;
  Prompter& prompter;
  Clock& clock;
  DialogHost& dialogs;
};

}  // namespace fd
