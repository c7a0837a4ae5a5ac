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
// Behind the last page record comes a trailer the programmer never sees (the 18 descriptor
// bytes go to it as they are, so they can't carry more):
//
//   "BIN@" + base (4 bytes, low byte first)   raw binary input only: the same file at
//                                               another base is another image
//   "SHA2" + 32 bytes                          SHA-256 of the file's content
//
// The stamp (modification second and size) is what the reload question goes by, but two
// files of one size written in the same second share it: the digest is what lets the
// cached pages be sent only for the very bytes they were converted from. A record without
// the digest (an older one) is simply converted again.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "formats/Sha256.h"
#include "formats/SRecord.h"

namespace fd {

inline constexpr std::size_t kDescriptorSize = 18;
inline constexpr std::size_t kLoadPageRecordSize = 2 + kPageTextLength;  // 514
inline constexpr std::size_t kBaseTrailerSize = 8;                         // "BIN@" + base, low byte first
inline constexpr std::size_t kDigestTrailerSize = 4 + 32;                  // "SHA2" + SHA-256
inline constexpr std::uint64_t kLoadRecordLimit =
    kDescriptorSize + std::uint64_t{kLoadPageRecordSize} * kMaxPageCount + kBaseTrailerSize + kDigestTrailerSize;

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

// What a cached page list is recognised by: the file stamp, for raw binary input the base
// address it was placed at, and the digest of the file's content.
struct ImageKey {
  FileStamp stamp;
  std::optional<std::uint32_t> binaryBase;
  Sha256Digest digest{};
};
// The key of a file's content read at `stamp`.
ImageKey ImageKeyOf(const FileStamp& stamp, std::string_view content,
                    std::optional<std::uint32_t> binaryBase = std::nullopt);
// The trailer that follows the page records for `key`.
std::string LoadRecordTrailer(const ImageKey& key);

// The stamp test on the first bytes of the load-record file: their first 12 bytes,
// read as text up to a zero byte and cut to 12, equal the stamp's time and bytes 12 to 15
// its size. Fewer than 16 bytes hold another file.
bool StampMatches(std::string_view loadRecord, const FileStamp& stamp);
// The stamp matches, the length is exactly 18 + 514 x page count + the key's trailer, the
// trailer holds the same base (binary) and the same digest, and every page record is whole:
// its text all hex digits.
bool LoadRecordTrusted(std::string_view loadRecord, const ImageKey& key);
// The record was converted under the key's stamp from another image: its digest (or a
// binary's base) differs. A record without a digest, or of another stamp, tells nothing.
bool LoadRecordHoldsOtherImage(std::string_view loadRecord, const ImageKey& key);

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
// The same for an S-record file's text (ConvertToPages), keyed by the stamp and the text.
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
// LoadRecordHoldsOtherImage on the file (false when it can't be read).
bool LoadRecordFileHoldsOtherImage(const std::string& path, const ImageKey& key);

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
