#pragma once
// Timers for a program without an event loop: a loop that sleeps (on the session's clock)
// until the next timer is due and hands back its id.
#include <cstdint>
#include <map>

#include "app/Timers.h"
#include "link/Clock.h"

namespace fd {

class TimerLoop final : public Timers {
public:
  explicit TimerLoop(Clock& clock) : clock_(clock) {}
  void start(int id, int periodMs) override;
  void stop(int id) override;
  void stopAll() { timers_.clear(); }
  bool anyRunning() const { return !timers_.empty(); }
  bool running(int id) const { return timers_.count(id) != 0; }
  // Sleeps until the earliest running timer is due and returns its id (-1: none runs).
  int waitNext();

private:
  struct Entry {
    std::uint64_t periodUs;
    std::uint64_t dueUs;
  };
  Clock& clock_;
  std::map<int, Entry> timers_;
};

}  // namespace fd
