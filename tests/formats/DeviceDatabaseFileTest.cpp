// The checker of our own device database, res/MCUType.mcu: the fixed-column format in its
// strict form, the rules our file keeps on top of it, the reader's view of it, and the
// demo bench's products against it. Failures name the line and the product.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/DeviceDatabase.h"
#include "formats/Hex.h"
#include "link/ProgrammerInfo.h"
#include "sim/SimBench.h"
#include "sim/SimClock.h"

namespace fd {
namespace {

const std::string kPath = std::string(FLASHDOCK_RES_DIR) + "/MCUType.mcu";

struct FileBlock {
  std::string id;
  std::uint32_t address = 0;
  std::uint32_t size = 0;  // bytes
  bool data = false;
};

struct FileProduct {
  int lineNumber = 0;
  std::string line;
  char type = 0;
  std::string series, group, name;  // as written, 10, 10 and 12 characters
  std::uint32_t userSize = 0, dataSize = 0;
  std::vector<FileBlock> blocks;
  std::uint32_t userStart = 0, dataStart = 0;
  std::string where() const { return "line " + std::to_string(lineNumber) + " (" + name + ")"; }
};

std::string ReadFile() {
  std::ifstream in(kPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool UpperHex(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
  });
}

// A text field: left-aligned, not empty, filled up with spaces, no space inside.
bool TextField(std::string_view field) {
  const std::string_view text = TrimTrailingSpaces(field);
  return !text.empty() && text.find(' ') == std::string_view::npos;
}

// The strict reading of one product line; every rule of the format that our file keeps.
FileProduct Parse(const std::string& line, int lineNumber) {
  FileProduct p;
  p.lineNumber = lineNumber;
  p.line = line;
  p.name = std::string(LineField(line, 23, 12));
  const std::string at = p.where();
  EXPECT_GE(line.size(), 46u + 13u) << at << ": too short for one block";
  if (line.size() < 46 + 13) return p;
  p.type = line[1];
  p.series = line.substr(3, 10);
  p.group = line.substr(13, 10);
  EXPECT_NE(p.type, ' ') << at;
  EXPECT_EQ(line[2], ' ') << at;
  EXPECT_EQ(line[45], ' ') << at;
  EXPECT_TRUE(TextField(p.series)) << at << ": series \"" << p.series << '"';
  EXPECT_TRUE(TextField(p.group)) << at << ": group \"" << p.group << '"';
  EXPECT_TRUE(TextField(p.name)) << at << ": product name";

  static const std::regex memory(R"(([1-9][0-9]*)K(\+([1-9][0-9]*)K)? *)");
  std::smatch m;
  const std::string memoryText = line.substr(35, 8);
  EXPECT_TRUE(std::regex_match(memoryText, m, memory)) << at << ": memory text \"" << memoryText << '"';
  if (m.empty()) return p;
  p.userSize = static_cast<std::uint32_t>(std::stoul(m[1].str())) * 1024;
  if (m[3].matched) p.dataSize = static_cast<std::uint32_t>(std::stoul(m[3].str())) * 1024;

  const std::string count = line.substr(43, 2);
  EXPECT_TRUE(UpperHex(count)) << at << ": block count \"" << count << '"';
  const std::uint64_t n = ParseHex(count);
  EXPECT_GE(n, 1u) << at;
  EXPECT_LE(n, 17u) << at;
  EXPECT_EQ(line.size(), 46 + 14 * n - 1) << at << ": the line holds exactly its " << n << " blocks";
  if (n > 17 || line.size() != 46 + 14 * n - 1) return p;

  static const std::regex size(R"(([1-9][0-9]*)K *)");
  char nextData = 'A';
  int nextUser = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string d = line.substr(46 + 14 * i, 13);
    const std::string bat = at + " block " + std::to_string(i);
    FileBlock b;
    b.id = d.substr(0, 2);
    EXPECT_EQ(d[2], ' ') << bat;
    EXPECT_EQ(d[7], ' ') << bat;
    if (i + 1 < n) {
      EXPECT_EQ(line[46 + 14 * i + 13], ' ') << bat;
    }
    b.data = b.id[0] == '0' && b.id[1] >= 'A' && b.id[1] <= 'P';
    if (b.data) {
      EXPECT_EQ(b.id[1], nextData) << bat << ": data blocks are 0A, 0B, ... in order";
      EXPECT_EQ(nextUser, 0) << bat << ": data blocks come first";
      ++nextData;
    } else {
      char expected[3];
      std::snprintf(expected, sizeof expected, "%02d", nextUser++);
      EXPECT_EQ(b.id, expected) << bat << ": user blocks are 00, 01, ... in order";
    }
    EXPECT_EQ(BlockKindOf(b.id), b.data ? BlockKind::kData : BlockKind::kUser) << bat;
    const std::string sizeText = d.substr(3, 4);
    std::smatch s;
    EXPECT_TRUE(std::regex_match(sizeText, s, size)) << bat << ": size \"" << sizeText << '"';
    if (!s.empty()) b.size = static_cast<std::uint32_t>(std::stoul(s[1].str())) * 1024;
    const std::string address = d.substr(8, 5);
    EXPECT_TRUE(UpperHex(address)) << bat << ": address \"" << address << '"';
    b.address = static_cast<std::uint32_t>(ParseHex(address));
    EXPECT_EQ(b.address % 256, 0u) << bat << ": a block starts a page";
    if (b.size != 0) {
      EXPECT_EQ(b.address % b.size, 0u) << bat << ": a block is aligned to its size";
    }
    EXPECT_LE(std::uint64_t{b.address} + b.size, 0x100000u) << bat << ": inside the 1M address space";
    p.blocks.push_back(b);
  }
  return p;
}

// The blocks of one kind cover [start, start + size) exactly, the first listed lowest.
void ExpectCover(const FileProduct& p, bool data, std::uint32_t size, std::uint32_t& start) {
  std::vector<FileBlock> blocks;
  for (const FileBlock& b : p.blocks) {
    if (b.data == data) blocks.push_back(b);
  }
  const char* kind = data ? "data" : "user";
  if (size == 0) {
    EXPECT_TRUE(blocks.empty()) << p.where() << ": " << kind << " blocks without their memory text";
    return;
  }
  ASSERT_FALSE(blocks.empty()) << p.where() << ": no " << kind << " block";
  start = blocks.front().address;
  std::sort(blocks.begin(), blocks.end(), [](const FileBlock& a, const FileBlock& b) { return a.address < b.address; });
  EXPECT_EQ(blocks.front().address, start) << p.where() << ": the first " << kind << " block listed is the lowest";
  std::uint32_t at = blocks.front().address;
  for (const FileBlock& b : blocks) {
    EXPECT_EQ(b.address, at) << p.where() << ": " << kind << " block " << b.id << " leaves a gap or overlaps";
    at = b.address + b.size;
  }
  EXPECT_EQ(at - start, size) << p.where() << ": the " << kind << " blocks add up to the memory text";
}

std::vector<FileProduct> Products() {
  std::vector<FileProduct> products;
  std::istringstream in(ReadFile());
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line[0] == ':') products.push_back(Parse(line, number));
  }
  return products;
}

TEST(DeviceDatabaseFile, IsPlainAsciiWithLfLineEnds) {
  const std::string text = ReadFile();
  ASSERT_FALSE(text.empty()) << kPath;
  EXPECT_EQ(text.back(), '\n');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "byte " << i << " is " << int(c);
  }
  // Comment lines: none that a careless edit could take for a hidden product.
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] != ':') {
      EXPECT_EQ(line[0], ';') << line;
    }
  }
}

TEST(DeviceDatabaseFile, EveryProductKeepsOurRules) {
  const std::vector<FileProduct> products = Products();
  for (const FileProduct& p : products) {
    if (p.blocks.empty()) continue;  // already reported
    std::uint32_t dataStart = 0, userStart = 0;
    ExpectCover(p, true, p.dataSize, dataStart);
    ExpectCover(p, false, p.userSize, userStart);
    const std::uint64_t dataEnd = std::uint64_t{dataStart} + p.dataSize;
    const std::uint64_t userEnd = std::uint64_t{userStart} + p.userSize;
    EXPECT_LE(std::count_if(p.blocks.begin(), p.blocks.end(), [](const FileBlock& b) { return b.data; }), 16)
        << p.where();
    if (p.dataSize != 0) {
      EXPECT_TRUE(p.blocks.front().data) << p.where() << ": with data flash the first block is data";
      EXPECT_TRUE(dataEnd <= userStart || userEnd <= dataStart) << p.where() << ": data and user flash overlap";
      EXPECT_NE(dataStart, 0u) << p.where() << ": a data flash at 0 would read as none";
    }
    if (p.type == '1') {
      EXPECT_LE(userEnd, 0x10000u) << p.where() << ": type 1 lies below 0x10000";
      EXPECT_LE(dataEnd, 0x10000u) << p.where() << ": type 1 lies below 0x10000";
    }
    // The ID page: 0x0FFF for type 3, a page ending in FF for every other.
    bool idPage = false;
    for (std::uint64_t page = userStart >> 8; page < (userEnd >> 8); ++page) {
      idPage = idPage || (p.type == '3' ? page == 0x0FFF : (page & 0xFF) == 0xFF);
    }
    EXPECT_TRUE(idPage) << p.where() << ": the user flash holds no ID page";
  }
}

TEST(DeviceDatabaseFile, HoldsAFamilyInSeriesAndGroups) {
  const std::vector<FileProduct> products = Products();
  EXPECT_GE(products.size(), 30u);
  std::set<std::string> names, types;
  std::map<std::string, std::string> seriesOfGroup;
  std::vector<std::string> seriesOrder;
  std::map<std::string, std::set<std::string>> groupsOfSeries;
  std::uint32_t smallest = ~0u, largest = 0;
  std::size_t withData = 0;
  std::string lastGroup;
  std::set<std::string> closedGroups;
  for (const FileProduct& p : products) {
    EXPECT_TRUE(names.insert(p.name).second) << p.where() << ": the name is taken";
    types.insert(std::string(1, p.type));
    if (seriesOrder.empty() || seriesOrder.back() != p.series) {
      EXPECT_EQ(std::count(seriesOrder.begin(), seriesOrder.end(), p.series), 0)
          << p.where() << ": a series comes back: a second root node";
      seriesOrder.push_back(p.series);
    }
    if (p.group != lastGroup) {
      EXPECT_EQ(closedGroups.count(p.group), 0u) << p.where() << ": a group comes back";
      if (!lastGroup.empty()) closedGroups.insert(lastGroup);
      lastGroup = p.group;
    }
    const auto [it, fresh] = seriesOfGroup.emplace(p.group, p.series);
    EXPECT_EQ(it->second, p.series) << p.where() << ": a group text in two series";
    groupsOfSeries[p.series].insert(p.group);
    smallest = std::min(smallest, p.userSize);
    largest = std::max(largest, p.userSize);
    if (p.dataSize != 0) ++withData;
  }
  EXPECT_GE(seriesOrder.size(), 3u);
  for (const auto& [series, groups] : groupsOfSeries) {
    EXPECT_GE(groups.size(), 2u) << series;
    EXPECT_EQ(seriesOfGroup.count(series), 0u) << series << " is a group too";
  }
  for (const char* type : {"1", "2", "3"}) EXPECT_EQ(types.count(type), 1u) << "type " << type;
  EXPECT_GT(types.size(), 3u) << "a type code besides 1, 2 and 3";
  EXPECT_EQ(smallest, 8u * 1024);
  EXPECT_EQ(largest, 512u * 1024);
  EXPECT_GT(2 * withData, products.size()) << "most products have data flash";
}

// The reader's view of the file agrees with the strict reading.
TEST(DeviceDatabaseFile, TheReaderSeesWhatTheFileSays) {
  const std::vector<FileProduct> products = Products();
  const auto tree = ReadProductTree(kPath);
  ASSERT_TRUE(tree.ok()) << kPath;
  std::vector<ProductSeries> expected;
  for (const FileProduct& p : products) {
    if (expected.empty() || expected.back().text != p.series) expected.push_back({p.series, {}});
    if (expected.back().groups.empty() || expected.back().groups.back() != p.group) expected.back().groups.push_back(p.group);
  }
  EXPECT_EQ(tree.value, expected);

  for (const ProductSeries& s : tree.value) {
    const auto series = ListGroupProducts(kPath, s.text);
    EXPECT_TRUE(series.value.isSeries) << s.text;
    EXPECT_TRUE(series.value.rows.empty()) << s.text;
    for (const std::string& g : s.groups) {
      const auto group = ListGroupProducts(kPath, g);
      EXPECT_FALSE(group.value.isSeries) << g;
      std::vector<ProductRow> rows;
      for (const FileProduct& p : products) {
        if (p.group == g) rows.push_back({p.name, p.line.substr(35, 8)});
      }
      EXPECT_EQ(group.value.rows, rows) << g;
      for (const ProductRow& r : group.value.rows) {
        EXPECT_LE(TrimTrailingSpaces(r.product).size(), 12u);
        EXPECT_EQ(ProductKey(TrimTrailingSpaces(r.product)), r.product) << "a typed name finds it";
      }
    }
  }

  for (const FileProduct& p : products) {
    if (p.blocks.empty()) continue;
    const auto found = FindProductLine(kPath, ProductKey(TrimTrailingSpaces(p.name)));
    ASSERT_TRUE(found.value) << p.where();
    EXPECT_EQ(*found.value, p.line);

    std::uint32_t userStart = 0, dataStart = 0;
    for (const FileBlock& b : p.blocks) {
      if (b.data && dataStart == 0) dataStart = b.address;
      if (!b.data && userStart == 0) userStart = b.address;
    }
    const ProductMemory memory = DeriveMemoryMap(p.line, 0x12345);
    EXPECT_EQ(memory.typeCode, p.type) << p.where();
    EXPECT_EQ(memory.map, (MemoryMap{dataStart, p.dataSize ? dataStart + p.dataSize : 0, userStart,
                                     userStart + p.userSize}))
        << p.where();

    ProgrammerInfo block;
    block.fill(0xA5);
    BuildInfoBlockTable(p.line, block);
    std::vector<std::uint16_t> entries, want;
    for (std::size_t k = 0; k < info::kBlockEntries; ++k) entries.push_back(InfoBlockEntry(block, k));
    for (const FileBlock& b : p.blocks) {
      want.push_back(static_cast<std::uint16_t>(b.address >> 8));
      if (!b.data) break;
    }
    want.resize(info::kBlockEntries, 0xFFFF);
    EXPECT_EQ(entries, want) << p.where();
    EXPECT_EQ(InfoMcuName(block), p.name);

    const std::vector<BlockRow> rows = ListBlocks(p.line);
    ASSERT_EQ(rows.size(), p.blocks.size()) << p.where();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(BlockStartAddress(rows[i]), p.blocks[i].address) << p.where();
      EXPECT_EQ(ParseDecimal(rows[i].size) * 1024, p.blocks[i].size) << p.where();
      EXPECT_EQ(rows[i].name, BlockDisplayName(p.blocks[i].id));
    }
  }
}

// The demo bench holds products of this file: what choosing each one off-line would store,
// and targets whose erase blocks are the blocks the file lists.
TEST(DeviceDatabaseFile, TheDemoBenchUsesItsProducts) {
  VirtualClock clock;
  auto bench = SimBench::demo(clock);
  ASSERT_GE(bench->programmerCount(), 1u);
  for (std::size_t i = 0; i < bench->programmerCount(); ++i) {
    SimProgrammer& programmer = bench->programmer(i);
    const ProgrammerInfo& stored = programmer.info();
    const std::string name = InfoMcuName(stored);
    const auto line = FindProductLine(kPath, name);
    ASSERT_TRUE(line.value) << "demo programmer " << i << " holds " << name;
    ProgrammerInfo chosen = stored;
    BuildInfoBlockTable(*line.value, chosen);
    EXPECT_EQ(chosen, stored) << name << ": type code, name and block table as choosing it stores them";

    const SimTarget& target = programmer.target();
    std::uint32_t pages = 0;
    for (const BlockRow& row : ListBlocks(*line.value)) {
      const auto first = static_cast<std::uint32_t>(BlockPageNumber(row));
      const auto count = static_cast<std::uint32_t>(ParseDecimal(row.size) * 4);
      const auto block = target.blockOf(first);
      ASSERT_TRUE(block) << name << ' ' << row.name;
      EXPECT_EQ(block->startPage, first) << name << ' ' << row.name;
      EXPECT_EQ(block->pageCount, count) << name << ' ' << row.name;
      pages += count;
    }
    std::uint32_t targetPages = 0;
    for (const SimFlashRegion& r : target.flash) targetPages += r.pageCount;
    EXPECT_EQ(targetPages, pages) << name << ": the target has no flash the file does not list";

    const ProductMemory memory = DeriveMemoryMap(*line.value, 0);
    EXPECT_EQ(memory.typeCode, static_cast<char>(stored[info::kTypeCode]));
    for (const auto& [page, data] : programmer.image()) {
      const std::uint32_t address = std::uint32_t{page} << 8;
      const bool inside = (address >= memory.map.dataFlashStart && address < memory.map.dataFlashEnd) ||
                          (address >= memory.map.userFlashStart && address < memory.map.userFlashEnd);
      EXPECT_TRUE(inside) << name << ": image page " << page << " outside the memory map";
    }
  }
}

}  // namespace
}  // namespace fd
