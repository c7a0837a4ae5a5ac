#include "link/serial/PortLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fd {
namespace {

// The process holding a flock on the file with this device and inode, from /proc/locks
// ("1: FLOCK  ADVISORY  WRITE 1234 08:01:5678 0 EOF"); 0 when none is found.
long HolderOf(dev_t device, ino_t inode) {
  std::ifstream in("/proc/locks");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, where;
    fields >> number >> kind;
    if (kind == "->") fields >> kind;  // a waiter
    fields >> mode >> access >> pid >> where;
    if (kind != "FLOCK") continue;
    unsigned major = 0, minor = 0;
    unsigned long long ino = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &ino) != 3) continue;
    if (makedev(major, minor) == device && ino == inode) return std::atol(pid.c_str());
  }
  return 0;
}

}  // namespace

PortLock::~PortLock() { release(); }

PortLock::PortLock(PortLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

PortLock& PortLock::operator=(PortLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void PortLock::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string PortLock::fileName(std::uint64_t deviceNumber) {
  return "flashdock-tty-" + std::to_string(major(deviceNumber)) + "-" + std::to_string(minor(deviceNumber)) +
         ".lock";
}

std::string PortLock::defaultDir() {
  if (const char* dir = std::getenv("FLASHDOCK_LOCK_DIR"); dir != nullptr && *dir != '\0') return dir;
  if (::access("/run/lock", W_OK | X_OK) == 0) return "/run/lock";
  const char* tmp = std::getenv("TMPDIR");
  return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}

PortLock::Result PortLock::take(const std::string& lockDir, std::uint64_t deviceNumber, long& holder) {
  release();
  holder = 0;
  const std::string path = lockDir + "/" + fileName(deviceNumber);
  int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return Result::Failed;
  // Readable by all whatever the umask: another user's process takes the lock of a file it
  // cannot write (only the owner can change it; for the others it already is so).
  ::fchmod(fd, 0644);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int code = errno;
    if (code == EWOULDBLOCK) {
      struct stat st {};
      if (::fstat(fd, &st) == 0) holder = HolderOf(st.st_dev, st.st_ino);
    }
    ::close(fd);
    return code == EWOULDBLOCK ? Result::Busy : Result::Failed;
  }
  fd_ = fd;
  return Result::Taken;
}

}  // namespace fd
