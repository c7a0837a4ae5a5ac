#include "flows/common/ScriptedHost.h"

#include <algorithm>

namespace fd {

FlowResult ScriptedHost::run(ModalFlow& flow) {
  runs_.push_back(flow.title());
  TimerLoop timers(clock_);
  flow.open(timers);
  const auto script = scripts_.find(std::type_index(typeid(flow)));
  if (script != scripts_.end() && !flow.ended()) script->second(flow);
  while (!flow.ended()) {
    if (interrupted && interrupted()) {
      flow.closeBox();
      // A window that refuses to close while it works is asked again after its next tick.
      if (flow.ended()) break;
    }
    const int id = timers.waitNext();
    if (id < 0) {
      // Nothing left to wait for and nobody to click: the user closes the window.
      flow.closeBox();
      if (!flow.ended()) break;
      continue;
    }
    flow.onTimer(id);
    if (afterTick) afterTick(flow);
  }
  timers.stopAll();
  return flow.result();
}

int ScriptedHost::count(const std::string& title) const {
  return static_cast<int>(std::count(runs_.begin(), runs_.end(), title));
}

}  // namespace fd
