#pragma once
// Time as the program sees it. Everything that measures or waits goes through a Clock, so
// the same code runs in real time in the programs and in virtual time in tests. The
// simulated bench never runs threads of its own either: every answer of a simulated
// programmer is worked out lazily against the clock.
#include <atomic>
#include <chrono>
#include <cstdint>

#include "link/Pacer.h"

namespace fd {

class Clock {
public:
  virtual ~Clock() = default;
  // Monotonic microseconds since the clock was made.
  virtual std::uint64_t nowUs() const = 0;
  // Returns at `t` (at once when `t` has passed).
  virtual void sleepUntilUs(std::uint64_t t) = 0;
};

// Tests and scripts: time moves only when someone sleeps or advances it, so a run is
// deterministic and takes no wall time at all.
class VirtualClock final : public Clock {
public:
  explicit VirtualClock(std::uint64_t startUs = 0) : now_(startUs) {}
  std::uint64_t nowUs() const override { return now_.load(); }
  void sleepUntilUs(std::uint64_t t) override;
  void advanceUs(std::uint64_t us) { now_ += us; }

private:
  std::atomic<std::uint64_t> now_;
};

// The programs: a monotonic clock counted from the moment the clock was made.
class RealClock final : public Clock {
public:
  RealClock() : start_(std::chrono::steady_clock::now()) {}
  std::uint64_t nowUs() const override;
  void sleepUntilUs(std::uint64_t t) override;

private:
  std::chrono::steady_clock::time_point start_;
};

// The counted waits between polls, spent on a clock: 300 iterations are 1 us.
class ClockPacer final : public Pacer {
public:
  explicit ClockPacer(Clock& clock) : clock_(clock) {}
  void spin(std::uint64_t iterations) override;

private:
  Clock& clock_;
};

}  // namespace fd
