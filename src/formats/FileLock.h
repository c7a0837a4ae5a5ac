#pragma once
// Advisory locks between processes on the files several copies of the program share: the
// settings file and history log of one application folder, and a bench file. Production
// lines start one command per programmer from a script, often several at once; without a
// lock two of them read the same settings or bench, each changes its own copy, and the
// second write throws the first one's change away.
//
// The files themselves are replaced by rename, so a lock on the file would be a lock on an
// inode that is gone after the first save: the lock is taken on a separate, never replaced
// lock file instead (kept once made). Only where the folder takes no new file is the file
// itself locked, and then checked after locking to still be the file its path names.
//
// A lock held elsewhere is waited for as the policy says (30 s unless told otherwise),
// telling once which process holds it; a lock already held by this process is shared, so
// nested work on one folder never waits for itself.
#include <functional>
#include <string>

namespace fd {

struct LockPolicy {
  static constexpr double kDefaultWaitSeconds = 30;
  // How long a lock held by another process is waited for; 0 tries once.
  double waitSeconds = kDefaultWaitSeconds;
  // Told once per lock taken, with a sentence naming the file and the process, when the
  // lock is held by another process and the wait has lasted noticeAfterSeconds: the short
  // turns programs take at one log or settings file go unsaid. May be empty.
  std::function<void(const std::string& sentence)> onWait;
  double noticeAfterSeconds = 1;
};

// Installs a policy for the life of the guard and puts the one before it back.
class ScopedLockPolicy {
public:
  explicit ScopedLockPolicy(LockPolicy policy);
  ~ScopedLockPolicy();
  ScopedLockPolicy(const ScopedLockPolicy&) = delete;
  ScopedLockPolicy& operator=(const ScopedLockPolicy&) = delete;

private:
  LockPolicy previous_;
};

class FileLock {
public:
  enum class Place {
    kAppFolder,  // kAppFolderLockName in the file's folder: one lock for the folder's files
    kBeside,     // "<file>.lock" beside the file
  };
  static constexpr const char* kAppFolderLockName = ".flashdock.lock";

  // The lock file that guards `file` (after following symbolic links to the file they name).
  static std::string lockFileOf(const std::string& file, Place place);

  FileLock() = default;
  ~FileLock();
  FileLock(FileLock&& other) noexcept;
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock guarding `file`, waiting as the policy says. True when the caller may go
  // on: the lock is held, or there is nothing to lock (no lock file can be made and the
  // file does not exist, so whatever the caller does with it fails on its own). False with
  // a sentence in `error` naming the file, and the process holding it when known, when the
  // wait ran out or the lock cannot be taken at all.
  bool acquire(const std::string& file, Place place, std::string& error);
  void release();
  bool held() const { return key_.valid; }

  static const LockPolicy& policy();

private:
  struct Key {
    bool valid = false;
    unsigned long long dev = 0;
    unsigned long long ino = 0;
  };
  Key key_;
};

}  // namespace fd
