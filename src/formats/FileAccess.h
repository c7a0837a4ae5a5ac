#pragma once
// How formats/ reads whole files and replaces them. The program-wide FileIo
// (formats/FileIo.h) is being written on another branch; until it lands, FileAccess.cpp
// holds a small stand-in behind these two functions, and switching to FileIo is one line in
// each body there. Private to formats/: nothing outside includes this.
#include <cstdint>
#include <string>
#include <string_view>

namespace fd::formats {

struct FileOutcome {
  bool ok = false;
  std::string error;  // what went wrong, for a message; empty on success
};

// Replaces the file at `path` with `bytes` as a whole: a unique temporary file in the same
// folder, fsync, rename. A crash leaves the old file or the new one, never a mix.
FileOutcome ReplaceFile(const std::string& path, std::string_view bytes);
// Reads the whole file into `bytes`; fails when it can't be opened, is larger than `limit`
// or a read does not return every byte.
FileOutcome ReadWholeFile(const std::string& path, std::string& bytes, std::uint64_t limit);

}  // namespace fd::formats
