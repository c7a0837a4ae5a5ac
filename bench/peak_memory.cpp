// Peak memory of the largest image a load can be given: S-records filling every address from
// 0x000100 to 0xFFFFFF (65,535 pages, about 40 MiB of text). The program goes the way of a
// load: the file choice with its tests (the memory-map test left out, as no product's map
// spans the whole address space), then the Loading window's convert step, which reads the
// file again, converts it and writes the load-record file. Prints the process's peak resident
// set against the file and its load record together, the two that must be held at once.
// Linux: the figures come from /proc.
//
// Usage: peak_memory
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "BenchImage.h"
#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/load/ChooseImageFile.h"
#include "flows/load/ImageOperation.h"
#include "formats/LoadRecord.h"

namespace fd {
namespace {

constexpr std::uint32_t kFirstAddress = 0x000100;
constexpr std::uint32_t kImageBytes = 0x1000000 - kFirstAddress;
constexpr std::uint32_t kPages = kImageBytes / 256;

// Answers the open-file dialog with one file.
class FilePrompter final : public Prompter {
public:
  explicit FilePrompter(std::string path) : path_(std::move(path)) {}
  MsgAnswer message(const std::string&, MsgIcon, const std::string& text, MsgButtons) override {
    std::fprintf(stderr, "refused: %s\n", text.c_str());
    std::exit(1);
  }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override { return path_; }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }

private:
  std::string path_;
};

// A figure of /proc/self/status in MiB: VmHWM, the peak resident set of this program
// (getrusage's peak would carry over the parent's from before the exec), or VmRSS.
double StatusMiB(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::strtod(line.c_str() + key.size() + 1, nullptr) / 1024.0;  // kB
  }
  std::fprintf(stderr, "no %s in /proc/self/status\n", key.c_str());
  std::exit(1);
}

double MiB(std::uintmax_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace
}  // namespace fd

int main() {
  std::string pattern = (std::filesystem::temp_directory_path() / "flashdock-memory-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const std::filesystem::path dir = pattern;
  const std::string image = (dir / "full.mot").string();
  const std::string record = (dir / fd::kLoadRecordFileName).string();
  fd::bench::WriteCountingImage(image, fd::kFirstAddress, fd::kImageBytes);
  const double before = fd::StatusMiB("VmRSS");

  bool ok = false;
  {
    fd::AppState state;
    fd::FilePrompter prompter(image);
    const std::optional<fd::ChosenImage> chosen = fd::ImageFileChooser(prompter, state)(fd::kSelectLoadFileTitle, false);
    std::optional<fd::ImageKey> key;
    if (chosen) key = chosen->source->key();
    if (key) {
      const fd::PreparedLoadRecord prepared = fd::PrepareLoadRecord(
          record, *key, [&](fd::PageSink& sink) { return chosen->source->convert(sink); }, chosen->source->sizeHint());
      ok = prepared.result.ok && prepared.stored && prepared.result.pageCount == fd::kPages;
      if (!ok) std::fprintf(stderr, "conversion: %s %s\n", prepared.result.message.c_str(), prepared.storeError.c_str());
    }
  }
  const double peak = fd::StatusMiB("VmHWM");

  std::error_code ec;
  const double textMiB = fd::MiB(std::filesystem::file_size(image, ec));
  const double recordMiB = fd::MiB(std::filesystem::file_size(record, ec));
  std::filesystem::remove_all(dir, ec);
  if (!ok) {
    std::fprintf(stderr, "the image was not converted whole\n");
    return 1;
  }
  std::printf("image: 0x%06X-0xFFFFFF, %u pages; S-record file %.1f MiB, load record %.1f MiB\n", fd::kFirstAddress,
              fd::kPages, textMiB, recordMiB);
  std::printf("peak RSS: %.1f MiB (%.1f MiB before the file was chosen)\n", peak, before);
  std::printf("ratio: %.2f of the file and its load record together\n", peak / (textMiB + recordMiB));
  return 0;
}
