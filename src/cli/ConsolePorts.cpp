#include "cli/ConsolePorts.h"

#include "link/Clock.h"

namespace fd {

MsgAnswer ConsolePrompter::message(const std::string& caption, MsgIcon, const std::string& text,
                                   MsgButtons buttons) {
  err_ << caption << ": " << text << std::endl;
  shown_.push_back({caption, text});
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  // No command asks a question yet; one that does must answer it from its flags.
  unanswered_ = true;
  return buttons == MsgButtons::YesNoCancel ? MsgAnswer::Cancel : MsgAnswer::No;
}

void ConsoleTimers::start(int id, int periodMs) {
  const std::uint64_t period = static_cast<std::uint64_t>(periodMs) * 1000;
  timers_[id] = {period, clock_.nowUs() + period};
}

void ConsoleTimers::stop(int id) { timers_.erase(id); }

int ConsoleTimers::waitNext() {
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
