#pragma once
#include <algorithm>
// Building S-record and Intel HEX texts for tests, record by record, with correct counts and
// checksums unless a test asks for a wrong one; and the expected texts of pages.
#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "formats/SRecord.h"

namespace fd {
// Page records in failure messages: the number in hex and the text.
inline void PrintTo(const PageRecord& record, std::ostream* os) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  *os << "page " << kDigits[record.page >> 12] << kDigits[(record.page >> 8) & 0xF] << kDigits[(record.page >> 4) & 0xF]
      << kDigits[record.page & 0xF] << " \"" << record.text << "\" (" << record.text.size() << " characters)";
}
}  // namespace fd

namespace fd::test {

using Bytes = std::vector<std::uint8_t>;

inline std::string HexOf(const Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0xF]);
  }
  return text;
}

// A record of type `type` with an address of `addressBytes` bytes; the checksum is the
// ones' complement of the low byte of the sum, plus `checksumError`.
inline std::string SRecordLine(char type, int addressBytes, std::uint32_t address, const Bytes& data,
                               int checksumError = 0) {
  Bytes body;
  body.push_back(static_cast<std::uint8_t>(addressBytes + data.size() + 1));
  for (int i = addressBytes - 1; i >= 0; --i) body.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
  body.insert(body.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::uint8_t b : body) sum += b;
  body.push_back(static_cast<std::uint8_t>(~sum + checksumError));
  return std::string("S") + type + HexOf(body);
}
inline std::string S1(std::uint32_t address, const Bytes& data) { return SRecordLine('1', 2, address, data); }
inline std::string S2(std::uint32_t address, const Bytes& data, int checksumError = 0) {
  return SRecordLine('2', 3, address, data, checksumError);
}
inline std::string S3(std::uint32_t address, const Bytes& data) { return SRecordLine('3', 4, address, data); }
inline const std::string kHeader = "S00600004844521B";  // "HDR", as srec_cat writes it
inline const std::string kS9 = "S9030000FC";
inline const std::string kS8 = "S804000000FB";
inline const std::string kS7 = "S70500000000FA";

// A file: the header, then the lines, each ended with `end` (the last one too unless
// `endLast` is false).
inline std::string SFile(const std::vector<std::string>& lines, const std::string& end = "\r\n", bool endLast = true) {
  std::string text = kHeader + end;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size() || endLast) text += end;
  }
  return text;
}

// `count` bytes of a fixed pseudo-random sequence.
// `bytes` at `base` as S2 records of `perLine` bytes each, then S9: an image file as a
// linker writes one.
inline std::string S2Image(std::uint32_t base, const Bytes& bytes, std::size_t perLine = 32) {
  std::vector<std::string> records;
  for (std::size_t at = 0; at < bytes.size(); at += perLine) {
    records.push_back(S2(base + static_cast<std::uint32_t>(at),
                         Bytes(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + perLine))));
  }
  records.push_back("S9030000FC");
  return SFile(records);
}

inline Bytes RandomBytes(std::size_t count, unsigned seed = 1) {
  std::mt19937 generator(seed);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(generator() & 0xFF);
  return bytes;
}
inline Bytes Filled(std::size_t count, std::uint8_t value) { return Bytes(count, value); }
inline Bytes Counting(std::size_t count, std::uint8_t first = 0) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

// A page's 512 characters: "FF" except the given runs (offset, bytes).
inline std::string PageText(std::initializer_list<std::pair<std::size_t, Bytes>> runs) {
  std::string text(512, 'F');
  for (const auto& [offset, bytes] : runs) text.replace(2 * offset, 2 * bytes.size(), HexOf(bytes));
  return text;
}

// The page list that `bytes` placed at `base` must give: each page the data touch, in
// ascending order, upper-case, "FF" around the data.
inline std::vector<PageRecord> ExpectedPages(std::uint32_t base, const Bytes& bytes) {
  std::vector<PageRecord> pages;
  if (bytes.empty()) return pages;
  const std::uint32_t end = base + static_cast<std::uint32_t>(bytes.size());
  for (std::uint32_t page = base >> 8; page <= (end - 1) >> 8; ++page) {
    std::string text(512, 'F');
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t address = page * 256 + i;
      if (address >= base && address < end) text.replace(2 * i, 2, HexOf({bytes[address - base]}));
    }
    pages.push_back(PageRecord{static_cast<std::uint16_t>(page), text});
  }
  return pages;
}

// An Intel HEX record ":LLAAAATT...CC".
inline std::string IntelLine(std::uint8_t type, std::uint16_t address, const Bytes& data) {
  Bytes body;
  body.push_back(static_cast<std::uint8_t>(data.size()));
  body.push_back(static_cast<std::uint8_t>(address >> 8));
  body.push_back(static_cast<std::uint8_t>(address & 0xFF));
  body.push_back(type);
  body.insert(body.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::uint8_t b : body) sum += b;
  body.push_back(static_cast<std::uint8_t>(0x100 - (sum & 0xFF)));
  return ":" + HexOf(body);
}

}  // namespace fd::test
