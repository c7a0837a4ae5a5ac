#include "formats/DeviceDatabase.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "formats/Hex.h"
#include "link/ProgrammerInfo.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

static_assert(std::is_same_v<InfoBlockBytes, ProgrammerInfo>, "the reader fills link's block itself");
static_assert(mcufile::kInfoMcuName == info::kNames && mcufile::kInfoBlockTable == info::kBlockTable &&
              mcufile::kInfoBlockEntries == info::kBlockEntries && mcufile::kInfoTypeCode == info::kTypeCode);

struct Block {
  std::string name, size, address;
};

// A product line with every field filled up to its width, the block count as given.
std::string Line(char type, std::string_view series, std::string_view group, std::string_view product,
                 std::string_view memory, std::string_view count, const std::vector<Block>& blocks) {
  std::string line = ":";
  line += type;
  line += ' ';
  line += FitText(series, 10) + FitText(group, 10) + FitText(product, 12) + FitText(memory, 8) +
          FitText(count, 2) + ' ';
  for (const Block& b : blocks) line += FitText(b.name, 2) + ' ' + FitText(b.size, 4) + ' ' + FitText(b.address, 5) + ' ';
  return line;
}

// The same with a block count that matches the blocks.
std::string Line(char type, std::string_view series, std::string_view group, std::string_view product,
                 std::string_view memory, const std::vector<Block>& blocks) {
  char count[3];
  std::snprintf(count, sizeof count, "%02zX", blocks.size());
  return Line(type, series, group, product, memory, count, blocks);
}

std::string Lines(const std::vector<std::string>& lines, const char* end = "\n") {
  std::string text;
  for (const std::string& l : lines) text += l + end;
  return text;
}

const std::vector<Block> kTwoUser = {{"00", "4K", "0E000"}, {"01", "4K", "0F000"}};

class DeviceDatabaseTest : public ::testing::Test {
protected:
  const std::string& write(const std::string& text) {
    dir.write("MCUType.mcu", text);
    return path;
  }
  test::TempDir dir;
  const std::string path = dir.path("MCUType.mcu");
};

std::vector<std::string> Texts(const ProductTree& tree) {
  std::vector<std::string> out;
  for (const ProductSeries& s : tree) {
    out.push_back(s.text);
    for (const std::string& g : s.groups) out.push_back("  " + g);
  }
  return out;
}

std::vector<std::string> Products(const GroupProducts& g) {
  std::vector<std::string> out;
  for (const ProductRow& r : g.rows) out.push_back(r.product);
  return out;
}

// --- The file: missing, empty, its lines -------------------------------------------------

TEST_F(DeviceDatabaseTest, AFileThatCannotBeReadGivesTheMessageAndNothingRead) {
  const std::string folder = dir.path("folder");
  std::filesystem::create_directory(folder);
  for (const std::string& p : {dir.path("missing.mcu"), folder}) {
    const auto tree = ReadProductTree(p);
    EXPECT_EQ(tree.error, "Can not find MCU file!") << p;
    EXPECT_FALSE(tree.ok());
    EXPECT_THAT(tree.value, IsEmpty());
    const auto list = ListGroupProducts(p, "ZK40A1    ");
    EXPECT_EQ(list.error, kMcuFileMissingText);
    EXPECT_THAT(list.value.rows, IsEmpty());
    EXPECT_FALSE(list.value.isSeries);
    const auto found = FindProductLine(p, "ZK40A14P    ");
    EXPECT_EQ(found.error, kMcuFileMissingText);
    EXPECT_FALSE(found.value);

    EXPECT_EQ(ProductMemoryMap(p, "ZK40A14P    ", 0x4000).error, kMcuFileMissingText);
    EXPECT_FALSE(ProductMemoryMap(p, "ZK40A14P    ", 0x4000).value);
    EXPECT_EQ(ProductBlocks(p, "ZK40A14P    ").error, kMcuFileMissingText);
    ProgrammerInfo block{};
    block.fill(0x11);
    const auto built = ProductInfoBlockTable(p, "ZK40A14P    ", block);
    EXPECT_EQ(built.error, kMcuFileMissingText);
    EXPECT_FALSE(built.value);
    ProgrammerInfo untouched;
    untouched.fill(0x11);
    EXPECT_EQ(block, untouched);
  }
}

TEST_F(DeviceDatabaseTest, AnEmptyFileOrOneWithoutProductLinesReadsAsNoProducts) {
  for (const std::string& text : {std::string(), std::string("\n\n\r\n"),
                                 std::string("; comment\n ZK40\n :1 ZK40A     ZK40A1    ZK40A14P    8K      01\n")}) {
    write(text);
    const auto tree = ReadProductTree(path);
    EXPECT_TRUE(tree.ok());
    EXPECT_THAT(tree.value, IsEmpty());
    const auto list = ListGroupProducts(path, "ZK40A1    ");
    EXPECT_TRUE(list.ok());
    EXPECT_THAT(list.value.rows, IsEmpty());
    EXPECT_FALSE(list.value.isSeries);
    EXPECT_FALSE(FindProductLine(path, "ZK40A14P    ").value);
  }
}

TEST_F(DeviceDatabaseTest, OnlyLinesThatBeginWithAColonAreProducts) {
  const std::string product = Line('1', "ZK40A", "ZK40A1", "ZK40A14P", "8K", kTwoUser);
  write(Lines({"; ZK40 devices", "", " " + product, "#" + product.substr(1),
               Line('1', "ZK40A", "ZK40A1", "ZK40A14S", "8K", kTwoUser)}));
  EXPECT_THAT(Texts(ReadProductTree(path).value), ElementsAre("ZK40A     ", "  ZK40A1    "));
  EXPECT_THAT(Products(ListGroupProducts(path, "ZK40A1    ").value), ElementsAre("ZK40A14S    "));
  EXPECT_FALSE(FindProductLine(path, "ZK40A14P    ").value) << "a leading space hides a line";
  EXPECT_TRUE(FindProductLine(path, "ZK40A14S    ").value);
}

TEST_F(DeviceDatabaseTest, LineEndsMayBeCrLfOrLfAndAreNotPartOfTheLine) {
  const std::vector<std::string> lines = {Line('1', "ZK40A", "ZK40A1", "ZK40A14P", "8K", kTwoUser),
                                          Line('2', "ZK40F", "ZK40F1", "ZK40F8C12", "64K+2K", kTwoUser)};
  for (const char* end : {"\n", "\r\n"}) {
    write(Lines(lines, end));
    EXPECT_THAT(Texts(ReadProductTree(path).value),
                ElementsAre("ZK40A     ", "  ZK40A1    ", "ZK40F     ", "  ZK40F1    "));
    EXPECT_EQ(FindProductLine(path, "ZK40F8C12   ").value, lines[1]);
    EXPECT_EQ(ListGroupProducts(path, "ZK40F1    ").value.rows,
              (std::vector<ProductRow>{{"ZK40F8C12   ", "64K+2K  "}}));
  }
  // The last line needs no line end; mixed ends in one file are fine.
  write(lines[0] + "\r\n" + lines[1]);
  EXPECT_EQ(FindProductLine(path, "ZK40F8C12   ").value, lines[1]);
  EXPECT_EQ(FindProductLine(path, "ZK40A14P    ").value, lines[0]);
}

TEST_F(DeviceDatabaseTest, NothingIsKeptBetweenOperations) {
  write(Lines({Line('1', "ZK40A", "ZK40A1", "ZK40A14P", "8K", kTwoUser)}));
  ASSERT_TRUE(FindProductLine(path, "ZK40A14P    ").value);
  write(Lines({Line('1', "ZK40A", "ZK40A1", "ZK40A14S", "8K", kTwoUser)}));
  EXPECT_FALSE(FindProductLine(path, "ZK40A14P    ").value);
  EXPECT_THAT(Products(ListGroupProducts(path, "ZK40A1    ").value), ElementsAre("ZK40A14S    "));
  std::filesystem::remove(path);
  EXPECT_FALSE(ReadProductTree(path).ok());
}

// --- Tree and group lists ----------------------------------------------------------------

TEST_F(DeviceDatabaseTest, TreeFollowsTheFileWithTheLastGroupKeptAcrossSeries) {
  write(Lines({
      Line('1', "ZK40A", "ZK40A1", "P1", "8K", kTwoUser),
      Line('1', "ZK40A", "ZK40A1", "P2", "8K", kTwoUser),
      Line('1', "ZK40A", "ZK40A2", "P3", "8K", kTwoUser),
      Line('1', "ZK40A", "ZK40A1", "P4", "8K", kTwoUser),  // the group split by another: a second node
      Line('2', "ZK40F", "ZK40A1", "P5", "8K", kTwoUser),  // the same group text across a series boundary
      Line('2', "ZK40F", "ZK40F1", "P6", "8K", kTwoUser),
      Line('1', "ZK40A", "ZK40A3", "P7", "8K", kTwoUser),  // a series seen before: a second root
  }));
  const auto tree = ReadProductTree(path);
  ASSERT_TRUE(tree.ok());
  EXPECT_THAT(Texts(tree.value),
              ElementsAre("ZK40A     ", "  ZK40A1    ", "  ZK40A2    ", "  ZK40A1    ", "ZK40F     ",
                          "  ZK40F1    ", "ZK40A     ", "  ZK40A3    "));

  // A group split across the file lists all its products, in file order, across series.
  EXPECT_THAT(Products(ListGroupProducts(path, "ZK40A1    ").value),
              ElementsAre("P1          ", "P2          ", "P4          ", "P5          "));
  EXPECT_FALSE(ListGroupProducts(path, "ZK40A1    ").value.isSeries);
  // A series node: the answer at its first line, no rows.
  const auto series = ListGroupProducts(path, "ZK40F     ").value;
  EXPECT_TRUE(series.isSeries);
  EXPECT_THAT(series.rows, IsEmpty());
  // Nodes are compared whole: a text not filled up to 10 characters is no node.
  EXPECT_THAT(ListGroupProducts(path, "ZK40A1").value.rows, IsEmpty());
  EXPECT_THAT(Products(ListGroupProducts(path, NodeKey("ZK40A2")).value), ElementsAre("P3          "));
  EXPECT_THAT(ListGroupProducts(path, "ZK40Z9    ").value.rows, IsEmpty());
}

TEST_F(DeviceDatabaseTest, TheSeriesTestComesFirstOnEveryLine) {
  // "MIX" is a group in series ZK40A and later a series of its own.
  write(Lines({
      Line('1', "ZK40A", "MIX", "P1", "8K", kTwoUser),
      Line('1', "ZK40A", "ZK40A2", "P2", "8K", kTwoUser),
      Line('1', "MIX", "MIX", "P3", "8K", kTwoUser),  // series and group equal: the series wins
      Line('1', "ZK40B", "MIX", "P4", "8K", kTwoUser),  // never reached
  }));
  const auto g = ListGroupProducts(path, NodeKey("MIX")).value;
  EXPECT_TRUE(g.isSeries);
  EXPECT_THAT(Products(g), ElementsAre("P1          ")) << "the rows found before the series line stay";
}

TEST_F(DeviceDatabaseTest, FindTakesTheFirstLineWithTheWholeTwelveCharacterName) {
  const std::string first = Line('1', "ZK40A", "ZK40A1", "ZK40A14P", "8K", kTwoUser);
  const std::string second = Line('2', "ZK40F", "ZK40F1", "ZK40A14P", "64K", kTwoUser);
  write(Lines({first, second, Line('1', "ZK40A", "ZK40A1", "ZK40A14PX", "8K", kTwoUser)}));
  EXPECT_EQ(FindProductLine(path, "ZK40A14P    ").value, first);
  EXPECT_EQ(FindProductLine(path, ProductKey("ZK40A14P")).value, first);
  EXPECT_FALSE(FindProductLine(path, "ZK40A14P").value) << "trailing spaces count";
  EXPECT_FALSE(FindProductLine(path, "zk40a14p    ").value);
  EXPECT_TRUE(FindProductLine(path, "ZK40A14PX   ").value);
}

// --- Memory map ----------------------------------------------------------------------------

TEST(DeriveMemoryMap, Table) {
  const std::vector<Block> dataThenUser = {{"0A", "2K", "02400"}, {"00", "64K", "04000"}};
  const struct {
    const char* what;
    std::string line;
    std::uint32_t before;
    ProductMemory expected;
  } cases[] = {
      {"64K: user flash only", Line('2', "S", "G", "P", "64K", {{"00", "64K", "04000"}}), 7,
       {'2', {0, 0, 0x4000, 0x14000}}},
      {"128K+4K", Line('3', "S", "G", "P", "128K+4K", {{"0A", "4K", "04000"}, {"00", "128K", "E0000"}}), 7,
       {'3', {0x4000, 0x5000, 0xE0000, 0x100000}}},
      {"a leading + is no data flash", Line('2', "S", "G", "P", "+4K", dataThenUser), 7,
       {'2', {0, 0, 0x4000, 0x4000}}},
      {"data start from columns 54-58 even for a user block",
       Line('2', "S", "G", "P", "64K+2K", {{"00", "64K", "04000"}}), 7, {'2', {0x4000, 0x4800, 0x4000, 0x14000}}},
      {"no user block: the start stays, the end is the size",
       Line('1', "S", "G", "P", "8K+1K", {{"0A", "1K", "02400"}, {"0B", "1K", "02800"}}), 0x7000,
       {'1', {0x2400, 0x2800, 0x7000, 0x2000}}},
      {"the walk ignores the block count",
       Line('2', "S", "G", "P", "48K+2K", "01", {{"0A", "1K", "02400"}, {"0B", "1K", "02800"}, {"00", "48K", "04000"}}),
       7, {'2', {0x2400, 0x2C00, 0x4000, 0x10000}}},
      {"a first descriptor ending in a letter is data, one ending in a digit user",
       Line('2', "S", "G", "P", "32K", {{"1A", "32K", "08000"}, {"10", "32K", "10000"}}), 7,
       {'2', {0, 0, 0x10000, 0x18000}}},
      {"non-hex addresses give all ones",
       Line('2', "S", "G", "P", "8K+1K", {{"0A", "1K", "0240G"}, {"00", "8K", "0e00x"}}), 7,
       {'2', {0xFFFFFFFF, 0xFFFFFFFF + 1024, 0xFFFFFFFF, 0xFFFFFFFF + 8192}}},
      {"lower-case hex is hex", Line('2', "S", "G", "P", "8K", {{"00", "8K", "0e000"}}), 7,
       {'2', {0, 0, 0xE000, 0x10000}}},
      {"no K: no user size", Line('2', "S", "G", "P", "64", {{"00", "64K", "04000"}}), 7,
       {'2', {0, 0, 0x4000, 0x4000}}},
      {"a size without digits is 0", Line('2', "S", "G", "P", "K+K", {{"0A", "1K", "02400"}, {"00", "8K", "0E000"}}), 7,
       {'2', {0x2400, 0x2400, 0xE000, 0xE000}}},
      {"blanks before a size are skipped", Line('2', "S", "G", "P", " 8K+ 1K", {{"0A", "1K", "02400"}, {"00", "8K", "0E000"}}),
       7, {'2', {0x2400, 0x2800, 0xE000, 0x10000}}},
      {"a line that ends before its blocks", Line('2', "S", "G", "P", "8K+1K", "00", {}), 7,
       {'2', {0, 1024, 7, 8192}}},
      {"a line that ends inside the data start", Line('2', "S", "G", "P", "8K+1K", {{"0A", "1K", "02400"}}).substr(0, 56), 7,
       {'2', {0x02, 0x02 + 1024, 7, 8192}}},
      {"a line of the mark alone", ":", 7, {'\0', {0, 0, 7, 0}}},
  };
  for (const auto& c : cases) EXPECT_EQ(DeriveMemoryMap(c.line, c.before), c.expected) << c.what;
}

TEST_F(DeviceDatabaseTest, MemoryMapLookedUpByProduct) {
  write(Lines({Line('1', "ZK40A", "ZK40A1", "ZK40A20S", "16K+1K",
                    {{"0A", "1K", "02400"}, {"00", "8K", "0C000"}, {"01", "4K", "0E000"}, {"02", "4K", "0F000"}})}));
  const auto found = ProductMemoryMap(path, "ZK40A20S    ", 0);
  ASSERT_TRUE(found.ok());
  ASSERT_TRUE(found.value);
  EXPECT_EQ(*found.value, (ProductMemory{'1', {0x2400, 0x2800, 0xC000, 0x10000}}));
  const auto none = ProductMemoryMap(path, "ZK40A20P    ", 0);
  EXPECT_TRUE(none.ok());
  EXPECT_FALSE(none.value) << "not found: the caller keeps its map";
}

// --- The programmer's block table -----------------------------------------------------------

ProgrammerInfo Marked() {
  ProgrammerInfo b;
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(0x80 + i);
  return b;
}

std::vector<std::uint16_t> Entries(const ProgrammerInfo& b) {
  std::vector<std::uint16_t> out;
  for (std::size_t k = 0; k < info::kBlockEntries; ++k) out.push_back(InfoBlockEntry(b, k));
  return out;
}

// Only bytes 0, 9 to 20 and 37 to 70 may change.
void ExpectRestUntouched(const ProgrammerInfo& b) {
  const ProgrammerInfo before = Marked();
  for (std::size_t i = 0; i < b.size(); ++i) {
    const bool owned = i == 0 || (i >= 9 && i <= 20) || (i >= 37 && i <= 70);
    if (!owned) {
      EXPECT_EQ(b[i], before[i]) << "byte " << i;
    }
  }
}

std::vector<std::uint16_t> Table(std::vector<std::uint16_t> written) {
  written.resize(info::kBlockEntries, 0xFFFF);
  return written;
}

TEST(BuildInfoBlockTable, DataBlocksThenTheLowestUserBlock) {
  ProgrammerInfo b = Marked();
  BuildInfoBlockTable(Line('2', "ZK40F", "ZK40F1", "ZK40F8C12", "64K+2K", "01",
                           {{"0A", "1K", "02400"}, {"0B", "1K", "02800"}, {"00", "8K", "04000"}, {"01", "8K", "06000"}}),
                      b);
  EXPECT_EQ(b[0], '2');
  EXPECT_EQ(InfoMcuName(b), "ZK40F8C12   ");
  EXPECT_EQ(Entries(b), Table({0x024, 0x028, 0x040})) << "the block count is not used";
  ExpectRestUntouched(b);
}

TEST(BuildInfoBlockTable, Table) {
  std::vector<Block> twenty;
  for (int i = 0; i < 20; ++i) {
    char address[6];
    std::snprintf(address, sizeof address, "%05X", 0x1000 + 0x400 * i);
    twenty.push_back({std::string("0") + static_cast<char>('A' + i), "1K", address});
  }
  std::vector<std::uint16_t> seventeen;
  for (int i = 0; i < 17; ++i) seventeen.push_back(static_cast<std::uint16_t>(0x010 + 4 * i));
  const struct {
    const char* what;
    std::string line;
    std::vector<std::uint16_t> entries;
  } cases[] = {
      {"no data flash", Line('3', "S", "G", "P", "128K", {{"00", "64K", "E0000"}, {"01", "64K", "F0000"}}),
       Table({0xE00})},
      {"the first block that is no data block stands for the user flash",
       Line('2', "S", "G", "P", "8K+1K", {{"0A", "1K", "02400"}, {"0-", "8K", "0E000"}, {"00", "8K", "10000"}}),
       Table({0x024, 0x0E0})},
      {"more data blocks than the table holds fill it and stop", Line('2', "S", "G", "P", "20K", twenty), seventeen},
      {"sixteen data blocks and the user block fill all 17",
       Line('2', "S", "G", "P", "16K", [&] {
         std::vector<Block> v(twenty.begin(), twenty.begin() + 16);
         v.push_back({"00", "8K", "0E000"});
         return v;
       }()),
       [&] {
         std::vector<std::uint16_t> v(seventeen.begin(), seventeen.begin() + 16);
         v.push_back(0x0E0);
         return v;
       }()},
      {"a non-hex address", Line('2', "S", "G", "P", "8K+1K", {{"0A", "1K", "0Z400"}, {"00", "8K", "0E000"}}),
       Table({0xFFFF, 0x0E0})},
      {"only data blocks: no user entry", Line('2', "S", "G", "P", "+2K", {{"0A", "1K", "02400"}, {"0B", "1K", "02800"}}),
       Table({0x024, 0x028})},
      {"no blocks at all", Line('2', "S", "G", "P", "8K", "00", {}), Table({})},
      {"a descriptor cut inside its address", Line('2', "S", "G", "P", "8K", {{"00", "8K", "0E000"}}).substr(0, 55),
       Table({0x0})},
      {"a lower-case letter is above A", Line('2', "S", "G", "P", "8K", {{"0a", "1K", "02400"}, {"00", "8K", "0E000"}}),
       Table({0x024, 0x0E0})},
  };
  for (const auto& c : cases) {
    ProgrammerInfo b = Marked();
    BuildInfoBlockTable(c.line, b);
    EXPECT_EQ(Entries(b), c.entries) << c.what;
    EXPECT_EQ(b[0], c.line[1]) << c.what;
    ExpectRestUntouched(b);
  }
}

TEST(BuildInfoBlockTable, AShortLineFillsTheNameWithSpaces) {
  ProgrammerInfo b = Marked();
  BuildInfoBlockTable(":1 ZK40A     ZK40A1    ZK40", b);
  EXPECT_EQ(b[0], '1');
  EXPECT_EQ(InfoMcuName(b), "ZK40        ");
  EXPECT_EQ(Entries(b), Table({}));
  ExpectRestUntouched(b);
  BuildInfoBlockTable(":", b);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(InfoMcuName(b), "            ");
}

TEST_F(DeviceDatabaseTest, BlockTableLookedUpByProduct) {
  write(Lines({Line('1', "ZK40A", "ZK40A1", "ZK40A14P", "8K", kTwoUser)}));
  ProgrammerInfo b = Marked();
  const auto none = ProductInfoBlockTable(path, "ZK40A14S    ", b);
  EXPECT_TRUE(none.ok());
  EXPECT_FALSE(none.value);
  EXPECT_EQ(b, Marked());
  const auto found = ProductInfoBlockTable(path, "ZK40A14P    ", b);
  EXPECT_TRUE(found.value);
  EXPECT_EQ(Entries(b), Table({0x0E0}));
}

// --- Block rows -------------------------------------------------------------------------------

std::vector<std::string> Names(const std::vector<BlockRow>& rows) {
  std::vector<std::string> out;
  for (const BlockRow& r : rows) out.push_back(r.name);
  return out;
}

TEST(ListBlocks, RowsOfTheFirstCountDescriptors) {
  std::vector<Block> twelve;
  for (int i = 0; i < 12; ++i) {
    char address[6];
    std::snprintf(address, sizeof address, "%05X", 0x4000 * (i + 1));
    twelve.push_back({i < 10 ? "0" + std::to_string(i) : std::to_string(i), "16K", address});
  }
  const auto ten = ListBlocks(Line('2', "S", "G", "P", "192K", "0A", twelve));
  ASSERT_EQ(ten.size(), 10u) << "a count of 0A is ten, whatever the line holds";
  EXPECT_EQ(ten[9], (BlockRow{"09", "Block 9", "0x28000", "16K "}));
  EXPECT_THAT(Names(ListBlocks(Line('2', "S", "G", "P", "192K", twelve))),
              ElementsAre("Block 0", "Block 1", "Block 2", "Block 3", "Block 4", "Block 5", "Block 6", "Block 7",
                          "Block 8", "Block 9", "Block 10", "Block 11"));

  const auto rows = ListBlocks(Line('1', "S", "G", "P", "16K+1K",
                                    {{"0A", "1K", "02400"}, {"00", "8K", "0C000"}, {"01", "4K", "0e000"}, {"12", "4K", "0F000"}}));
  EXPECT_EQ(rows, (std::vector<BlockRow>{{"0A", "Block A", "0x02400", "1K  "},
                                          {"00", "Block 0", "0x0C000", "8K  "},
                                          {"01", "Block 1", "0x0e000", "4K  "},  // as written
                                          {"12", "Block 12", "0x0F000", "4K  "}}));
}

TEST(ListBlocks, BlockCounts) {
  const std::vector<Block> three = {{"0A", "1K", "02400"}, {"00", "4K", "0E000"}, {"01", "4K", "0F000"}};
  const struct {
    const char* count;
    std::size_t rows;
  } cases[] = {
      {"03", 3}, {"02", 2}, {"00", 0}, {"  ", 0}, {" 2", 2}, {"0G", 0}, {"3 ", 0}, {"-1", 0}, {"FF", 3}, {"0a", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(ListBlocks(Line('1', "S", "G", "P", "8K+1K", c.count, three)).size(), c.rows) << c.count;
}

TEST(ListBlocks, ALineCutShortGivesWhatItHolds) {
  const std::string full = Line('1', "S", "G", "P", "8K+1K", {{"0A", "1K", "02400"}, {"00", "8K", "0E000"}});
  EXPECT_EQ(ListBlocks(full.substr(0, 46 + 14 + 10)),
            (std::vector<BlockRow>{{"0A", "Block A", "0x02400", "1K  "}, {"00", "Block 0", "0x0E", "8K  "}}));
  EXPECT_EQ(ListBlocks(full.substr(0, 46 + 14 + 1)),
            (std::vector<BlockRow>{{"0A", "Block A", "0x02400", "1K  "}, {"0", "Block ", "0x", ""}}));
  EXPECT_THAT(ListBlocks(full.substr(0, 44)), IsEmpty()) << "count cut to one digit: \"0\" is 0";
  EXPECT_THAT(ListBlocks(":"), IsEmpty());
}

TEST_F(DeviceDatabaseTest, BlocksLookedUpByProduct) {
  write(Lines({Line('1', "ZK40A", "ZK40A1", "ZK40A14P", "8K", kTwoUser)}));
  const auto found = ProductBlocks(path, "ZK40A14P    ");
  ASSERT_TRUE(found.value);
  EXPECT_THAT(Names(*found.value), ElementsAre("Block 0", "Block 1"));
  EXPECT_FALSE(ProductBlocks(path, "ZK40A14S    ").value);
}

// --- Helpers ---------------------------------------------------------------------------------

TEST(DeviceDatabaseHelpers, NamesKindsAndAddresses) {
  EXPECT_EQ(BlockDisplayName("0A"), "Block A");
  EXPECT_EQ(BlockDisplayName("03"), "Block 3");
  EXPECT_EQ(BlockDisplayName("12"), "Block 12");
  EXPECT_EQ(BlockDisplayName(""), "Block ");
  EXPECT_EQ(BlockKindOf("0A"), BlockKind::kData);
  EXPECT_EQ(BlockKindOf("0H"), BlockKind::kData);
  EXPECT_EQ(BlockKindOf("03"), BlockKind::kUser);
  EXPECT_EQ(BlockKindOf("12"), BlockKind::kUser);
  EXPECT_EQ(BlockKindOf("0-"), BlockKind::kOther);
  EXPECT_EQ(BlockKindOf("0"), BlockKind::kOther);
  const BlockRow row{"01", "Block 1", "0x0F000", "4K  "};
  EXPECT_EQ(BlockPageNumber(row), 0x0F0u);
  EXPECT_EQ(BlockStartAddress(row), 0xF000u);
  EXPECT_EQ(BlockPageNumber(BlockRow{"01", "Block 1", "0xFC000", "16K "}), 0xFC0u);
  EXPECT_EQ(BlockPageNumber(BlockRow{"01", "Block 1", "0x0G000", "16K "}), kParseHexInvalid);
  EXPECT_EQ(BlockPageNumber(BlockRow{}), 0u);
}

TEST(DeviceDatabaseHelpers, TextsAndNumbers) {
  EXPECT_EQ(ProductKey("ZK40F8C12"), "ZK40F8C12   ");
  EXPECT_EQ(ProductKey("ZK40F1234567890"), "ZK40F1234567");
  EXPECT_EQ(ProductKey(""), "            ");
  EXPECT_EQ(NodeKey("ZK40A"), "ZK40A     ");
  EXPECT_EQ(NodeKey("ZK40A1234567"), "ZK40A12345");
  EXPECT_EQ(FitText("ab", 0), "");
  EXPECT_EQ(TrimTrailingSpaces("ZK40F8C12   "), "ZK40F8C12");
  EXPECT_EQ(TrimTrailingSpaces(" a b "), " a b");
  EXPECT_EQ(TrimTrailingSpaces("    "), "");
  EXPECT_EQ(LineField("abc", 1, 5), "bc");
  EXPECT_EQ(LineField("abc", 3, 5), "");
  EXPECT_EQ(LineField("abc", 9, 5), "");
  EXPECT_EQ(ParseDecimal("64K"), 64u);
  EXPECT_EQ(ParseDecimal("  128"), 128u);
  EXPECT_EQ(ParseDecimal("K"), 0u);
  EXPECT_EQ(ParseDecimal(""), 0u);
  EXPECT_EQ(ParseDecimal("+4"), 0u);
  EXPECT_EQ(ParseDecimal("12 3"), 12u);
}

// --- Bad input: never a crash, never a read past a line's end --------------------------------

// Runs every operation on the file and on each of its product lines.
void RunEverything(const std::string& path) {
  const auto tree = ReadProductTree(path);
  ASSERT_TRUE(tree.ok());
  for (const ProductSeries& s : tree.value) {
    ListGroupProducts(path, s.text);
    for (const std::string& g : s.groups) {
      for (const ProductRow& r : ListGroupProducts(path, g).value.rows) {
        const auto line = FindProductLine(path, r.product);
        ASSERT_TRUE(line.value) << r.product;
        DeriveMemoryMap(*line.value, 0);
        ProgrammerInfo b = Marked();
        BuildInfoBlockTable(*line.value, b);
        ExpectRestUntouched(b);
        for (const BlockRow& row : ListBlocks(*line.value)) {
          BlockPageNumber(row);
          BlockStartAddress(row);
          BlockKindOf(row.id);
        }
      }
    }
  }
}

TEST_F(DeviceDatabaseTest, EveryCutOfALineIsReadWithoutAnOverrun) {
  const std::string full = Line('2', "ZK40F", "ZK40F1", "ZK40F8C12", "64K+2K",
                                {{"0A", "1K", "02400"}, {"0B", "1K", "02800"}, {"00", "8K", "04000"}});
  for (std::size_t n = 1; n <= full.size(); ++n) {
    // Copied out, so a sanitizer sees any read past the cut.
    const std::string line = full.substr(0, n);
    DeriveMemoryMap(line, 0);
    ProgrammerInfo b = Marked();
    BuildInfoBlockTable(line, b);
    ExpectRestUntouched(b);
    for (const BlockRow& row : ListBlocks(line)) EXPECT_LE(row.address.size(), 7u);
    write(line + "\n" + full.substr(0, full.size() - n) + "\r\n");
    RunEverything(path);
  }
  // A line cut inside its series field is a node of its own with the short text.
  write(Lines({":2 ZK4", full}));
  EXPECT_THAT(Texts(ReadProductTree(path).value), ElementsAre("ZK4", "ZK40F     ", "  ZK40F1    "));
  EXPECT_FALSE(FindProductLine(path, "ZK4").value) << "no product field, nothing to find";
}

TEST_F(DeviceDatabaseTest, BinaryGarbageIsReadWithoutACrash) {
  std::mt19937 random(4040);
  for (int round = 0; round < 40; ++round) {
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 30);
    for (int l = 0; l < lines; ++l) {
      const std::size_t length = random() % 300;
      std::string line = random() % 4 == 0 ? "" : ":";
      for (std::size_t i = 0; i < length; ++i) {
        // Mostly the characters of real lines, so fields and descriptors take shape.
        const char pick = "0123456789ABCDEFGHKZ +:\r\0\xFF"[random() % 26];
        line += random() % 5 == 0 ? static_cast<char>(random() % 256) : pick;
      }
      text += line + (random() % 3 == 0 ? "\r\n" : "\n");
    }
    write(text);
    RunEverything(path);
    ListGroupProducts(path, "");
    FindProductLine(path, "");
  }
}

TEST_F(DeviceDatabaseTest, ALongLineWithoutLineEndsIsOneLine) {
  std::string text = Line('2', "ZK40F", "ZK40F1", "ZK40F8C12", "64K", kTwoUser);
  text += std::string(200000, 'A');
  write(text);
  const auto line = FindProductLine(path, "ZK40F8C12   ");
  ASSERT_TRUE(line.value);
  EXPECT_EQ(line.value->size(), text.size());
  EXPECT_EQ(ListBlocks(*line.value).size(), 2u);
  ProgrammerInfo b = Marked();
  BuildInfoBlockTable(*line.value, b);
  EXPECT_EQ(Entries(b), Table({0x0E0}));
  EXPECT_EQ(DeriveMemoryMap(*line.value, 0).map.userFlashStart, 0xE000u);
}

}  // namespace
}  // namespace fd
