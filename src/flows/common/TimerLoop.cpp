#include "flows/common/TimerLoop.h"

#include <algorithm>

namespace fd {

void TimerLoop::start(int id, int periodMs) {
  const std::uint64_t period = static_cast<std::uint64_t>(periodMs < 0 ? 0 : periodMs) * 1000;
  timers_[id] = {period, clock_.nowUs() + period};
}

void TimerLoop::stop(int id) { timers_.erase(id); }

int TimerLoop::waitNext() {
  if (timers_.empty()) return -1;
  auto next = timers_.begin();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.dueUs < next->second.dueUs) next = it;
  }
  const int id = next->first;
  if (clock_.nowUs() < next->second.dueUs) clock_.sleepUntilUs(next->second.dueUs);
  // The timer keeps its rhythm, so a wake-up that comes a little late does not push every
  // later tick back; but a tick that took longer than the period is not made up for: ticks
  // never pile up.
  next->second.dueUs = std::max(next->second.dueUs + next->second.periodUs, clock_.nowUs());
  return id;
}

}  // namespace fd
