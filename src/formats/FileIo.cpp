#include "formats/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <mutex>
#include <random>
#include <system_error>

#include "formats/FileIoTestHook.h"

namespace fd {
namespace {

namespace fs = std::filesystem;

// ---- the one write call ------------------------------------------------------------

test::FileWriteFunction& WriteHook() {
  static test::FileWriteFunction hook;
  return hook;
}

ssize_t WriteSome(int descriptor, const char* data, std::size_t size) {
  const test::FileWriteFunction& hook = WriteHook();
  return hook ? hook(descriptor, data, size) : ::write(descriptor, data, size);
}

// Writes `data` through short writes and interruptions; `written` counts what landed.
// 0 when all of it did, otherwise the error.
int WriteAll(int descriptor, std::string_view data, std::size_t& written) {
  written = 0;
  while (written < data.size()) {
    const ssize_t n = WriteSome(descriptor, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno != 0 ? errno : EIO;
    // A write that moves nothing will not move anything on a second try either.
    if (n == 0) return ENOSPC;
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

// ---- texts for the user --------------------------------------------------------------

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

std::string Reason(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return "you do not have permission";
    case EROFS: return "the disk is read-only";
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EIO: return "the disk reported an error";
    case ENAMETOOLONG: return "the name is too long";
    case ELOOP: return "it goes through too many symbolic links";
    case EMFILE:
    case ENFILE: return "too many files are open";
    case ENOENT: return "its folder does not exist";
    case ENOTDIR: return "a part of its path is not a folder";
    case EBUSY:
    case ETXTBSY: return "it is in use";
    default: break;
  }
  std::string text = std::generic_category().message(error);
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

// Anything but a regular file, said as what it is.
std::string NotAFile(const std::string& path, mode_t mode) {
  if (S_ISDIR(mode)) return Quoted(path) + " is a folder, not a file.";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return Quoted(path) + " is a device, not a regular file.";
  if (S_ISFIFO(mode)) return Quoted(path) + " is a pipe, not a regular file.";
  if (S_ISSOCK(mode)) return Quoted(path) + " is a socket, not a regular file.";
  return Quoted(path) + " is not a regular file.";
}

std::string ReadOnly(const std::string& path) {
  return "The file " + Quoted(path) + " is read-only: it was left as it was.";
}

// ---- small helpers -------------------------------------------------------------------

class Descriptor {
public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now, for the error a close can report (a delayed write failing).
  int close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
  }

private:
  int fd_;
};

// No write permission bit at all is the user's way of keeping a file as it is, even for
// root, who could write it anyway; otherwise the system decides (owner, ACLs, mounts).
int WriteRefusal(const std::string& path, const struct stat& st) {
  if ((st.st_mode & 0222) == 0) return EROFS;
  // The effective user's rights, which are the ones an open would meet.
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return errno != 0 ? errno : EACCES;
  return 0;
}

std::string WriteRefusalText(const std::string& path, int error) {
  if (error == EROFS) return ReadOnly(path);
  return "The file " + Quoted(path) + " cannot be written: " + Reason(error) + "; it was left as it was.";
}

// The file a path finally names, following a chain of symbolic links (relative links from
// the folder of the link). Writing the link's own place would cut it off from its file.
bool ResolveLinks(const std::string& path, std::string& target) {
  fs::path p(path);
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      target = p.string();
      return true;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
    if (n < 0 || static_cast<std::size_t>(n) >= link.size()) {
      target = p.string();
      return true;  // what comes next reports the path it cannot use
    }
    link.resize(static_cast<std::size_t>(n));
    const fs::path next(link);
    p = next.is_absolute() ? next : p.parent_path() / next;
  }
  return false;
}

// Letters and digits nobody can guess, for the temporary file's name.
std::string RandomSuffix() {
  static std::mutex mutex;
  static std::mt19937_64 engine = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::lock_guard lock(mutex);
  std::string text;
  for (int i = 0; i < 12; ++i) text += kChars[engine() % (sizeof kChars - 1)];
  return text;
}

void SyncFolder(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

namespace test {

ScopedFileWriteHook::ScopedFileWriteHook(FileWriteFunction write) { WriteHook() = std::move(write); }
ScopedFileWriteHook::~ScopedFileWriteHook() { WriteHook() = nullptr; }

}  // namespace test

FileResult FileIo::readAll(const std::string& path, std::string& bytes, std::uint64_t limit) {
  bytes.clear();
  // O_NONBLOCK: opening a FIFO must not wait for a writer; fstat then refuses it.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return {false, "The file " + Quoted(path) + " does not exist."};
    return {false, "The file " + Quoted(path) + " cannot be read: " + Reason(error) + "."};
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    return {false, "The file " + Quoted(path) + " cannot be read: " + Reason(errno) + "."};
  }
  if (!S_ISREG(st.st_mode)) return {false, NotAFile(path, st.st_mode)};
  const auto tooLarge = [&](std::uint64_t size) {
    return FileResult{false, "The file " + Quoted(path) + " is too large: " + std::to_string(size) +
                                 " bytes, where at most " + std::to_string(limit) + " are read."};
  };
  const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
  if (size > limit) return tooLarge(size);
  bytes.reserve(static_cast<std::size_t>(size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      bytes.clear();
      return {false, "The file " + Quoted(path) + " cannot be read: " + Reason(error) + "."};
    }
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
    if (bytes.size() > limit) {  // it grew while we read
      const std::uint64_t seen = bytes.size();
      bytes.clear();
      return tooLarge(seen);
    }
  }
  return {};
}

FileResult FileIo::replace(const std::string& path, std::string_view bytes) {
  const std::string shown = Quoted(path);
  std::string target;
  if (!ResolveLinks(path, target)) {
    return {false, "The file " + shown + " cannot be saved: " + Reason(ELOOP) + "."};
  }
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (!existed && errno != ENOENT) {
    return {false, "The file " + shown + " cannot be saved: " + Reason(errno) + "."};
  }
  if (existed) {
    if (!S_ISREG(st.st_mode)) return {false, NotAFile(path, st.st_mode)};
    // A rename would replace a read-only file all the same: refuse it here.
    if (const int refusal = WriteRefusal(target, st)) return {false, WriteRefusalText(path, refusal)};
  }
  const std::string leftAsItWas = existed ? "; the file was left as it was." : ".";

  const fs::path targetPath(target);
  std::string dir = targetPath.parent_path().string();
  if (dir.empty()) dir = ".";
  // Room for the suffix within the longest name a folder takes.
  const std::string stem = dir + "/." + targetPath.filename().string().substr(0, 200) + ".";
  std::string temp;
  int created = -1;
  int error = 0;
  for (int attempt = 0; attempt < 100 && created < 0; ++attempt) {
    temp = stem + RandomSuffix() + ".tmp";
    // O_EXCL refuses whatever is at the name, a planted link included; O_NOFOLLOW says so twice.
    // An existing file's copy starts private and gets the file's own bits once written.
    created = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
                     existed ? 0600 : 0666);
    error = created < 0 ? errno : 0;
    if (created < 0 && error != EEXIST) break;
  }
  if (created < 0) {
    if (error == ENOENT || error == ENOTDIR) {
      return {false, "The file " + shown + " cannot be saved: the folder " + Quoted(dir) + " does not exist."};
    }
    if (error == EACCES || error == EPERM || error == EROFS) {
      return {false, "The file " + shown + " cannot be saved: its folder " + Quoted(dir) +
                         " does not take new files (" + Reason(error) + ")" + leftAsItWas};
    }
    return {false, "The file " + shown + " cannot be saved: " + Reason(error) + leftAsItWas};
  }

  Descriptor fd(created);
  std::size_t written = 0;
  error = WriteAll(fd.get(), bytes, written);
  if (error == 0 && existed) {
    // Only root can hand the file back to its owner; anyone else owns it already, so a
    // refusal changes nothing.
    [[maybe_unused]] const int owned = ::fchown(fd.get(), st.st_uid, st.st_gid);
    if (::fchmod(fd.get(), st.st_mode & 07777) != 0) error = errno;
  }
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  const int closed = fd.close();
  if (error == 0) error = closed;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    return {false, "The file " + shown + " cannot be saved: " + Reason(error) + leftAsItWas};
  }
  SyncFolder(dir);
  return {};
}

FileResult FileIo::append(const std::string& path, std::string_view bytes) {
  const std::string shown = Quoted(path);
  // No O_CREAT: only start-up creates such a file. O_NONBLOCK: a FIFO in its place must not
  // hang the program (without a reader the open fails, with one fstat refuses it).
  Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return {false, "The file " + shown + " does not exist."};
    struct stat st {};
    if ((error == EISDIR || error == ENXIO) && ::stat(path.c_str(), &st) == 0) return {false, NotAFile(path, st.st_mode)};
    if (error == EACCES || error == EPERM || error == EROFS) return {false, WriteRefusalText(path, error)};
    return {false, "The record could not be written to " + shown + ": " + Reason(error) + "."};
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    return {false, "The record could not be written to " + shown + ": " + Reason(errno) + "."};
  }
  if (!S_ISREG(st.st_mode)) return {false, NotAFile(path, st.st_mode)};
  if ((st.st_mode & 0222) == 0) return {false, ReadOnly(path)};
  if (bytes.empty()) return {};

  // The whole record in one appending write where the system allows, so two programs
  // logging at once do not interleave their lines.
  std::size_t written = 0;
  int error = WriteAll(fd.get(), bytes, written);
  if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
  if (error != 0) {
    if (written > 0) {
      // Where the record began: the offset after its last piece, less what of it landed.
      const off_t end = ::lseek(fd.get(), 0, SEEK_CUR);
      const off_t start = end - static_cast<off_t>(written);
      if (end < 0 || start < 0 || ::ftruncate(fd.get(), start) != 0) {
        return {false,
                "The record could not be written to " + shown + ": " + Reason(error) + "; the file may end in a part of it.",
                true};
      }
    }
    return {false, "The record could not be written to " + shown + ": " + Reason(error) + "; the file was left as it was.",
            true};
  }
  if (const int closed = fd.close()) {
    return {false, "The record could not be written to " + shown + ": " + Reason(closed) + ".", true};
  }
  return {};
}

bool FileIo::createIfMissing(const std::string& path) {
  // O_EXCL fails on anything at the name, a dangling link included, so nothing existing
  // is ever opened (and cut) for writing.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace fd
