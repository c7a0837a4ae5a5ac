// products [NODE]: the product tree of the device database, or the products of one group
// with their memory text, as the Single Operation window's tree and list show them.
#include <iomanip>

#include "cli/ProductArgs.h"
#include "cli/commands/Command.h"
#include "formats/DeviceDatabase.h"

namespace fd {
namespace {

using nlohmann::json;

std::string Shown(std::string_view field) { return std::string(TrimTrailingSpaces(field)); }

class ProductsCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("products", "Show the product tree, or the products of a group");
    sub->add_option("NODE", node_, "A series or group of the tree, e.g. ZK40F1")
        ->check(CLI::Validator([](const std::string& v) { return NodeNameError("NODE", v); }, "NAME"));
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    const std::string path = DeviceDatabasePath(cli.host().state());
    const auto tree = ReadProductTree(path);
    if (!tree.ok()) {
      cli.err << "ERROR: " << tree.error << " (" << path << ")\n";
      return kExitFailed;
    }
    if (node_.empty()) {
      printTree(cli, tree.value);
      return cli.end() ? kExitOk : kExitFailed;
    }

    const auto found = ListGroupProducts(path, NodeKey(node_));
    if (!found.ok()) {
      cli.err << "ERROR: " << found.error << " (" << path << ")\n";
      return kExitFailed;
    }
    if (found.value.isSeries) {
      // A series has no products of its own; what it holds is its groups.
      for (const ProductSeries& series : tree.value) {
        if (series.text != NodeKey(node_)) continue;
        printTree(cli, {series});
        break;
      }
      return cli.end() ? kExitOk : kExitFailed;
    }
    if (found.value.rows.empty()) {
      cli.err << "ERROR: No series or group \"" << node_ << "\" in the device database.\n";
      return kExitUsage;
    }
    if (cli.options.json) {
      json rows = json::array();
      for (const ProductRow& row : found.value.rows) rows.push_back({{"product", Shown(row.product)}, {"memory", Shown(row.memory)}});
      cli.printJson(json{{"group", node_}, {"products", rows}});
    } else {
      for (const ProductRow& row : found.value.rows) cli.out << row.product << "  " << Shown(row.memory) << '\n';
    }
    return cli.end() ? kExitOk : kExitFailed;
  }

private:
  static void printTree(CliContext& cli, const ProductTree& tree) {
    if (cli.options.json) {
      json series = json::array();
      for (const ProductSeries& s : tree) {
        json groups = json::array();
        for (const std::string& g : s.groups) groups.push_back(Shown(g));
        series.push_back({{"series", Shown(s.text)}, {"groups", groups}});
      }
      cli.printJson(json{{"tree", series}});
      return;
    }
    for (const ProductSeries& s : tree) {
      cli.out << Shown(s.text) << '\n';
      for (const std::string& g : s.groups) cli.out << "  " << Shown(g) << '\n';
    }
  }

  std::string node_;
};

}  // namespace

std::unique_ptr<Command> MakeProductsCommand() { return std::make_unique<ProductsCommand>(); }

}  // namespace fd
