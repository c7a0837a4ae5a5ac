#pragma once
// The device database MCUType.mcu: the products the programmer supports, in series and
// groups, one fixed-column text line each. The reader keeps nothing: every operation that
// needs the file opens it, scans it from the first line and closes it before it returns,
// so an edited file counts from the next operation on. It shows nothing either; an
// operation that could not read the file says so in its result, and the window decides
// what to show.
//
// Line-level operations (DeriveMemoryMap, BuildInfoBlockTable, ListBlocks) work on a line
// that FindProductLine returned; the Product... forms do both in one opening of the file.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/MemoryMap.h"

namespace fd {

// Columns of a product line (counted from 0) and their widths.
namespace mcufile {
inline constexpr char kProductMark = ':';
inline constexpr std::size_t kTypeCode = 1;
inline constexpr std::size_t kSeries = 3;
inline constexpr std::size_t kSeriesWidth = 10;
inline constexpr std::size_t kGroup = 13;
inline constexpr std::size_t kGroupWidth = 10;
inline constexpr std::size_t kProduct = 23;
inline constexpr std::size_t kProductWidth = 12;
inline constexpr std::size_t kMemory = 35;
inline constexpr std::size_t kMemoryWidth = 8;
inline constexpr std::size_t kBlockCount = 43;
inline constexpr std::size_t kBlockCountWidth = 2;
inline constexpr std::size_t kDescriptors = 46;
inline constexpr std::size_t kDescriptorWidth = 14;
// Inside a block descriptor.
inline constexpr std::size_t kBlockName = 0;
inline constexpr std::size_t kBlockNameWidth = 2;
inline constexpr std::size_t kBlockSize = 3;
inline constexpr std::size_t kBlockSizeWidth = 4;
inline constexpr std::size_t kBlockAddress = 8;
inline constexpr std::size_t kBlockAddressWidth = 5;
inline constexpr std::size_t kBlockPage = 8;       // the address's first three digits
inline constexpr std::size_t kBlockPageWidth = 3;
// Columns 54 to 58: the first descriptor's address, where the data flash starts.
inline constexpr std::size_t kDataFlashStart = kDescriptors + kBlockAddress;
// The bytes of the programmer's information block that choosing a product fills.
inline constexpr std::size_t kInfoTypeCode = 0;
inline constexpr std::size_t kInfoMcuName = 9;
inline constexpr std::size_t kInfoBlockTable = 37;
inline constexpr std::size_t kInfoBlockEntries = 17;
}  // namespace mcufile

// The text every window shows (caption "ERROR") when the database cannot be read.
inline constexpr const char* kMcuFileMissingText = "Can not find MCU file!";

// The 89-byte information block of a programmer, as link's ProgrammerInfo holds it.
using InfoBlockBytes = std::array<std::uint8_t, 89>;

// What a file operation gives: its value, or the error text when the file could not be
// opened or read (then the value is what "nothing read" means: empty).
template <typename T>
struct DeviceDbResult {
  T value{};
  std::string error;
  bool ok() const { return error.empty(); }
};

// One root of the product tree: the series text and its group texts, in file order
// (each exactly as the file has it, trailing spaces included).
struct ProductSeries {
  std::string text;
  std::vector<std::string> groups;
  bool operator==(const ProductSeries&) const = default;
};
using ProductTree = std::vector<ProductSeries>;

// A row of the product list: the product field (12 characters) and the memory text (8).
struct ProductRow {
  std::string product;
  std::string memory;
  bool operator==(const ProductRow&) const = default;
};

struct GroupProducts {
  std::vector<ProductRow> rows;  // in file order
  bool isSeries = false;         // the node turned out to be a series
};


// What DeriveMemoryMap sets: the type code and the memory map.
struct ProductMemory {
  char typeCode = '\0';
  MemoryMap map;
  bool operator==(const ProductMemory&) const = default;
};

// A row of the Erase and Address Setting windows' block list.
struct BlockRow {
  std::string id;       // the two-character block name as written ("0A", "03", "12")
  std::string name;     // "Block A", "Block 3", "Block 12"
  std::string address;  // "0x" and the five address characters as written ("0x0F000")
  std::string size;     // the four-character size text as written ("4K  ")
  bool operator==(const BlockRow&) const = default;
};

enum class BlockKind { kUser, kData, kOther };

// --- The operations of the database -----------------------------------------------------

// Series and groups for the tree. A group that directly follows a group of the same text
// gets no node of its own, even across a series boundary.
DeviceDbResult<ProductTree> ReadProductTree(const std::string& path);

// The products of the group named `node` (a tree node's text, 10 characters), wherever
// its lines stand in the file; stops at the first line whose series field equals `node`
// and answers that the node is a series, with the rows found before it.
DeviceDbResult<GroupProducts> ListGroupProducts(const std::string& path, std::string_view node);

// The first product line whose product field equals `product` (12 characters: see
// ProductKey), without its line end; none when no line matches.
DeviceDbResult<std::optional<std::string>> FindProductLine(const std::string& path,
                                                           std::string_view product);

// The type code and memory map of a product line. `userFlashStartBefore` stays the user
// flash start when the line lists no user block (the end is then the user size alone).
ProductMemory DeriveMemoryMap(std::string_view line, std::uint32_t userFlashStartBefore);

// Fills bytes 0 (type code), 9 to 20 (product name) and 37 to 70 (block table: the data
// blocks then the first user block, as page numbers; the rest 0xFFFF) of `info`.
// Nothing else of the block changes and nothing is written past byte 70.
void BuildInfoBlockTable(std::string_view line, InfoBlockBytes& info);

// The rows of the first n descriptors, n the block count (none when it is not hex).
std::vector<BlockRow> ListBlocks(std::string_view line);

// The same three looked up by product in one opening of the file; the value is empty
// when no line matches (and then `info` is untouched).
DeviceDbResult<std::optional<ProductMemory>> ProductMemoryMap(const std::string& path, std::string_view product,
                                                              std::uint32_t userFlashStartBefore);
DeviceDbResult<bool> ProductInfoBlockTable(const std::string& path, std::string_view product,
                                           InfoBlockBytes& info);
DeviceDbResult<std::optional<std::vector<BlockRow>>> ProductBlocks(const std::string& path,
                                                                   std::string_view product);

// --- Helpers for the windows and the command line ---------------------------------------

// Text filled up with spaces and cut to `width` characters.
std::string FitText(std::string_view text, std::size_t width);
// A typed or stored product name as the lookups want it (12 characters).
inline std::string ProductKey(std::string_view name) { return FitText(name, mcufile::kProductWidth); }
// A typed series or group name as a tree node's text (10 characters).
inline std::string NodeKey(std::string_view name) { return FitText(name, mcufile::kSeriesWidth); }
// Text without its trailing spaces, for display.
std::string_view TrimTrailingSpaces(std::string_view text);

// The field of `line` at `column`, cut short where the line ends (empty past its end).
std::string_view LineField(std::string_view line, std::size_t column, std::size_t width);

// "Block " and the block name, its first character dropped when it is "0".
std::string BlockDisplayName(std::string_view id);
// By the name's second character: a digit is user flash, "A" or above data flash.
BlockKind BlockKindOf(std::string_view id);
// The start address and page number (start / 256) of a row, read from its address text.
std::uint64_t BlockStartAddress(const BlockRow& row);
std::uint64_t BlockPageNumber(const BlockRow& row);

// A decimal number: leading blanks skipped, it ends at the first non-digit; no digits, 0.
std::uint64_t ParseDecimal(std::string_view text);

}  // namespace fd
