#pragma once
// How many programmers the host drives at once: the main list's rows, the gang run's slots
// and the largest simulated bench.

namespace fd {

inline constexpr int kMaxProgrammers = 8;

}  // namespace fd
