#include "formats/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>

namespace fd {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

LockPolicy& CurrentPolicy() {
  static LockPolicy policy;
  return policy;
}

// The locks this process holds, by the inode locked: a second taker in the same process
// shares the lock (a flock on a second open of the file would wait for ourselves).
struct Held {
  int fd = -1;
  int count = 0;
};
using InodeKey = std::pair<unsigned long long, unsigned long long>;

std::mutex& RegistryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<InodeKey, Held>& Registry() {
  static std::map<InodeKey, Held> held;
  return held;
}

std::string QuotedPath(const std::string& path) { return "\"" + path + "\""; }

std::string Seconds(double seconds) {
  std::ostringstream text;
  text << seconds << " s";
  return text.str();
}

// The file a path names: links followed, the folder made absolute. A file that does not
// exist yet keeps its name in its (resolved) folder.
fs::path Resolved(const std::string& file) {
  std::error_code ec;
  fs::path path = fs::absolute(fs::path(file), ec);
  if (ec) path = fs::path(file);
  const fs::path canonical = fs::weakly_canonical(path, ec);
  return ec ? path.lexically_normal() : canonical;
}

// The process holding a flock on the inode of `fd`: the kernel's own table first, else the
// number the holder wrote into its lock file. 0 when neither tells.
long HolderPid(int fd, const struct stat& st, bool lockFile) {
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string id, kind, mode, access, devIno;
    long pid = 0;
    fields >> id >> kind;
    if (kind == "->") continue;  // a waiter, not the holder
    if (kind != "FLOCK") continue;
    fields >> mode >> access >> pid >> devIno;
    unsigned int devMajor = 0, devMinor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(devIno.c_str(), "%x:%x:%llu", &devMajor, &devMinor, &inode) != 3) continue;
    if (inode == static_cast<unsigned long long>(st.st_ino) && devMajor == major(st.st_dev) &&
        devMinor == minor(st.st_dev) && pid > 0) {
      return pid;
    }
  }
  if (!lockFile) return 0;
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  long pid = 0;
  for (ssize_t i = 0; i < n && text[i] >= '0' && text[i] <= '9'; ++i) pid = pid * 10 + (text[i] - '0');
  return pid;
}

std::string Holder(long pid) { return pid > 0 ? "process " + std::to_string(pid) : "another program"; }

std::string ErrorText(int error) {
  std::string text = std::strerror(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

}  // namespace

ScopedLockPolicy::ScopedLockPolicy(LockPolicy policy) : previous_(std::move(CurrentPolicy())) {
  CurrentPolicy() = std::move(policy);
}

ScopedLockPolicy::~ScopedLockPolicy() { CurrentPolicy() = std::move(previous_); }

const LockPolicy& FileLock::policy() { return CurrentPolicy(); }

std::string FileLock::lockFileOf(const std::string& file, Place place) {
  const fs::path path = Resolved(file);
  if (place == Place::kAppFolder) return (path.parent_path() / kAppFolderLockName).string();
  return path.string() + ".lock";
}

FileLock::~FileLock() { release(); }

FileLock::FileLock(FileLock&& other) noexcept : key_(std::exchange(other.key_, Key{})) {}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    release();
    key_ = std::exchange(other.key_, Key{});
  }
  return *this;
}

void FileLock::release() {
  if (!key_.valid) return;
  std::lock_guard guard(RegistryMutex());
  auto& registry = Registry();
  const auto it = registry.find({key_.dev, key_.ino});
  if (it != registry.end() && --it->second.count == 0) {
    ::close(it->second.fd);  // the last descriptor of the open file: the lock goes with it
    registry.erase(it);
  }
  key_ = Key{};
}

bool FileLock::acquire(const std::string& file, Place place, std::string& error) {
  release();
  const LockPolicy& policy = FileLock::policy();
  const double waitSeconds = policy.waitSeconds > 0 ? policy.waitSeconds : 0;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(waitSeconds));
  const Clock::time_point noticeAt =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(
                         policy.noticeAfterSeconds > 0 ? policy.noticeAfterSeconds : 0));
  const std::string lockPath = lockFileOf(file, place);
  const std::string target = Resolved(file).string();
  bool told = false;

  for (;;) {
    // The lock file, made when missing; one another user made is locked read-only.
    bool lockFile = true;
    bool writable = true;
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
      writable = false;
      fd = ::open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      ::close(fd);
      fd = -1;
    }
    if (fd < 0) {
      // The folder takes no lock file: the file itself, as long as its path names it.
      lockFile = false;
      writable = false;
      fd = ::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) return true;
      if (fd < 0) {
        error = "The file " + QuotedPath(file) + " cannot be locked against other programs: " + ErrorText(errno) + ".";
        return false;
      }
      if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return true;  // no file to guard; the file layer refuses it
      }
    }
    const Key key{true, static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
    {
      std::lock_guard guard(RegistryMutex());
      const auto it = Registry().find({key.dev, key.ino});
      if (it != Registry().end()) {
        ++it->second.count;
        ::close(fd);
        key_ = key;
        return true;
      }
    }

    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (!lockFile) {
        // Replaced while we waited: the lock is on a file nobody reads any more.
        struct stat now {};
        if (::stat(target.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
          ::close(fd);
          continue;
        }
      }
      if (writable) {
        // Who holds it, for a process that finds the kernel's table silent.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::ftruncate(fd, 0) == 0) {
          [[maybe_unused]] const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
        }
      }
      std::lock_guard guard(RegistryMutex());
      Registry()[{key.dev, key.ino}] = Held{fd, 1};
      key_ = key;
      return true;
    }
    const int flockError = errno;
    if (flockError == EINTR) {
      ::close(fd);
      continue;
    }
    if (flockError != EWOULDBLOCK) {
      ::close(fd);
      error = "The file " + QuotedPath(file) + " cannot be locked against other programs: " + ErrorText(flockError) + ".";
      return false;
    }
    const long pid = HolderPid(fd, st, lockFile);
    ::close(fd);
    const Clock::time_point now = Clock::now();
    if (now >= deadline) {
      error = "The file " + QuotedPath(file) + " is in use by " + Holder(pid) + "; gave up after waiting " +
              Seconds(waitSeconds) + " (--lock-wait).";
      return false;
    }
    if (!told && now >= noticeAt) {
      told = true;
      if (policy.onWait) {
        policy.onWait("Waiting for " + Holder(pid) + ", which is using " + QuotedPath(file) + " (at most " +
                      Seconds(waitSeconds) + ").");
      }
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(20)));
  }
}

}  // namespace fd
