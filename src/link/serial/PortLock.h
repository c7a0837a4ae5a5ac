#pragma once
// One process at a time on a port. Opening a tty raises DTR and RTS, the programmer's reset
// and error-request lines, and nothing in the kernel keeps a second process (or root) from
// opening a port already open: so every process takes this lock before it opens a port, and
// does not open one whose lock another process holds.
//
// The lock is a `flock` on a file named after the tty's device number, so every name of the
// port (/dev/ttyUSB0, /dev/serial/by-id/...) meets the same lock. It ends with the process.
#include <cstdint>
#include <optional>
#include <string>

namespace fd {

class PortLock {
public:
  enum class Result { Taken, Busy, Failed };

  PortLock() = default;
  ~PortLock();
  PortLock(PortLock&& other) noexcept;
  PortLock& operator=(PortLock&& other) noexcept;
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Takes the lock of the port with `deviceNumber` in `lockDir` without waiting. Busy when
  // another process holds it; `holder` is then its process id when the system tells it.
  Result take(const std::string& lockDir, std::uint64_t deviceNumber, long& holder);
  bool held() const { return fd_ >= 0; }
  void release();

  // Where the locks live: $FLASHDOCK_LOCK_DIR when set, else /run/lock when it can be
  // written, else the temporary folder. Every process of the system finds the same one.
  static std::string defaultDir();
  static std::string fileName(std::uint64_t deviceNumber);

private:
  int fd_ = -1;
};

}  // namespace fd
