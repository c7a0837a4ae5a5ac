#include "flows/common/TimerLoop.h"

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
  // A tick that took longer than the period is not made up for: ticks never pile up.
  next->second.dueUs = clock_.nowUs() + next->second.periodUs;
  return id;
}

}  // namespace fd
