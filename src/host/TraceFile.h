#pragma once
// The --trace file: an output stream over a file descriptor that remembers the first write
// the system refused (a full disk, a file size limit), so the program can say that its
// trace ends early instead of leaving a cut file behind without a word.
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace fd {

class TraceFile {
public:
  // Creates or empties `path` and writes `header` as its first line. Null with a sentence
  // in `error` when that fails; a file made by the attempt is removed again, so a trace
  // that could not be started leaves no empty file.
  static std::unique_ptr<TraceFile> open(const std::string& path, const std::string& header, std::string& error);
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  std::ostream& stream() { return stream_; }
  // Writes out what is buffered; false with a sentence naming the file and the system's
  // reason when any part of the trace could not be written (everything after it is lost).
  bool finish(std::string& error);

private:
  class Buffer final : public std::streambuf {
  public:
    explicit Buffer(int fd);
    bool flushOut();
    int fd() const { return fd_; }
    int failure() const { return failure_; }

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    int fd_;
    int failure_ = 0;  // the errno of the first refused write
    std::vector<char> space_;
  };

  TraceFile(std::string path, int fd);
  std::string path_;
  Buffer buffer_;
  std::ostream stream_;
};

}  // namespace fd
