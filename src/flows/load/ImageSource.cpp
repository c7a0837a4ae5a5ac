#include "flows/load/ImageSource.h"

#include <filesystem>
#include <system_error>

namespace fd {

std::string SRecordFileSource::fileName() const { return std::filesystem::path(path_).filename().string(); }

std::optional<ImageKey> SRecordFileSource::key() const {
  std::optional<FileStamp> stamp = ReadFileStamp(path_);
  if (!stamp) return std::nullopt;
  return ImageKey{*stamp, std::nullopt};
}

ConvertResult SRecordFileSource::convert(PageSink& sink) const {
  std::string text;
  std::string error;
  ConvertResult refused;
  // The file was tested when it was chosen; it may have gone or changed since.
  if (!ReadImageFile(path_, text, error)) {
    refused.message = kCannotOpenFileText;
    return refused;
  }
  if (!HasHeaderLine(text)) {
    refused.message = kNotMotFileText;
    return refused;
  }
  return ConvertToPages(text, sink);
}

std::size_t SRecordFileSource::sizeHint() const {
  // The text's size bounds the page records it gives (a page's record is smaller than the
  // records that fill it).
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path_, ec);
  return ec || size > kImageFileLimit ? 0 : static_cast<std::size_t>(size);
}

}  // namespace fd
