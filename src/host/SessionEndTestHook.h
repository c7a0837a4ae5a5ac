#pragma once
// For tests only: the time a session's clock shows as the session ends, so a test that runs
// a whole command on virtual time can tell how long the command took.
#include <cstdint>
#include <functional>

namespace fd::test {

// Every session that ends while the guard lives tells `ended` its clock's time then
// (microseconds since the clock was made, which a virtual clock starts at 0). One at a time.
class ScopedSessionEndWatch {
public:
  explicit ScopedSessionEndWatch(std::function<void(std::uint64_t endUs)> ended);
  ~ScopedSessionEndWatch();
  ScopedSessionEndWatch(const ScopedSessionEndWatch&) = delete;
  ScopedSessionEndWatch& operator=(const ScopedSessionEndWatch&) = delete;
};

}  // namespace fd::test
