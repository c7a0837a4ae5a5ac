#include "link/Clock.h"

#include <thread>

namespace fd {

void VirtualClock::sleepUntilUs(std::uint64_t t) {
  std::uint64_t now = now_.load();
  while (now < t && !now_.compare_exchange_weak(now, t)) {
  }
}

std::uint64_t RealClock::nowUs() const {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start_)
          .count());
}

void RealClock::sleepUntilUs(std::uint64_t t) {
  std::this_thread::sleep_until(start_ + std::chrono::microseconds(t));
}

void ClockPacer::spin(std::uint64_t iterations) {
  clock_.sleepUntilUs(clock_.nowUs() + iterations / kSpinsPerMicrosecond);
}

}  // namespace fd
