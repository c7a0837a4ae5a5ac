#pragma once
// Where the Loading window's pages come from: an image file of any format the file choice
// takes (formats/ImageInput.h). Whatever the format, the window sees the same thing: a key
// that recognises the image again (for the load-record cache) and a conversion into the one
// page model.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "formats/ImageInput.h"
#include "formats/LoadRecord.h"
#include "formats/SRecord.h"

namespace fd {

class ImageSource {
public:
  virtual ~ImageSource() = default;
  // The file's name as the file system gives it (with its extension).
  virtual std::string fileName() const = 0;
  // What the cached page list is recognised by: the file's stamp and the digest of its
  // content; none when the file can't be read (it has gone since it was chosen).
  virtual std::optional<ImageKey> key() const = 0;
  // The page list into `sink`; on failure nothing was passed and the message says why.
  virtual ConvertResult convert(PageSink& sink) const = 0;
  // Bytes of page records worth reserving room for (0: no idea).
  virtual std::size_t sizeHint() const { return 0; }
};

// An S-record file. key() reads it whole and keeps the text, so the pages converted after
// it are those of the very bytes the digest was taken of.
class SRecordFileSource final : public ImageSource {
public:
  explicit SRecordFileSource(std::string path) : path_(std::move(path)) {}
  std::string fileName() const override;
  std::optional<ImageKey> key() const override;
  ConvertResult convert(PageSink& sink) const override;
  std::size_t sizeHint() const override;

private:
  std::string path_;
  mutable std::optional<std::string> text_;
};

// An Intel HEX or binary image, read by its format's reader at each conversion.
class ImageReaderSource final : public ImageSource {
public:
  explicit ImageReaderSource(ImageInput input) : input_(std::move(input)) {}
  std::string fileName() const override;
  std::optional<ImageKey> key() const override { return ImageKeyFor(input_); }
  ConvertResult convert(PageSink& sink) const override { return ConvertImageToPages(input_, sink); }

private:
  ImageInput input_;
};

// The source for a chosen file of any format.
std::shared_ptr<const ImageSource> MakeImageSource(const ImageInput& input);

}  // namespace fd
