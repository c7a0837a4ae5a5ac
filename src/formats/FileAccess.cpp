#include "formats/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace fd::formats {
namespace {

// ---- Stand-in for FileIo, until formats/FileIo.h lands; then delete this namespace. ----
namespace standin {

struct FileResult {
  bool ok = false;
  std::string error;
};

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

FileResult Failed(const std::string& what, const std::string& path) {
  return {false, what + " " + path + ": " + std::strerror(errno)};
}

FileResult replace(const std::string& path, std::string_view bytes) {
  struct stat old {};
  const bool existed = ::stat(path.c_str(), &old) == 0;
  // Never replace a file the user may not write: the rename would get round its mode.
  if (existed && ::access(path.c_str(), W_OK) != 0) return Failed("cannot write", path);
  static std::atomic<unsigned> serial{0};
  const std::filesystem::path target(path);
  std::string dir = target.parent_path().string();
  if (dir.empty()) dir = ".";
  const std::string stem = dir + "/." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + ".";
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = stem + std::to_string(serial++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return Failed("cannot create a temporary file for", path);
  bool ok = WriteAll(fd, bytes);
  if (ok && existed) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  ok = ok && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    FileResult result = Failed("cannot write", path);
    ::unlink(temp.c_str());
    return result;
  }
  return {true, {}};
}

FileResult readAll(const std::string& path, std::string& bytes, std::uint64_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return Failed("cannot open", path);
  struct stat status {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return Failed("not a regular file:", path);
  }
  if (static_cast<std::uint64_t>(status.st_size) > limit) {
    ::close(fd);
    return {false, path + " is larger than " + std::to_string(limit) + " bytes"};
  }
  std::string data(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t have = 0;
  for (;;) {
    if (have == data.size()) {
      // The file may have grown since fstat: read on until the end, within the limit.
      if (data.size() >= limit) {
        char probe;
        const ssize_t more = ::read(fd, &probe, 1);
        if (more == 0) break;
        ::close(fd);
        return {false, path + " is larger than " + std::to_string(limit) + " bytes"};
      }
      data.resize(std::min<std::uint64_t>(limit, data.size() + 65536));
    }
    const ssize_t n = ::read(fd, data.data() + have, data.size() - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      FileResult result = Failed("cannot read", path);
      ::close(fd);
      return result;
    }
    if (n == 0) break;
    have += static_cast<std::size_t>(n);
  }
  ::close(fd);
  data.resize(have);
  bytes = std::move(data);
  return {true, {}};
}

}  // namespace standin

}  // namespace

// The switch to FileIo: `const auto r = FileIo::replace(path, bytes);` (and include it).
FileOutcome ReplaceFile(const std::string& path, std::string_view bytes) {
  const auto r = standin::replace(path, bytes);
  return {r.ok, r.error};
}

// The switch to FileIo: `const auto r = FileIo::readAll(path, bytes, limit);`
FileOutcome ReadWholeFile(const std::string& path, std::string& bytes, std::uint64_t limit) {
  const auto r = standin::readAll(path, bytes, limit);
  return {r.ok, r.error};
}

}  // namespace fd::formats
