#pragma once
// Image files by format: Motorola S-records (formats/SRecord.h), Intel HEX (".hex", ".ihex")
// and raw binary (".bin", placed at a base address). Intel HEX and binary are read with
// libsrecord and handed to the same page model as the S-record conversion (DataSpan,
// ConvertSpansToPages), so the programmer receives the same frames for the same bytes
// whatever the file's format. A new format gets its reader here, behind ConvertImageToPages.
#include <cstdint>
#include <optional>
#include <string>

#include "formats/LoadRecord.h"
#include "formats/SRecord.h"

namespace fd {

enum class ImageFormat { SRecord, IntelHex, Binary };

// By the extension, in either case: ".hex" and ".ihex" Intel HEX, ".bin" binary, anything
// else (".mot", ".s19", ".srec", ...) Motorola S-records.
ImageFormat ImageFormatForPath(const std::string& path);
const char* ImageFormatName(ImageFormat format);

struct ImageInput {
  std::string path;
  ImageFormat format = ImageFormat::SRecord;
  std::uint32_t baseAddress = 0;  // where byte 0 of a binary goes; unused by the other formats
};

// The image's page list, passed to the sink. S-record files get the "S0" test and the
// S-record conversion; the others refuse what that conversion refuses (data in
// page 0 or at or above 0x1000000, overlapping records) and whatever libsrecord refuses (a
// wrong checksum, a malformed or garbage line). On failure nothing has been passed.
ConvertResult ConvertImageToPages(const ImageInput& input, PageSink& sink);

// A binary's base address as typed: 1 to 6 hex digits, "0x" allowed, below 0x1000000;
// nothing for anything else (empty, a sign, spaces, more digits).
std::optional<std::uint32_t> ParseBaseAddress(const std::string& text);

// What the load-record cache knows the image by: the file stamp, and a binary's base.
std::optional<ImageKey> ImageKeyFor(const ImageInput& input);

}  // namespace fd
