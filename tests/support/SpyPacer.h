#pragma once
// A pacer that spends its waits on a clock like the programs' pacer, counts them by length,
// and can act just before a chosen one (unplug a programmer in the middle of a reset).
#include <cstdint>
#include <functional>
#include <map>

#include "link/Clock.h"

namespace fd::test {

class SpyPacer final : public Pacer {
public:
  explicit SpyPacer(Clock& clock) : inner_(clock) {}
  void spin(std::uint64_t iterations) override {
    if (beforeSpin) beforeSpin(iterations);
    ++counts_[iterations];
    inner_.spin(iterations);
  }
  // Waits of exactly this length so far.
  int count(std::uint64_t iterations) const {
    const auto it = counts_.find(iterations);
    return it == counts_.end() ? 0 : it->second;
  }
  void clearCounts() { counts_.clear(); }

  std::function<void(std::uint64_t iterations)> beforeSpin;

private:
  ClockPacer inner_;
  std::map<std::uint64_t, int> counts_;
};

}  // namespace fd::test
