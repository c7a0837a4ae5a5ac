#pragma once
// Timers fired by hand: a test sees which are running and at what period, and fires them.
#include <map>

#include "app/Timers.h"

namespace fd::test {

class ManualTimers final : public Timers {
public:
  void start(int id, int periodMs) override { running_[id] = periodMs; ++starts_[id]; }
  void stop(int id) override { running_.erase(id); }
  bool running(int id) const { return running_.count(id) != 0; }
  int period(int id) const { auto it = running_.find(id); return it == running_.end() ? 0 : it->second; }
  int starts(int id) const { auto it = starts_.find(id); return it == starts_.end() ? 0 : it->second; }

private:
  std::map<int, int> running_;
  std::map<int, int> starts_;
};

}  // namespace fd::test
