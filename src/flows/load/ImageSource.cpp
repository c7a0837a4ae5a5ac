#include "flows/load/ImageSource.h"

#include <filesystem>
#include <system_error>

namespace fd {

std::string ImageReaderSource::fileName() const { return std::filesystem::path(input_.path).filename().string(); }

std::shared_ptr<const ImageSource> MakeImageSource(const ImageInput& input) {
  if (input.format == ImageFormat::SRecord) return std::make_shared<SRecordFileSource>(input.path);
  return std::make_shared<ImageReaderSource>(input);
}

std::string SRecordFileSource::fileName() const { return std::filesystem::path(path_).filename().string(); }

std::optional<ImageKey> SRecordFileSource::key() const {
  std::optional<FileStamp> stamp = ReadFileStamp(path_);
  if (!stamp) return std::nullopt;
  std::string text;
  std::string error;
  if (!ReadImageFile(path_, text, error)) return std::nullopt;
  ImageKey key = ImageKeyOf(*stamp, text);
  text_ = std::move(text);
  return key;
}

ConvertResult SRecordFileSource::convert(PageSink& sink) const {
  std::string read;
  std::string error;
  ConvertResult refused;
  // The file was tested when it was chosen; it may have gone or changed since.
  if (!text_ && !ReadImageFile(path_, read, error)) {
    refused.message = kCannotOpenFileText;
    return refused;
  }
  const std::string& text = text_ ? *text_ : read;
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
