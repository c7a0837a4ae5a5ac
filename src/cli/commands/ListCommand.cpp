// list: the programmers as the main window lists them.
#include <algorithm>
#include <iomanip>

#include "cli/commands/Command.h"
#include "link/ProgrammerSn.h"

namespace fd {
namespace {

void PrintRows(std::ostream& out, const MainView& view) {
  out << view.statusText << '\n';
  if (view.rows.empty()) return;
  out << "   SN  Target MCU    File Name         Modify Time         File Size\n";
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    const MainRow& row = view.rows[r];
    out << (view.selectedRow == static_cast<int>(r) ? '>' : ' ') << (row.checked ? "x " : "  ") << row.sn << "  "
        << std::left << std::setw(12) << row.cells[0] << "  " << std::setw(16) << row.cells[1] << "  "
        << std::setw(17) << row.cells[2] << "  " << std::right << std::setw(10) << row.cells[3] << '\n';
  }
}

// Where each row's programmer is: its port, USB port path and USB serial number, from the
// serial bridge (a simulated bench has none of these); and the programmers that are
// attached but could not be opened, with the reason.
struct PortsOfList {
  std::vector<std::string> sns;           // each list row's number
  std::vector<SerialDeviceRow> rows;      // by list row
  std::vector<std::string> unopenedSns;   // the numbers the programmers without a row keep
  std::vector<SerialDeviceRow> unopened;  // attached programmers without a row
};

PortsOfList PortsOf(CliContext& cli, const MainFlow& flow, std::size_t rowCount) {
  PortsOfList ports;
  SerialBridge* serial = cli.host().serial();
  std::vector<std::string> shown;
  for (std::size_t r = 0; r < rowCount; ++r) {
    std::optional<SerialDeviceRow> row;
    if (serial) row = serial->rowOf(flow.handles()[r]);
    ports.sns.push_back(flow.view().rows[r].sn);
    ports.rows.push_back(row.value_or(SerialDeviceRow{}));
    if (row) shown.push_back(row->port);
  }
  if (serial) {
    // The devices come by index, and a row's number is its index + 1.
    const std::vector<SerialDeviceRow> devices = serial->rows();
    for (std::size_t index = 0; index < devices.size(); ++index) {
      if (std::find(shown.begin(), shown.end(), devices[index].port) != shown.end()) continue;
      ports.unopenedSns.push_back(SnText(static_cast<int>(index) + 1));
      ports.unopened.push_back(devices[index]);
    }
  }
  return ports;
}

nlohmann::json PortJson(const SerialDeviceRow& row) {
  return {{"port", row.port}, {"usbPath", row.usbPath}, {"usbSerial", row.usbSerial}};
}

void PrintPorts(std::ostream& out, const PortsOfList& ports) {
  auto line = [&out](const std::string& sn, const SerialDeviceRow& row, const std::string& note) {
    out << "   " << std::left << std::setw(3) << sn << std::setw(14) << row.port << "  " << std::setw(12)
        << (row.usbPath.empty() ? "-" : row.usbPath) << "  " << (row.usbSerial.empty() ? "-" : row.usbSerial)
        << (note.empty() ? "" : "  " + note) << std::right << '\n';
  };
  if (ports.rows.empty() && ports.unopened.empty()) return;
  out << "   SN Port            USB path      USB serial\n";
  for (std::size_t r = 0; r < ports.rows.size(); ++r) {
    line(ports.sns[r], ports.rows[r], "");
  }
  for (std::size_t u = 0; u < ports.unopened.size(); ++u) {
    const SerialDeviceRow& row = ports.unopened[u];
    line(ports.unopenedSns[u], row, row.note.empty() ? "not opened" : row.note);
  }
}

class ListCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("list", "Show the attached programmers as the main window lists them");
    sub->add_flag("--ports", ports_, "Also show each programmer's port, USB port path and USB serial number");
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    ConsoleMain main(cli);
    main.flow.open();
    const MainView& view = main.flow.view();
    const PortsOfList ports = PortsOf(cli, main.flow, view.rows.size());
    if (cli.options.json) {
      nlohmann::json rows = RowsJson(view);
      for (std::size_t r = 0; r < rows.size(); ++r) rows[r].update(PortJson(ports.rows[r]));
      nlohmann::json failures = nlohmann::json::array();
      for (const DetectionFailure& failure : main.flow.detectionFailures()) {
        failures.push_back({{"sn", SnText(static_cast<int>(failure.deviceIndex) + 1)},
                            {"deviceIndex", failure.deviceIndex},
                            {"message", failure.message}});
      }
      nlohmann::json unopened = nlohmann::json::array();
      for (std::size_t u = 0; u < ports.unopened.size(); ++u) {
        const SerialDeviceRow& row = ports.unopened[u];
        nlohmann::json j = PortJson(row);
        j["sn"] = ports.unopenedSns[u];
        j["note"] = row.note;
        unopened.push_back(j);
      }
      cli.printJson(nlohmann::json{{"status", view.statusText}, {"rows", rows}, {"notOpened", unopened}, {"notListed", failures}});
    } else {
      PrintRows(cli.out, view);
      // A simulated bench has no ports to show.
      if (ports_ && cli.host().serial() != nullptr) PrintPorts(cli.out, ports);
    }
    ReportDetectionFailures(cli, main.flow);
    main.flow.close();
    // Every attached programmer must have made its row; otherwise the list has said why not.
    const std::optional<std::uint32_t> count = cli.host().link().CountProgrammers();
    const bool whole = count && *count <= static_cast<std::uint32_t>(kMaxProgrammers) && view.rows.size() == *count &&
                       main.flow.detectionFailures().empty();
    const bool saved = cli.end();
    return whole && saved ? kExitOk : kExitFailed;
  }

private:
  bool ports_ = false;
};

}  // namespace

std::unique_ptr<Command> MakeListCommand() { return std::make_unique<ListCommand>(); }

}  // namespace fd
