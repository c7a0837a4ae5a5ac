#pragma once
// For tests only: the one write call of FileIo, replaceable, so a full disk or a write that
// stops half way can be shown without a tiny file system.
#include <cstddef>
#include <functional>

#include <sys/types.h>

namespace fd::test {

// Takes the place of ::write(descriptor, data, size) and answers as it would (bytes
// written, or -1 with errno set).
using FileWriteFunction = std::function<ssize_t(int descriptor, const char* data, std::size_t size)>;

// Every write FileIo makes goes to `write` while the guard lives. One at a time.
class ScopedFileWriteHook {
public:
  explicit ScopedFileWriteHook(FileWriteFunction write);
  ~ScopedFileWriteHook();
  ScopedFileWriteHook(const ScopedFileWriteHook&) = delete;
  ScopedFileWriteHook& operator=(const ScopedFileWriteHook&) = delete;
};

}  // namespace fd::test
