#include "formats/DeviceDatabase.h"

#include <algorithm>
#include <fstream>

#include "formats/Hex.h"

namespace fd {

namespace {

using namespace mcufile;

// Calls `visit` with every product line of the file, in file order, until it returns
// false. The line end (CR LF or LF) is not part of a line; a line that does not begin
// with ':' is no product line. False when the file could not be opened or read.
template <typename Visit>
bool ScanProductLines(const std::string& path, Visit visit) {
  // Binary, so a CR LF file reads the same on every OS; the CR is dropped here.
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line.front() != kProductMark) continue;
    if (!visit(std::string_view(line))) return true;
  }
  // A folder opens but cannot be read: that is a missing file too.
  return !in.bad();
}

template <typename T>
DeviceDbResult<T> Missing() {
  DeviceDbResult<T> result;
  result.error = kMcuFileMissingText;
  return result;
}

// Descriptor i of a line, cut short where the line ends; empty when the line has no text
// left at its first column.
std::string_view LineDescriptor(std::string_view line, std::size_t i) {
  return LineField(line, kDescriptors + kDescriptorWidth * i, kDescriptorWidth);
}

// The character at `index`, or 0 where the text has ended.
char CharAt(std::string_view text, std::size_t index) { return index < text.size() ? text[index] : '\0'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// Block names whose second character is "A" or above name data-flash blocks.
bool IsDataMark(char c) { return static_cast<unsigned char>(c) >= static_cast<unsigned char>('A'); }

void PutEntry(InfoBlockBytes& info, std::size_t k, std::uint64_t page) {
  info[kInfoBlockTable + 2 * k] = static_cast<std::uint8_t>(page);
  info[kInfoBlockTable + 2 * k + 1] = static_cast<std::uint8_t>(page >> 8);
}

}  // namespace

// --- Helpers ---------------------------------------------------------------------------

std::string_view LineField(std::string_view line, std::size_t column, std::size_t width) {
  if (column >= line.size()) return {};
  return line.substr(column, width);
}

std::string FitText(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

std::string_view TrimTrailingSpaces(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

std::uint64_t ParseDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  std::uint64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
  return value;
}

std::string BlockDisplayName(std::string_view id) {
  const std::string_view name = id.substr(0, kBlockNameWidth);
  if (!name.empty() && name.front() == '0') return "Block " + std::string(name.substr(1));
  return "Block " + std::string(name);
}

BlockKind BlockKindOf(std::string_view id) {
  if (id.size() < kBlockNameWidth) return BlockKind::kOther;
  if (IsDigit(id[1])) return BlockKind::kUser;
  if (IsDataMark(id[1])) return BlockKind::kData;
  return BlockKind::kOther;
}

std::uint64_t BlockStartAddress(const BlockRow& row) {
  return ParseHex(LineField(row.address, 2, kBlockAddressWidth));
}

std::uint64_t BlockPageNumber(const BlockRow& row) {
  return ParseHex(LineField(row.address, 2, kBlockPageWidth));
}

// --- Operations on the file ------------------------------------------------------------

DeviceDbResult<ProductTree> ReadProductTree(const std::string& path) {
  DeviceDbResult<ProductTree> result;
  std::string lastSeries;
  std::string lastGroup;  // kept across a series boundary
  const bool read = ScanProductLines(path, [&](std::string_view line) {
    const std::string_view series = LineField(line, kSeries, kSeriesWidth);
    if (series != lastSeries) {
      result.value.push_back({std::string(series), {}});
      lastSeries = series;
    }
    const std::string_view group = LineField(line, kGroup, kGroupWidth);
    // A line with a group field has a full series field, so a root is always there.
    if (group != lastGroup && !result.value.empty()) {
      result.value.back().groups.emplace_back(group);
      lastGroup = group;
    }
    return true;
  });
  if (!read) return Missing<ProductTree>();
  return result;
}

DeviceDbResult<GroupProducts> ListGroupProducts(const std::string& path, std::string_view node) {
  DeviceDbResult<GroupProducts> result;
  const bool read = ScanProductLines(path, [&](std::string_view line) {
    // The series test comes first on every line.
    if (LineField(line, kSeries, kSeriesWidth) == node) {
      result.value.isSeries = true;
      return false;
    }
    if (LineField(line, kGroup, kGroupWidth) == node) {
      result.value.rows.push_back({std::string(LineField(line, kProduct, kProductWidth)),
                                   std::string(LineField(line, kMemory, kMemoryWidth))});
    }
    return true;
  });
  if (!read) return Missing<GroupProducts>();
  return result;
}

DeviceDbResult<std::optional<std::string>> FindProductLine(const std::string& path, std::string_view product) {
  DeviceDbResult<std::optional<std::string>> result;
  const bool read = ScanProductLines(path, [&](std::string_view line) {
    if (LineField(line, kProduct, kProductWidth) != product) return true;
    result.value = std::string(line);
    return false;
  });
  if (!read) return Missing<std::optional<std::string>>();
  return result;
}

// --- Operations on a product line ------------------------------------------------------

ProductMemory DeriveMemoryMap(std::string_view line, std::uint32_t userFlashStartBefore) {
  ProductMemory out;
  out.typeCode = CharAt(line, kTypeCode);
  const std::string_view memory = LineField(line, kMemory, kMemoryWidth);
  const std::size_t k = memory.find('K');
  const std::uint64_t userKiB = k == std::string_view::npos ? 0 : ParseDecimal(memory.substr(0, k));
  const auto userBytes = static_cast<std::uint32_t>(userKiB * 1024);
  MemoryMap& map = out.map;
  map.userFlashStart = userFlashStartBefore;
  map.userFlashEnd = userBytes;

  const std::size_t plus = memory.find('+');
  if (plus != std::string_view::npos && plus > 0) {
    // ParseDecimal stops at the "K" that ends the number.
    const std::uint64_t dataKiB = ParseDecimal(memory.substr(plus + 1));
    // Columns 54 to 58 even when the first descriptor is a user block.
    map.dataFlashStart = static_cast<std::uint32_t>(ParseHex(LineField(line, kDataFlashStart, kBlockAddressWidth)));
    map.dataFlashEnd = map.dataFlashStart + static_cast<std::uint32_t>(dataKiB * 1024);
  }

  // Every descriptor the line holds, whatever the block count says.
  for (std::size_t i = 0;; ++i) {
    const std::string_view d = LineDescriptor(line, i);
    if (d.empty()) break;
    if (!IsDigit(CharAt(d, kBlockName + 1))) continue;
    map.userFlashStart = static_cast<std::uint32_t>(ParseHex(LineField(d, kBlockAddress, kBlockAddressWidth)));
    map.userFlashEnd = map.userFlashStart + userBytes;
    break;
  }
  return out;
}

void BuildInfoBlockTable(std::string_view line, InfoBlockBytes& info) {
  info[kInfoTypeCode] = static_cast<std::uint8_t>(CharAt(line, kTypeCode));
  // A product field the line cuts short is filled up with spaces, as names are.
  const std::string name = FitText(LineField(line, kProduct, kProductWidth), kProductWidth);
  std::copy(name.begin(), name.end(), info.begin() + kInfoMcuName);
  std::fill(info.begin() + kInfoBlockTable, info.begin() + kInfoBlockTable + 2 * kInfoBlockEntries, 0xFF);

  // The data blocks, then the first block that is none: the lowest user block. The block
  // count is not used, and the table's 17 entries are never overrun.
  std::size_t k = 0;
  for (; k < kInfoBlockEntries; ++k) {
    const std::string_view d = LineDescriptor(line, k);
    if (d.empty()) return;  // the line has no block left to enter
    const std::uint64_t page = ParseHex(LineField(d, kBlockPage, kBlockPageWidth));
    PutEntry(info, k, page);
    if (!IsDataMark(CharAt(d, kBlockName + 1))) return;
  }
}

std::vector<BlockRow> ListBlocks(std::string_view line) {
  std::vector<BlockRow> rows;
  const std::uint64_t count = ParseHex(LineField(line, kBlockCount, kBlockCountWidth));
  if (count == kParseHexInvalid) return rows;
  // Never more rows than the line holds descriptors.
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::string_view d = LineDescriptor(line, static_cast<std::size_t>(i));
    if (d.empty()) break;
    const std::string_view id = LineField(d, kBlockName, kBlockNameWidth);
    rows.push_back({std::string(id), BlockDisplayName(id),
                    "0x" + std::string(LineField(d, kBlockAddress, kBlockAddressWidth)),
                    std::string(LineField(d, kBlockSize, kBlockSizeWidth))});
  }
  return rows;
}

// --- Looked up by product --------------------------------------------------------------

DeviceDbResult<std::optional<ProductMemory>> ProductMemoryMap(const std::string& path, std::string_view product,
                                                              std::uint32_t userFlashStartBefore) {
  const auto found = FindProductLine(path, product);
  DeviceDbResult<std::optional<ProductMemory>> result;
  result.error = found.error;
  if (found.value) result.value = DeriveMemoryMap(*found.value, userFlashStartBefore);
  return result;
}

DeviceDbResult<bool> ProductInfoBlockTable(const std::string& path, std::string_view product,
                                           InfoBlockBytes& info) {
  const auto found = FindProductLine(path, product);
  DeviceDbResult<bool> result;
  result.error = found.error;
  if (found.value) BuildInfoBlockTable(*found.value, info);
  result.value = found.value.has_value();
  return result;
}

DeviceDbResult<std::optional<std::vector<BlockRow>>> ProductBlocks(const std::string& path,
                                                                   std::string_view product) {
  const auto found = FindProductLine(path, product);
  DeviceDbResult<std::optional<std::vector<BlockRow>>> result;
  result.error = found.error;
  if (found.value) result.value = ListBlocks(*found.value);
  return result;
}

}  // namespace fd
