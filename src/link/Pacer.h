#pragma once
// The counted waits between polls of a programmer. Every wait inside one step is a number
// of spin iterations, never a clock reading: 300,000 iterations stand for about 1 ms.
#include <cstdint>

namespace fd {

inline constexpr std::uint64_t kPollSpin = 300000;      // between two status polls
inline constexpr std::uint64_t kResetSpin = 30000000;   // the reset pulse, about 100 ms
inline constexpr std::uint64_t kSpinsPerMicrosecond = 300;

class Pacer {
public:
  virtual ~Pacer() = default;
  virtual void spin(std::uint64_t iterations) = 0;
};

// Real time: a short sleep of the same length, so waiting never burns a core.
class SleepingPacer final : public Pacer {
public:
  void spin(std::uint64_t iterations) override;
};

}  // namespace fd
