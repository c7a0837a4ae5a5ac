#include "host/TraceFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace fd {

TraceFile::Buffer::Buffer(int fd) : fd_(fd), space_(64 * 1024) { setp(space_.data(), space_.data() + space_.size()); }

bool TraceFile::Buffer::flushOut() {
  const char* at = pbase();
  const char* end = pptr();
  while (failure_ == 0 && at < end) {
    const ssize_t n = ::write(fd_, at, static_cast<std::size_t>(end - at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failure_ = n < 0 ? errno : ENOSPC;
      break;
    }
    at += n;
  }
  // After a refused write the rest is dropped: a trace with a hole in it would mislead.
  setp(space_.data(), space_.data() + space_.size());
  return failure_ == 0;
}

TraceFile::Buffer::int_type TraceFile::Buffer::overflow(int_type c) {
  flushOut();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

int TraceFile::Buffer::sync() { return flushOut() ? 0 : -1; }

TraceFile::TraceFile(std::string path, int fd) : path_(std::move(path)), buffer_(fd), stream_(&buffer_) {}

TraceFile::~TraceFile() {
  buffer_.flushOut();
  ::close(buffer_.fd());
}

std::unique_ptr<TraceFile> TraceFile::open(const std::string& path, const std::string& header, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = "Can not create the trace file " + path + ": " + std::strerror(errno) + ".";
    return nullptr;
  }
  std::unique_ptr<TraceFile> file(new TraceFile(path, fd));
  file->stream_ << header << '\n';
  if (!file->buffer_.flushOut()) {
    error = "Can not create the trace file " + path + ": " + std::strerror(file->buffer_.failure()) + ".";
    file.reset();
    ::unlink(path.c_str());
    return nullptr;
  }
  return file;
}

bool TraceFile::finish(std::string& error) {
  if (buffer_.flushOut()) return true;
  error = "The trace file " + path_ + " could not be written whole (" + std::strerror(buffer_.failure()) +
          "); it ends where the write failed.";
  return false;
}

}  // namespace fd
