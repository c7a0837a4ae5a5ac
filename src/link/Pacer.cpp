#include "link/Pacer.h"

#include <chrono>
#include <thread>

namespace fd {

void SleepingPacer::spin(std::uint64_t iterations) {
  std::this_thread::sleep_for(std::chrono::microseconds(iterations / kSpinsPerMicrosecond));
}

}  // namespace fd
