#pragma once
// Every file the program reads whole, replaces, appends to or creates goes through here, so
// the rules hold everywhere: nothing but regular files, nothing that can hang (a FIFO or a
// device in a file's place), a replaced file whole or not at all, a record whole or not at
// all, and a sentence for the user when something is refused.
#include <cstdint>
#include <string>
#include <string_view>

namespace fd {

struct FileResult {
  bool ok = true;
  std::string error;  // a sentence for the user naming the file, no library prefixes; empty when ok
  // append: the file was open for the record and the write itself failed (disk full, an
  // I/O error), as opposed to a file that could not be opened at all.
  bool writeFailed = false;
  explicit operator bool() const { return ok; }
};

class FileIo {
public:
  static constexpr std::uint64_t kReadLimit = 256ull << 20;

  // Whole regular file into `bytes`. Refuses anything but a regular file without blocking
  // (a FIFO must not hang), a folder ("... is a folder"), a file over `limit`, a missing
  // file ("... does not exist") and an unreadable one. `bytes` is left empty on refusal.
  static FileResult readAll(const std::string& path, std::string& bytes, std::uint64_t limit = kReadLimit);

  // Replaces the file whole or not at all: a unique temporary file created exclusively in
  // the same folder as the final file (never a fixed name, never following a planted
  // link), written, synced, renamed over the file, the folder synced; the temporary file
  // removed on any failure. A path that is a symbolic link is written through to its final
  // target (the link stays a link). An existing file the user cannot write (no write
  // permission bit at all, as mode 444, or one the user has no right to write) is refused
  // and left untouched; otherwise the original's permission bits (and owner, where the
  // program may set it) are kept on the new file; a new file gets 0666 & ~umask. A folder
  // that does not take new files refuses the replacement: rewriting the file in place
  // could leave it half written.
  static FileResult replace(const std::string& path, std::string_view bytes);

  // Appends a record to an existing regular file (never creates it; no FIFO or device),
  // whole or not at all: on a short or failed write the file is cut back to its length
  // before the record, and the result says the record could not be written. The same
  // refusals as replace() for a file the user cannot write. An empty record writes
  // nothing and tells whether the file would take one.
  static FileResult append(const std::string& path, std::string_view bytes);

  // Creates an empty file (0666 & ~umask) when nothing is at `path` (not even a dangling
  // link); never opens an existing one for writing. True when it created the file now.
  static bool createIfMissing(const std::string& path);
};

}  // namespace fd
