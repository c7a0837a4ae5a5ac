// sockets [--save | --clear]: the station's socket map, which USB port is which row. Shown
// with the programmers attached now; --save keeps their present order, --clear forgets it.
// Nothing is opened: the ports are only looked up.
#include <iomanip>

#include "app/AppState.h"
#include "app/SocketMap.h"
#include "cli/commands/Command.h"
#include "link/Protocol.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

class SocketsCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand(
        "sockets", "Show the socket map (which USB port is which row); --save keeps the present order");
    auto* save = sub->add_flag("--save", save_, "Save the attached programmers' present order as the socket map");
    auto* clear = sub->add_flag("--clear", clear_, "Forget the socket map: rows follow the USB port paths");
    save->excludes(clear);
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.options.simulate.empty()) {
      cli.err << "usage: sockets maps the USB ports of real programmers; a simulated bench has none.\n";
      return kExitUsage;
    }
    if (!cli.options.choices.empty()) {
      cli.err << "usage: sockets looks at every attached programmer; --port and --usb-serial pick some.\n";
      return kExitUsage;
    }
    // The map is read here, where a broken one can be shown and replaced; the programmers
    // are looked up in USB port order.
    cli.options.ignoreSocketMap = true;
    if (!cli.begin()) return kExitFailed;
    SettingsFile settings(cli.host().state().appDir + kSettingsFileName);
    const SocketMapRead map = ReadSocketMap(settings);
    if (!map.error.empty()) cli.err << (save_ || clear_ ? "WARNING: " : "ERROR: ") << map.error << '\n';
    if (clear_) {
      std::string error;
      if (!SaveSocketMap(settings, {}, error)) {
        cli.err << "ERROR: " << error << '\n';
        return kExitFailed;
      }
      cli.out << "The socket map is cleared: rows follow the USB port paths.\n";
      return kExitOk;
    }

    if (!cli.host().link().CountProgrammers()) {
      cli.err << "ERROR: The serial ports can not be listed.\n";
      return kExitFailed;
    }
    const std::vector<SerialDeviceRow> attached = cli.host().serial()->rows();
    const auto attachedAt = [&](const std::string& usbPath) -> const SerialDeviceRow* {
      for (const SerialDeviceRow& row : attached) {
        if (!usbPath.empty() && row.usbPath == usbPath) return &row;
      }
      return nullptr;
    };

    if (save_) return save(cli, settings, map, attached);

    nlohmann::json rows = nlohmann::json::array();
    nlohmann::json others = nlohmann::json::array();
    if (map.paths.empty()) {
      cli.out << "No socket map is saved: rows follow the USB port paths.\n";
    }
    for (std::size_t r = 0; r < map.paths.size(); ++r) {
      const SerialDeviceRow* row = attachedAt(map.paths[r]);
      rows.push_back({{"sn", SnText(static_cast<int>(r) + 1)},
                      {"usbPath", map.paths[r]},
                      {"attached", row != nullptr},
                      {"port", row ? row->port : ""},
                      {"usbSerial", row ? row->usbSerial : ""}});
    }
    for (const SerialDeviceRow& row : attached) {
      bool mapped = false;
      for (const std::string& path : map.paths) mapped = mapped || path == row.usbPath;
      if (!mapped) others.push_back({{"usbPath", row.usbPath}, {"port", row.port}, {"usbSerial", row.usbSerial}});
    }
    if (cli.options.json) {
      cli.printJson({{"map", rows}, {"notMapped", others}, {"success", map.error.empty()}});
    } else {
      for (const auto& row : rows) {
        cli.out << row["sn"].get<std::string>() << "  " << std::left << std::setw(12)
                << row["usbPath"].get<std::string>() << std::right << "  "
                << (row["attached"].get<bool>()
                        ? row["port"].get<std::string>() + "  " + row["usbSerial"].get<std::string>()
                        : std::string("not attached"))
                << '\n';
      }
      for (const auto& row : others) {
        cli.out << (map.paths.empty() ? "" : "not mapped: ") << std::left << std::setw(12)
                << row["usbPath"].get<std::string>() << std::right << "  " << row["port"].get<std::string>() << "  "
                << row["usbSerial"].get<std::string>() << '\n';
      }
    }
    return map.error.empty() ? kExitOk : kExitFailed;
  }

private:
  int save(CliContext& cli, SettingsFile& settings, const SocketMapRead& map,
           const std::vector<SerialDeviceRow>& attached) {
    // The present order: the rows the map gives now, then the others by USB port path.
    std::vector<std::string> order;
    for (const std::string& path : map.paths) {
      for (const SerialDeviceRow& row : attached) {
        if (row.usbPath == path) order.push_back(path);
      }
    }
    for (const SerialDeviceRow& row : attached) {
      if (row.usbPath.empty()) {
        cli.err << "WARNING: The programmer on " << row.port << " has no USB port path and can not be mapped.\n";
        continue;
      }
      bool placed = false;
      for (const std::string& path : order) placed = placed || path == row.usbPath;
      if (!placed) order.push_back(row.usbPath);
    }
    if (order.empty()) {
      cli.err << "ERROR: No programmer on a USB port is attached; the socket map is not changed.\n";
      return kExitFailed;
    }
    std::string error;
    if (!SaveSocketMap(settings, order, error)) {
      cli.err << "ERROR: " << error << '\n';
      return kExitFailed;
    }
    for (std::size_t r = 0; r < order.size(); ++r) cli.out << SnText(static_cast<int>(r) + 1) << "  " << order[r] << '\n';
    cli.out << "The socket map is saved in " << settings.path() << ".\n";
    return kExitOk;
  }

  bool save_ = false;
  bool clear_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeSocketsCommand() { return std::make_unique<SocketsCommand>(); }

}  // namespace fd
