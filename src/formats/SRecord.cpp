#include "formats/SRecord.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "formats/FileIo.h"
#include "formats/Hex.h"

namespace fd {
namespace {

// Every page number fits the 16 bits the programmer takes, and so does the page count.
static_assert((kAddressLimit >> 8) - (kLowestDataAddress >> 8) <= kMaxPageCount);

inline int Digit(char c) { return HexDigitValue(c); }

// The value of `digits` hex characters at `p`, or -1 when one of them is not a hex digit.
long HexNumber(const char* p, int digits) {
  long value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = Digit(p[i]);
    if (d < 0) return -1;
    value = value * 16 + d;
  }
  return value;
}

bool AllHex(const char* p, std::size_t count) { return IsAllHex(std::string_view(p, count)); }

bool IsBlank(std::string_view line) {
  for (char c : line) {
    if (c != ' ' && c != '\t' && c != '\r' && c != '\f' && c != '\v') return false;
  }
  return true;
}

// Lines of a text, the line end (LF or CR LF) not part of the line.
class LineReader {
public:
  explicit LineReader(std::string_view text) : text_(text) {}
  bool next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    const char* start = text_.data() + pos_;
    const void* nl = std::memchr(start, '\n', text_.size() - pos_);
    std::size_t length = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - start) : text_.size() - pos_;
    pos_ += length + (nl ? 1 : 0);
    if (length > 0 && start[length - 1] == '\r') --length;
    line = std::string_view(start, length);
    ++number_;
    return true;
  }
  std::size_t number() const { return number_; }

private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t number_ = 0;
};

ConvertResult Fault(std::size_t line, const std::string& reason) {
  ConvertResult result;
  result.line = line;
  result.message = "Selected file has a bad record in line " + std::to_string(line) + ": " + reason + ".";
  return result;
}

ConvertResult SpanFault(const DataSpan& span, const std::string& reason) {
  if (span.line != 0) return Fault(span.line, reason);
  ConvertResult result;
  result.message = "The image has data at 0x" + HexText(span.address, 6) + ": " + reason + ".";
  return result;
}

// 512 "F" characters: every run of unsupplied bytes is a slice of this.
constexpr std::size_t kFillChunk = kPageTextLength;
struct FillText {
  char text[kFillChunk];
  constexpr FillText() : text() {
    for (char& c : text) c = 'F';
  }
};
constexpr FillText kFill;

// The conversion state: current page C, fill position F, page count N. `open` says page C
// is begun and not yet complete; with F = 0 standing for both a fresh page and a completed
// one, a non-data line inside a page could close it twice and overfill its record.
class PageEmitter {
public:
  explicit PageEmitter(PageSink& sink) : sink_(sink) {}

  void put(const DataSpan& span) {
    const std::uint32_t page = span.address >> 8;
    const std::uint32_t offset = span.address & 0xFF;
    if (page > current_) {
      complete();
      open(page);
      fill(offset);
    } else if (page < current_ || !open_) {
      // Only an empty span can land here (inside data already placed): sorted spans that
      // hold data never overlap. It adds nothing.
      return;
    } else if (fill_ < offset) {
      fill(offset - fill_);
    }
    const char* data = span.hex;
    std::uint32_t left = span.length;
    while (left > 0) {
      const std::uint32_t take = std::min<std::uint32_t>(left, static_cast<std::uint32_t>(kPageSize) - fill_);
      sink_.append(std::string_view(data, 2 * static_cast<std::size_t>(take)));
      data += 2 * static_cast<std::size_t>(take);
      left -= take;
      fill_ += take;
      if (fill_ == kPageSize) {
        // A span that ends exactly at a page end opens no further page.
        fill_ = 0;
        open_ = false;
        if (left > 0) open(current_ + 1);
      }
    }
  }

  // Completes the open page with "FF".
  void complete() {
    if (!open_) return;
    emitFill(kPageSize - fill_);
    fill_ = 0;
    open_ = false;
  }

  std::uint32_t count() const { return count_; }

private:
  void open(std::uint32_t page) {
    ++count_;
    current_ = page;
    open_ = true;
    sink_.beginPage(static_cast<std::uint16_t>(page));
  }
  void fill(std::uint32_t bytes) {
    emitFill(bytes);
    fill_ += bytes;
  }
  void emitFill(std::size_t bytes) {
    while (bytes > 0) {
      const std::size_t take = std::min(bytes, kFillChunk / 2);
      sink_.append(std::string_view(kFill.text, 2 * take));
      bytes -= take;
    }
  }

  PageSink& sink_;
  std::uint32_t current_ = 0;
  std::uint32_t fill_ = 0;
  std::uint32_t count_ = 0;
  bool open_ = false;
};

}  // namespace

// ---- File stamp -------------------------------------------------------------------------

FileStamp MakeFileStamp(std::time_t modified, std::uint64_t size) {
  FileStamp stamp;
  std::tm local{};
  char text[32] = {};
  if (::localtime_r(&modified, &local) && std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local) >= 2) {
    stamp.time = std::string(text + 2);
  }
  stamp.time.resize(kStampTimeLength, '0');
  stamp.size = static_cast<std::uint32_t>(size);
  return stamp;
}

std::string StampDisplayText(std::string_view digits) {
  std::string d(digits.substr(0, kStampTimeLength));
  d.resize(kStampTimeLength, ' ');
  return d.substr(0, 2) + "-" + d.substr(2, 2) + "-" + d.substr(4, 2) + "," + d.substr(6, 2) + ":" + d.substr(8, 2) +
         ":" + d.substr(10, 2);
}

std::optional<FileStamp> ReadFileStamp(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return MakeFileStamp(status.st_mtime, static_cast<std::uint64_t>(status.st_size));
}

// ---- Pages ------------------------------------------------------------------------------

std::size_t PageRecordSize(PageNumberEncoding encoding) {
  return (encoding == PageNumberEncoding::LowByteFirst ? 2 : 4) + kPageTextLength;
}

void AppendPageRecord(std::string& out, std::uint16_t page, std::string_view text, PageNumberEncoding encoding) {
  if (encoding == PageNumberEncoding::LowByteFirst) {
    out.push_back(static_cast<char>(page & 0xFF));
    out.push_back(static_cast<char>(page >> 8));
  } else {
    out += HexText(page, 4);
  }
  out += text;
}

std::string EncodePageRecord(const PageRecord& record, PageNumberEncoding encoding) {
  std::string out;
  out.reserve(PageRecordSize(encoding));
  AppendPageRecord(out, record.page, record.text, encoding);
  return out;
}

std::optional<std::array<std::uint8_t, kPageSize>> DecodePageText(std::string_view text) {
  std::array<std::uint8_t, kPageSize> bytes{};
  if (!ParseHexBytes(text, bytes.data(), bytes.size())) return std::nullopt;
  return bytes;
}

void TextPageSink::beginPage(std::uint16_t page) {
  pages_.push_back(PageRecord{page, {}});
  pages_.back().text.reserve(kPageTextLength);
}

void TextPageSink::append(std::string_view hexCharacters) {
  // Characters before any page would belong to none; the converter never sends them.
  if (!pages_.empty()) pages_.back().text += hexCharacters;
}

std::string TextPageSink::encoded(PageNumberEncoding encoding) const {
  std::string out;
  out.reserve(pages_.size() * PageRecordSize(encoding));
  for (const PageRecord& record : pages_) AppendPageRecord(out, record.page, record.text, encoding);
  return out;
}

// ---- Checking and converting ------------------------------------------------------------

ConvertResult ConvertSpansToPages(std::vector<DataSpan>& spans, PageSink& sink) {
  // Range first, in the order given, so the message names the first line at fault.
  for (const DataSpan& span : spans) {
    if (span.length == 0) continue;
    if (span.address < kLowestDataAddress) return SpanFault(span, "its data lies below address 0x100 (page 0)");
    if (static_cast<std::uint64_t>(span.address) + span.length > kAddressLimit)
      return SpanFault(span, "its data reaches address 0x1000000 or above");
  }
  // Records out of order are taken in address order: the file loads what its sorted twin
  // loads. Equal addresses keep their file order.
  const auto byAddress = [](const DataSpan& a, const DataSpan& b) { return a.address < b.address; };
  if (!std::is_sorted(spans.begin(), spans.end(), byAddress)) std::stable_sort(spans.begin(), spans.end(), byAddress);

  const DataSpan* reach = nullptr;  // the span with data that ends highest so far
  std::uint64_t reachEnd = 0;
  for (const DataSpan& span : spans) {
    if (span.length == 0) continue;
    if (reach && span.address < reachEnd) {
      ConvertResult result;
      if (span.line != 0 && reach->line != 0) {
        result.line = span.line;
        result.message = "Selected file has overlapping records: line " + std::to_string(span.line) +
                         " overlaps line " + std::to_string(reach->line) + ".";
      } else {
        result.message = "The image has overlapping data at 0x" + HexText(span.address, 6) + ".";
      }
      return result;
    }
    const std::uint64_t end = static_cast<std::uint64_t>(span.address) + span.length;
    if (end > reachEnd) {
      reachEnd = end;
      reach = &span;
    }
  }

  PageEmitter emitter(sink);
  for (const DataSpan& span : spans) emitter.put(span);
  // The last page is completed even when no line follows the last data record.
  emitter.complete();
  ConvertResult result;
  result.ok = true;
  result.pageCount = emitter.count();
  return result;
}

RecordScan ScanDataRecords(std::string_view fileText) {
  RecordScan scan;
  // An S2 record of 16 data bytes takes 46 characters: a good first guess.
  scan.spans.reserve(fileText.size() / 40 + 1);
  LineReader lines(fileText);
  std::string_view line;
  lines.next(line);  // the header line: its contents are not used
  std::size_t blankSince = 0;  // the first of the blank lines met since the last record
  while (lines.next(line)) {
    const std::size_t number = lines.number();
    if (IsBlank(line)) {
      if (blankSince == 0) blankSince = number;
      continue;
    }
    if (blankSince != 0) {
      scan.result = Fault(blankSince, "the line is empty");
      return scan;
    }
    if (line.size() < 2) {
      scan.result = Fault(number, "the line is too short to be a record");
      return scan;
    }
    // Data records by the size of their address: S1 2 bytes, S2 3, S3 4.
    const int addressBytes = line[1] == '1' ? 2 : line[1] == '2' ? 3 : line[1] == '3' ? 4 : 0;
    if (addressBytes == 0) continue;  // not a data record: only its type is read
    if (line.size() < 4) {
      scan.result = Fault(number, "the line ends inside the count");
      return scan;
    }
    const long count = HexNumber(line.data() + 2, 2);
    if (count < 0) {
      scan.result = Fault(number, "the count is not a hex number");
      return scan;
    }
    if (count < addressBytes + 1) {
      scan.result = Fault(number, "the count " + HexText(static_cast<std::uint64_t>(count), 2) + " is below " +
                                      std::to_string(addressBytes + 1) + " (" + std::to_string(addressBytes) +
                                      " address bytes and the checksum)");
      return scan;
    }
    if (line.size() != 4 + 2 * static_cast<std::size_t>(count)) {
      scan.result = Fault(number, "the count " + HexText(static_cast<std::uint64_t>(count), 2) + " gives " +
                                      std::to_string(4 + 2 * count) + " characters, the line has " +
                                      std::to_string(line.size()));
      return scan;
    }
    const long address = HexNumber(line.data() + 4, 2 * addressBytes);
    if (address < 0) {
      scan.result = Fault(number, "the address is not a hex number");
      return scan;
    }
    const std::size_t dataAt = 4 + 2 * static_cast<std::size_t>(addressBytes);
    const std::size_t length = static_cast<std::size_t>(count) - static_cast<std::size_t>(addressBytes) - 1;
    if (!AllHex(line.data() + dataAt, 2 * length)) {
      scan.result = Fault(number, "the data holds a character that is not a hex digit");
      return scan;
    }
    const long checksum = HexNumber(line.data() + dataAt + 2 * length, 2);
    if (checksum < 0) {
      scan.result = Fault(number, "the checksum is not a hex number");
      return scan;
    }
    unsigned sum = 0;
    for (std::size_t i = 2; i < dataAt + 2 * length; i += 2) sum += static_cast<unsigned>(HexNumber(line.data() + i, 2));
    const unsigned expected = ~sum & 0xFF;
    if (static_cast<unsigned>(checksum) != expected) {
      scan.result = Fault(number, "the checksum is " + HexText(static_cast<std::uint64_t>(checksum), 2) +
                                      ", the record's bytes give " + HexText(expected, 2));
      return scan;
    }
    if (address >= static_cast<long>(kAddressLimit)) {
      scan.result = Fault(number, "its data reaches address 0x1000000 or above");
      return scan;
    }
    scan.spans.push_back(DataSpan{static_cast<std::uint32_t>(address), static_cast<std::uint32_t>(length),
                                  line.data() + dataAt, number});
  }
  scan.result.ok = true;
  return scan;
}

ConvertResult ConvertToPages(std::string_view fileText, PageSink& sink) {
  RecordScan scan = ScanDataRecords(fileText);
  if (!scan.result.ok) return scan.result;
  return ConvertSpansToPages(scan.spans, sink);
}

ConvertResult CheckDataRecords(std::string_view fileText) {
  class NullSink final : public PageSink {
  public:
    void beginPage(std::uint16_t) override {}
    void append(std::string_view) override {}
  } sink;
  return ConvertToPages(fileText, sink);
}

// ---- The tests of a chosen file ---------------------------------------------------------

bool HasHeaderLine(std::string_view fileText) {
  return fileText.size() >= 2 && fileText[0] == 'S' && fileText[1] == '0';
}

bool PageInMemoryMap(std::uint16_t page, const MemoryMap& map) {
  const std::uint64_t start = std::uint64_t{page} << 8;
  return RangeInMemoryMap(start, start + kPageSize, map);
}

std::optional<std::uint16_t> FirstPageOutside(const std::vector<std::uint16_t>& pages, const MemoryMap& map) {
  for (std::uint16_t page : pages) {
    if (!PageInMemoryMap(page, map)) return page;
  }
  return std::nullopt;
}

bool ReadImageFile(const std::string& path, std::string& text, std::string& error) {
  const FileResult outcome = FileIo::readAll(path, text, kImageFileLimit);
  error = outcome.error;
  return outcome.ok;
}

}  // namespace fd
