#pragma once
// The load-record file "ZK40 Family Flashdock.tbx": the page list of the last
// converted file, cached beside the executable so that loading the same unchanged file
// again skips the conversion.
//
//   offset 0        18 bytes   image descriptor: stamp time (12), size (4), page count (2)
//   18 + 514 i       2 bytes   page number of page record i, low byte first
//   20 + 514 i     512 bytes   the page's 256 bytes as hex characters
//
// The whole content is built in memory and handed to one writer, which replaces the file;
// it is trusted only when its stamp matches and its length is exactly what its page count
// says, so an interrupted or failed conversion never leaves a stamp that a later load would
// take for a complete list.
//
// Raw binary input (the command line's .bin with a base address) needs the base in the key
// as well: the same file at another base is another image. The 18 descriptor bytes can't
// carry it (they go to the programmer as they are), so it travels behind the last page
// record as an 8-byte trailer. The stamp test reads only the first 16 bytes and an S-record
// file's record has no trailer, so S-record files are tested as they always were; a record
// with a trailer fails their length rule, and one without fails a binary's.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "formats/SRecord.h"

namespace fd {

inline constexpr std::size_t kDescriptorSize = 18;
inline constexpr std::size_t kLoadPageRecordSize = 2 + kPageTextLength;  // 514
inline constexpr std::size_t kBaseTrailerSize = 8;                         // "BIN@" + base, low byte first
inline constexpr std::uint64_t kLoadRecordLimit =
    kDescriptorSize + std::uint64_t{kLoadPageRecordSize} * kMaxPageCount + kBaseTrailerSize;

// The image descriptor: in the programmer, in programmerInfo bytes 71 to 88, and at the
// start of the load-record file.
struct ImageDescriptor {
  FileStamp stamp;
  std::uint16_t pageCount = 0;
  friend bool operator==(const ImageDescriptor&, const ImageDescriptor&) = default;
};
std::array<std::uint8_t, kDescriptorSize> EncodeDescriptor(const ImageDescriptor& descriptor);
// The 18 bytes back: the time is the text up to the first zero byte, cut to 12.
ImageDescriptor DecodeDescriptor(const std::uint8_t* bytes);

// What a cached page list is recognised by: the file stamp, and for raw binary input the
// base address it was placed at.
struct ImageKey {
  FileStamp stamp;
  std::optional<std::uint32_t> binaryBase;
};

// The stamp test on the first bytes of the load-record file: their first 12 bytes,
// read as text up to a zero byte and cut to 12, equal the stamp's time and bytes 12 to 15
// its size. Fewer than 16 bytes hold another file.
bool StampMatches(std::string_view loadRecord, const FileStamp& stamp);
// The stamp matches, the length is exactly 18 + 514 x page count (+ the trailer for a binary
// key, which must hold the same base) and every page record is whole: its text all hex digits.
bool LoadRecordTrusted(std::string_view loadRecord, const ImageKey& key);
bool LoadRecordTrusted(std::string_view loadRecord, const FileStamp& stamp);

// The load-record sink: each page is its number as 2 bytes, low byte first,
// then its hex characters as they are, appended to `content`.
class LoadRecordSink final : public PageSink {
public:
  explicit LoadRecordSink(std::string& content) : content_(content) {}
  void beginPage(std::uint16_t page) override;
  void append(std::string_view hexCharacters) override;

private:
  std::string& content_;
};

// A whole load-record content, or why there is none.
struct LoadRecordBuild {
  ConvertResult result;
  std::string content;  // empty unless result.ok
};
// The convert step: descriptor, then the pages `convert` passes to its sink, then the
// trailer of a binary key. Nothing is kept when `convert` fails. `sizeHint`: bytes of page
// records to reserve room for.
LoadRecordBuild BuildLoadRecord(const ImageKey& key, const std::function<ConvertResult(PageSink&)>& convert,
                                std::size_t sizeHint = 0);
// The same for an S-record file's text (ConvertToPages).
LoadRecordBuild BuildLoadRecord(const FileStamp& stamp, std::string_view sRecordText);

// Reading a built or stored content (trusted, or freshly built).
std::uint16_t LoadRecordPageCount(std::string_view loadRecord);
struct LoadRecordPage {
  std::uint16_t page = 0;
  std::string_view text;  // 512 characters
};
// Page record i; i must be below the page count of a trusted content.
LoadRecordPage LoadRecordPageAt(std::string_view loadRecord, std::size_t index);

// The file. Writing replaces it whole; reading gives its content only when it is trusted
// for `key` (nothing for a missing, short, foreign or damaged file: convert again).
bool WriteLoadRecord(const std::string& path, std::string_view content, std::string& error);
std::optional<std::string> ReadTrustedLoadRecord(const std::string& path, const ImageKey& key);

// The Loading window's opening and convert step in one: the stored record when it is trusted
// for `key`, otherwise a new one built with `convert` and written to `path`. A failed
// conversion writes nothing, so the file never holds the new stamp over a partial list
// and a later load converts again. A failed write still gives the content, to send.
struct PreparedLoadRecord {
  ConvertResult result;     // ok (page count), or the conversion's fault
  std::string content;      // the load-record content, when ok
  bool converted = false;   // false: the stored record was reused
  bool stored = false;      // converted and written
  std::string storeError;   // why a converted record could not be written
};
PreparedLoadRecord PrepareLoadRecord(const std::string& path, const ImageKey& key,
                                     const std::function<ConvertResult(PageSink&)>& convert,
                                     std::size_t sizeHint = 0);

}  // namespace fd
