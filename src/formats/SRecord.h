#pragma once
// Motorola S-record files as the system reads them: the file stamp, the tests a
// chosen file must pass, and the conversion of its data records (S1, S2 and S3 alike) into
// the sparse list of 256-byte pages that is the only form in which image data travels to a
// programmer.
//
// Everything here is pure: texts in, results out. The file is read whole first, checked
// whole, and only then converted, so a bad line is found before a single page is emitted
// and a caller never sends (or caches) half an image.
#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/MemoryMap.h"

namespace fd {

// ---- File stamp -------------------------------------------------------------------------

// What identifies a loaded file: its modification time in local time as "YYMMDDhhmmss"
// (12 characters) and the low 32 bits of its size.
struct FileStamp {
  std::string time;
  std::uint32_t size = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
inline constexpr std::size_t kStampTimeLength = 12;

// The stamp of a file with this modification time and size (local time, "%Y%m%d%H%M%S"
// without the century).
FileStamp MakeFileStamp(std::time_t modified, std::uint64_t size);
// A stamp's time ("yymmddhhmmss") as the lists show it: "yy-mm-dd,hh:mm:ss".
std::string StampDisplayText(std::string_view digits);
// The stamp of the file at `path`; nothing when its status can't be taken.
std::optional<FileStamp> ReadFileStamp(const std::string& path);

// ---- Pages ------------------------------------------------------------------------------

inline constexpr std::size_t kPageSize = 256;
inline constexpr std::size_t kPageTextLength = 2 * kPageSize;  // 512 hex characters
// Data must lie in pages 1 to 0xFFFF: page 0 never gets a page of its own (the current page
// starts there) and page numbers travel as 16 bits.
inline constexpr std::uint32_t kLowestDataAddress = 0x100;
inline constexpr std::uint32_t kAddressLimit = 0x1000000;
inline constexpr std::uint32_t kMaxPageCount = 0xFFFF;

// The two ways a page record carries its page number, fixed by its consumer.
enum class PageNumberEncoding {
  LowByteFirst,  // load-record file: 2 bytes + 512 characters
  Hex4,          // firmware update: "%04X" + 512 characters
};
std::size_t PageRecordSize(PageNumberEncoding encoding);

// One page of an image: its number and its 256 bytes as 512 hex characters, in the case the
// file used; a byte no record supplies reads "FF".
struct PageRecord {
  std::uint16_t page = 0;
  std::string text;
  friend bool operator==(const PageRecord&, const PageRecord&) = default;
};
// Appends the record (number, then text) in the given encoding.
void AppendPageRecord(std::string& out, std::uint16_t page, std::string_view text, PageNumberEncoding encoding);
std::string EncodePageRecord(const PageRecord& record, PageNumberEncoding encoding);

// 512 hex characters (either case) to 256 bytes; nothing for another length or a character
// that is not a hex digit (a damaged load-record file).
std::optional<std::array<std::uint8_t, kPageSize>> DecodePageText(std::string_view text);

// Where a conversion puts its pages: begin a page, then hex characters until it holds 512.
class PageSink {
public:
  virtual ~PageSink() = default;
  virtual void beginPage(std::uint16_t page) = 0;
  virtual void append(std::string_view hexCharacters) = 0;
};

// Collects the page list in memory (tests, the firmware update, the command line).
class TextPageSink final : public PageSink {
public:
  void beginPage(std::uint16_t page) override;
  void append(std::string_view hexCharacters) override;

  const std::vector<PageRecord>& pages() const { return pages_; }
  // The whole list as one text in the given encoding.
  std::string encoded(PageNumberEncoding encoding) const;

private:
  std::vector<PageRecord> pages_;
};

// ---- Checking and converting ------------------------------------------------------------

// The result of a check or a conversion. On failure `message` is the full text to show,
// naming the line when one line is at fault (`line`, counted from 1; 0 for the whole file),
// and nothing has been passed to the sink.
struct ConvertResult {
  bool ok = false;
  std::uint32_t pageCount = 0;
  std::size_t line = 0;
  std::string message;
};

// A run of data bytes at an address, given as hex text (two characters a byte). The S-record
// reader makes one per data record, pointing into the file's text; other formats (the command
// line's Intel HEX and binary input) make them from their own bytes, so every input reaches
// the programmer through the same page model. `line` names the source line in messages
// (0: none).
struct DataSpan {
  std::uint32_t address = 0;
  std::uint32_t length = 0;  // bytes; the text holds 2 * length characters
  const char* hex = nullptr;
  std::size_t line = 0;
};

// Turns spans into pages. Spans are taken in address order (a stable sort, only when they
// are not in order already); overlapping spans, data below 0x100 or at or above 0x1000000,
// and more than 0xFFFF pages are refused. Then the page rules step by step: a page is
// opened by the first byte that falls into it, bytes no span supplies read "FF", a span
// that ends exactly at a page end opens no further page, and the last page is completed.
// `spans` may be reordered.
ConvertResult ConvertSpansToPages(std::vector<DataSpan>& spans, PageSink& sink);

// The data records of a file's text (every line after the first): S1, S2 and S3, with an
// address of 2, 3 or 4 bytes. Each is checked: count, address, data and checksum fields
// must be hex digits, the count must cover the address and the checksum and match the
// line's length, and the checksum must be the ones' complement of the low byte of the sum
// of the count, address and data bytes (a corrupted line never reaches a target). Other
// lines are only checked for what the conversion reads, their type character; blank lines at
// the end are ignored. Fails with the line at fault.
struct RecordScan {
  ConvertResult result;       // ok, or the first fault
  std::vector<DataSpan> spans;  // point into the scanned text
};
RecordScan ScanDataRecords(std::string_view fileText);

// Conversion (`ConvertToPages`): the lines after the first line of the file's text into the
// page list, passed to the sink. Returns the page count, or the fault with nothing emitted.
ConvertResult ConvertToPages(std::string_view fileText, PageSink& sink);

// Everything the conversion would refuse, found without keeping a page: what a file choice
// tests so that a bad file is turned away before anything is sent. Gives the page count.
ConvertResult CheckDataRecords(std::string_view fileText);

// The page numbers of an image, in the order they are begun (the tests of a file choice).
class PageNumberSink final : public PageSink {
public:
  void beginPage(std::uint16_t page) override { pages_.push_back(page); }
  void append(std::string_view) override {}
  const std::vector<std::uint16_t>& pages() const { return pages_; }

private:
  std::vector<std::uint16_t> pages_;
};

// ---- The tests of a chosen file ---------------------------------------------------------

// The "S0" test: the first line begins with exactly "S0" (upper-case S, digit zero).
bool HasHeaderLine(std::string_view fileText);

// The memory-map test: every page lies whole inside the product's data flash or its user
// flash (half-open ranges; a range whose end is not above its start holds nothing). A page
// goes to the target whole, "FF" filling what the file leaves out, so the page and not
// only its data must fit. Gives the first page that does not, or nothing when all fit.
bool PageInMemoryMap(std::uint16_t page, const MemoryMap& map);
std::optional<std::uint16_t> FirstPageOutside(const std::vector<std::uint16_t>& pages, const MemoryMap& map);

// The texts of the file tests.
inline constexpr const char* kCannotOpenFileText = "Can not open selected file!";
inline constexpr const char* kNotMotFileText = "Selected file is not mot file.";
inline constexpr const char* kOutOfMemoryMapText = "Selected file is out of MCU memory map!";
// A file that gives no page at all (a header alone, only non-data records) is never
// "loaded": a production line would program nothing and be told it succeeded.
inline constexpr const char* kNoDataText = "Selected file holds no data to program!";

// Largest image file read whole. A full 24-bit image as S2 records of 32 bytes is about
// 40 MB; this leaves room for short records without letting a wrong choice eat the memory.
inline constexpr std::uint64_t kImageFileLimit = 256ull * 1024 * 1024;

// Reads a whole image file. False, with `error` set, when it can't be read completely.
bool ReadImageFile(const std::string& path, std::string& text, std::string& error);

}  // namespace fd
