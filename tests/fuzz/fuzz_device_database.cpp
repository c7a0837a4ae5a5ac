// The device database file: the product tree, a group's products, and each product's line
// read into the memory map, the information block's table and the block list.
#include "FuzzSupport.h"
#include "formats/DeviceDatabase.h"

using namespace fd;

namespace {
// Enough lookups to reach every reader; a file of thousands of products would only repeat them.
constexpr std::size_t kMaxLookups = 6;

void LookUpProduct(const std::string& path, const std::string& product) {
  const auto line = FindProductLine(path, product);
  FUZZ_CHECK(line.ok());
  if (!line.value) return;
  const ProductMemory memory = DeriveMemoryMap(*line.value, 0);
  (void)memory;
  InfoBlockBytes info{};
  info.fill(0x5A);
  BuildInfoBlockTable(*line.value, info);
  for (std::size_t i = 71; i < info.size(); ++i) FUZZ_CHECK(info[i] == 0x5A);  // nothing past byte 70
  for (const BlockRow& row : ListBlocks(*line.value)) {
    (void)BlockDisplayName(row.id);
    (void)BlockKindOf(row.id);
    (void)BlockPageNumber(row);
  }
  const auto map = ProductMemoryMap(path, product, 0x1000);
  FUZZ_CHECK(map.ok() && map.value.has_value());
  InfoBlockBytes table{};
  const auto filled = ProductInfoBlockTable(path, product, table);
  FUZZ_CHECK(filled.ok() && filled.value);
  const auto blocks = ProductBlocks(path, product);
  FUZZ_CHECK(blocks.ok() && blocks.value.has_value());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::ScratchFolder::get().write("MCUType.mcu", fuzz::AsText(data, size));
  const auto tree = ReadProductTree(path);
  FUZZ_CHECK(tree.ok());
  std::size_t lookups = 0;
  for (const ProductSeries& series : tree.value) {
    for (const std::string& group : series.groups) {
      if (++lookups > kMaxLookups) return 0;
      const auto products = ListGroupProducts(path, group);
      FUZZ_CHECK(products.ok());
      for (std::size_t i = 0; i < products.value.rows.size() && i < 2; ++i) {
        LookUpProduct(path, products.value.rows[i].product);
      }
    }
    (void)ListGroupProducts(path, series.text);
  }
  return 0;
}
