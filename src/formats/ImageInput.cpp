#include "formats/ImageInput.h"

#include <srecord/input/file/binary.h>
#include <srecord/input/file/intel.h>
#include <srecord/memory.h>
#include <srecord/quit.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "formats/Hex.h"

namespace fd {
namespace {

// libsrecord ends the process on a fatal error unless its quit handler says otherwise: this
// one keeps the text and unwinds to ConvertImageToPages, which turns it into a result.
// Warnings (garbage lines skipped, for one) fail the read as well: an image that is only
// partly understood is not written to flash.
struct SrecordFailure {};

class CollectingQuit final : public srecord::quit {
public:
  std::string text;

  void message_v(const char* format, va_list args) override {
    char buffer[512];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    if (text.empty()) text = buffer;
    // An input's warnings arrive here as "FILE: LINE: warning: ...", not via warning_v.
    if (std::string_view(buffer).find("warning: ") != std::string_view::npos) throw SrecordFailure{};
  }
  void warning_v(const char* format, va_list args) override {
    message_v(format, args);
    throw SrecordFailure{};
  }
  void exit(int) override { throw SrecordFailure{}; }
};

ConvertResult Refused(const std::string& message) {
  ConvertResult result;
  result.message = message;
  return result;
}

// The bytes of an Intel HEX or binary file as runs at their addresses, through libsrecord.
struct Runs {
  std::vector<std::uint8_t> bytes;
  struct Run {
    std::uint64_t address;
    std::size_t offset;
    std::size_t length;
  };
  std::vector<Run> runs;
};

bool ReadWithSrecord(const ImageInput& input, Runs& out, std::string& error) {
  // libsrecord's own "can't open" is raised again from a destructor, where it can't be
  // caught: find that out first.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(input.path, ec) || !std::ifstream(input.path, std::ios::binary)) {
    error = kCannotOpenFileText;
    return false;
  }
  // A binary that can't fit below 0x1000000 is refused before it is read into memory.
  if (input.format == ImageFormat::Binary) {
    const std::uintmax_t size = std::filesystem::file_size(input.path, ec);
    if (!ec && size > 0 && std::uint64_t{input.baseAddress} + size > kAddressLimit) {
      error = "The image has data at 0x" + HexText(input.baseAddress, 6) +
              ": its data reaches address 0x1000000 or above.";
      return false;
    }
  }
  CollectingQuit quit;
  try {
    srecord::input::pointer file = input.format == ImageFormat::IntelHex
                                       ? srecord::input::pointer(srecord::input_file_intel::create(input.path))
                                       : srecord::input::pointer(srecord::input_file_binary::create(input.path));
    file->set_quit(quit);
    srecord::memory memory;
    // A byte given twice is refused even when both give the same value, as overlapping
    // S-records are.
    memory.reader(file, srecord::defcon_fatal_error, srecord::defcon_fatal_error);
    const std::uint64_t base = input.format == ImageFormat::Binary ? input.baseAddress : 0;
    unsigned long address = 0;
    std::uint8_t chunk[4096];
    std::size_t length = sizeof chunk;
    while (memory.find_next_data(address, chunk, length)) {
      out.runs.push_back(Runs::Run{base + address, out.bytes.size(), length});
      out.bytes.insert(out.bytes.end(), chunk, chunk + length);
      address += length;
      length = sizeof chunk;
    }
  } catch (const SrecordFailure&) {
    error = std::string("Selected file is not a valid ") + ImageFormatName(input.format) + " file: " + quit.text;
    return false;
  } catch (const std::exception& e) {
    error = std::string("Selected file can't be read: ") + e.what();
    return false;
  }
  return true;
}

ConvertResult ConvertWithSrecord(const ImageInput& input, PageSink& sink) {
  Runs runs;
  std::string error;
  if (!ReadWithSrecord(input, runs, error)) return Refused(error);
  // The hex text the page model takes, upper-case as our own S-record writer makes it.
  std::string hex;
  hex.reserve(2 * runs.bytes.size());
  for (const std::uint8_t byte : runs.bytes) AppendHexByte(hex, byte);
  std::vector<DataSpan> spans;
  spans.reserve(runs.runs.size());
  for (const Runs::Run& run : runs.runs) {
    if (run.address + run.length > kAddressLimit) {
      return Refused("The image has data at 0x" + HexText(run.address, 6) +
                     ": its data reaches address 0x1000000 or above.");
    }
    spans.push_back(DataSpan{static_cast<std::uint32_t>(run.address), static_cast<std::uint32_t>(run.length),
                             hex.data() + 2 * run.offset, 0});
  }
  return ConvertSpansToPages(spans, sink);
}

std::string LowerExtension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

ImageFormat ImageFormatForPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".hex" || extension == ".ihex") return ImageFormat::IntelHex;
  if (extension == ".bin") return ImageFormat::Binary;
  return ImageFormat::SRecord;
}

const char* ImageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::SRecord: return "Motorola S-record";
    case ImageFormat::IntelHex: return "Intel HEX";
    case ImageFormat::Binary: return "binary";
  }
  return "";
}

ConvertResult ConvertImageToPages(const ImageInput& input, PageSink& sink) {
  if (input.format != ImageFormat::SRecord) return ConvertWithSrecord(input, sink);
  std::string text;
  std::string error;
  if (!ReadImageFile(input.path, text, error)) return Refused(kCannotOpenFileText);
  if (!HasHeaderLine(text)) return Refused(kNotMotFileText);
  return ConvertToPages(text, sink);
}

std::optional<std::uint32_t> ParseBaseAddress(const std::string& text) {
  std::string_view digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
  if (digits.empty() || digits.size() > 6) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;  // six digits stay below 0x1000000
}

std::optional<ImageKey> ImageKeyFor(const ImageInput& input) {
  std::optional<FileStamp> stamp = ReadFileStamp(input.path);
  if (!stamp) return std::nullopt;
  std::string content;
  std::string error;
  if (!ReadImageFile(input.path, content, error)) return std::nullopt;
  return ImageKeyOf(*stamp, content,
                    input.format == ImageFormat::Binary ? std::optional<std::uint32_t>(input.baseAddress) : std::nullopt);
}

}  // namespace fd
