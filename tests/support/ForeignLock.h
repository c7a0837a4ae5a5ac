#pragma once
// Another program's hold on a lock file: a flock on an open file of its own, so the kernel
// sees two holders even inside one test process.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace fd::test {

class ForeignLock {
public:
  explicit ForeignLock(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_ < 0) fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
  }
  ~ForeignLock() { release(); }
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;

  // False when someone else held it already.
  bool held() const { return held_; }
  void release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    held_ = false;
  }

private:
  int fd_;
  bool held_ = false;
};

}  // namespace fd::test
