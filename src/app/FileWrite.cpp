#include "app/FileWrite.h"

#include <unistd.h>

#include <cerrno>

namespace fd {

bool WriteAll(int descriptor, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(descriptor, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace fd
