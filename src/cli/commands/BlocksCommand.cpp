// blocks PRODUCT: a product's flash blocks as the Erase and Address Setting windows list
// them, and the memory map the database gives it.
#include <iomanip>

#include "cli/ProductArgs.h"
#include "cli/commands/Command.h"
#include "formats/DeviceDatabase.h"
#include "formats/Hex.h"
#include "link/TypeCodes.h"

namespace fd {
namespace {

using nlohmann::json;

// A half-open range as its first and last address, in the product's address digits.
std::string RangeText(std::uint32_t start, std::uint32_t end, int digits) {
  if (end <= start) return "none";
  return "0x" + HexText(start, digits) + "-0x" + HexText(end - 1, digits) + " (" + std::to_string(end - start) +
         " bytes)";
}

class BlocksCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("blocks", "Show a product's flash blocks and memory map");
    sub->add_option("PRODUCT", product_, "A product of the device database, e.g. ZK40F8C12")
        ->required()
        ->check(CLI::Validator([](const std::string& v) { return ProductNameError("PRODUCT", v); }, "NAME"));
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    const std::string path = DeviceDatabasePath(cli.host().state());
    const auto found = FindProductLine(path, ProductKey(product_));
    if (!found.ok()) {
      cli.err << "ERROR: " << found.error << " (" << path << ")\n";
      return kExitFailed;
    }
    if (!found.value) {
      cli.err << "ERROR: No product \"" << product_ << "\" in the device database.\n";
      return kExitUsage;
    }
    const std::string& line = *found.value;
    const std::vector<BlockRow> rows = ListBlocks(line);
    const ProductMemory memory = DeriveMemoryMap(line, 0);
    const MemoryMap& map = memory.map;
    const std::string memoryText(TrimTrailingSpaces(LineField(line, mcufile::kMemory, mcufile::kMemoryWidth)));

    if (cli.options.json) {
      json blocks = json::array();
      for (const BlockRow& row : rows) {
        blocks.push_back({{"id", row.id}, {"name", row.name}, {"address", row.address},
                          {"size", std::string(TrimTrailingSpaces(row.size))}});
      }
      cli.printJson(json{{"product", product_},
                      {"typeCode", std::string(1, memory.typeCode)},
                      {"memory", memoryText},
                      {"blocks", blocks},
                      {"dataFlashStart", map.dataFlashStart},
                      {"dataFlashEnd", map.dataFlashEnd},
                      {"userFlashStart", map.userFlashStart},
                      {"userFlashEnd", map.userFlashEnd}});
      return cli.end() ? kExitOk : kExitFailed;
    }
    const auto field = [&](const char* label, const std::string& value) {
      cli.out << std::left << std::setw(12) << label << value << '\n';
    };
    field("Product", product_);
    field("Type code", std::string(1, memory.typeCode));
    field("Memory", memoryText);
    cli.out << std::left << std::setw(12) << "Block" << std::setw(9) << "Address" << "Size\n";
    for (const BlockRow& row : rows) {
      cli.out << std::left << std::setw(12) << row.name << std::setw(9) << row.address << TrimTrailingSpaces(row.size)
              << '\n';
    }
    // Type code "1" products have 4-digit addresses, as their Address Setting window shows.
    const int digits = TypeCodeFactsOf(memory.typeCode).addressDigits;
    field("Data flash", RangeText(map.dataFlashStart, map.dataFlashEnd, digits));
    field("User flash", RangeText(map.userFlashStart, map.userFlashEnd, digits));
    return cli.end() ? kExitOk : kExitFailed;
  }

private:
  std::string product_;
};

}  // namespace

std::unique_ptr<Command> MakeBlocksCommand() { return std::make_unique<BlocksCommand>(); }

}  // namespace fd
