#pragma once
// A fresh folder for one test, removed with everything in it when the test ends (even
// folders and files the test made read-only).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace fd::test {

class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "flashdock-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    dir_ = pattern + "/";
  }
  ~TempDir() {
    std::error_code ec;
    ::chmod(dir_.c_str(), 0700);
    for (auto it = std::filesystem::recursive_directory_iterator(dir_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
    }
    std::filesystem::remove_all(dir_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, ending in '/', ready to serve as appDir.
  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + name; }

  // Whole-file helpers (binary, so line ends are seen as they are).
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool exists(const std::string& name) const {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path(name), ec));
  }

private:
  std::string dir_;
};

// Permission bits do not stop root, so a test about read-only files or folders runs its
// checks inside this guard: as root it hands the folder to "nobody" and takes that user's
// identity until the guard ends; for anyone else it changes nothing. Create it after the
// files are set up, end it before the folder goes.
class AsPlainUser {
public:
  explicit AsPlainUser(const TempDir& dir) {
    if (::geteuid() != 0) {
      active_ = true;
      return;
    }
    std::error_code ec;
    if (::lchown(dir.dir().c_str(), kNobody, kNobody) != 0) return;
    for (auto it = std::filesystem::recursive_directory_iterator(dir.dir(), ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (::lchown(it->path().c_str(), kNobody, kNobody) != 0) return;
    }
    if (::setegid(kNobody) != 0) return;
    if (::seteuid(kNobody) != 0) {
      restoreGroup();
      return;
    }
    switched_ = true;
    active_ = true;
  }
  ~AsPlainUser() {
    if (switched_ && ::seteuid(0) == 0) restoreGroup();
  }
  AsPlainUser(const AsPlainUser&) = delete;
  AsPlainUser& operator=(const AsPlainUser&) = delete;

  // False when root could not give up its rights: the test cannot show anything.
  bool active() const { return active_; }

private:
  static constexpr uid_t kNobody = 65534;
  static void restoreGroup() { [[maybe_unused]] const int restored = ::setegid(0); }
  bool active_ = false;
  bool switched_ = false;
};

// Sets (or, with nullptr, removes) an environment variable until the guard ends.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    had_ = std::getenv(name) != nullptr;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~ScopedEnv() { had_ ? ::setenv(name_.c_str(), old_.c_str(), 1) : ::unsetenv(name_.c_str()); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace fd::test
