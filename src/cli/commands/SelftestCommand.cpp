// selftest (--device N | --port PATH): for the owner of a programmer, each part of the link
// tried in turn with its result and time: opening at the programmer's rate, the reset, the
// information block, the select mark on and off, and the busy and result lines.
#include <chrono>
#include <iomanip>

#include "cli/commands/Command.h"
#include "link/Protocol.h"

namespace fd {
namespace {

class SelftestCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("selftest", "Try a programmer's link step by step: reset, information block, "
                                                   "select mark, busy and result lines");
    auto* device = sub->add_option("--device", device_, "The programmer, by its place among those attached (0 = first)")
                       ->check(CLI::Range(0, kMaxProgrammers - 1));
    auto* port = sub->add_option("--port", port_, "The programmer on this port")->check([](const std::string& v) {
      return v.empty() ? std::string("the port is empty") : std::string();
    });
    device->excludes(port);
    port->excludes(device);
    sub->require_option(1);
    return sub;
  }

  int run(CliContext& cli) override {
    if (!port_.empty()) {
      if (!cli.options.simulate.empty()) {
        cli.err << "usage: --port picks a real programmer; a simulated bench has none.\n";
        return kExitUsage;
      }
      cli.options.choices = {{PortChoice::Kind::Port, port_}};
      device_ = 0;
    }
    if (!cli.begin()) return kExitFailed;
    Bridge& bridge = cli.host().bridge();
    Protocol protocol(bridge, cli.host().pacer());
    int failed = 0;
    using Steady = std::chrono::steady_clock;
    auto step = [&](const std::string& name, auto&& body) {
      const auto start = Steady::now();
      std::string detail;
      const bool ok = body(detail);
      const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
      cli.out << std::left << std::setw(22) << name << std::setw(6) << (ok ? "ok" : "FAIL") << std::right
              << std::setw(6) << ms << " ms" << (detail.empty() ? "" : "  " + detail) << '\n'
              << std::flush;
      if (!ok) ++failed;
      return ok;
    };

    std::uint32_t count = 0;
    BridgeHandle handle = kNoHandle;
    const bool opened = step("open", [&](std::string& detail) {
      const std::optional<std::uint32_t> counted = protocol.CountProgrammers();
      if (!counted) {
        detail = "the programmers can not be counted";
        return false;
      }
      count = *counted;
      if (static_cast<std::uint32_t>(device_) >= count) {
        detail = count == 0 ? std::string("no programmer is attached")
                            : "only " + std::to_string(count) + " attached";
        return false;
      }
      const std::string strings = protocol.ProductStrings(static_cast<std::uint32_t>(device_));
      const OpenedProgrammer opened = protocol.OpenProgrammer(static_cast<std::uint32_t>(device_));
      handle = opened.handle;
      if (opened.failure == OpenedProgrammer::Failure::CannotOpen) {
        detail = "the port can not be opened";
        return false;
      }
      if (!opened.ok()) {
        detail = "1,000,000 baud 8-N-1 can not be set";
        return false;
      }
      detail = "\"" + strings + "\"" + (strings == kProgrammerProductId ? "" : " (not the programmer's strings)");
      return true;
    });
    if (!opened) return finish(cli, protocol, handle, failed);

    auto status = [&](std::uint8_t& s) {
      const std::optional<std::uint8_t> read = protocol.ReadStatus(handle);
      s = read.value_or(0);
      return read.has_value();
    };
    auto bits = [](std::uint8_t s) {
      return std::string((s & kBusyBit) ? "busy" : "idle") + ", result " + ((s & kResultBit) ? "set" : "clear");
    };
    step("busy line in reset", [&](std::string& detail) {
      std::uint8_t s = 0;
      const bool held = protocol.DriveResetLine(handle, true);
      cli.host().pacer().spin(kResetSpin);
      const bool read = status(s);
      protocol.DriveResetLine(handle, false);
      detail = read ? bits(s) : std::string("the status can not be read");
      return held && read && (s & kBusyBit) != 0;
    });
    step("reset", [&](std::string& detail) {
      const Outcome o = protocol.ResetProgrammer(handle, 0);
      if (!o.ok() && !o.notices.empty()) detail = o.notices.front().text;
      return o.ok();
    });
    step("busy and result lines", [&](std::string& detail) {
      std::uint8_t s = 0;
      if (!status(s)) {
        detail = "the status can not be read";
        return false;
      }
      detail = bits(s);
      return (s & kBusyBit) == 0 && (s & kResultBit) != 0;
    });
    step("information block", [&](std::string& detail) {
      ProgrammerInfo block{};
      const Outcome o = protocol.ReadProgrammerInfo(handle, block);
      if (!o.ok()) {
        handle = kNoHandle;  // a failed read closes the handle
        detail = "no block came";
        return false;
      }
      std::string name = InfoMcuName(block);
      while (!name.empty() && name.back() == ' ') name.pop_back();
      detail = block[info::kTypeCode] == 0xFF ? "no setup stored" : "product " + name;
      return true;
    });
    if (handle == kNoHandle) return finish(cli, protocol, handle, failed);
    step("select mark on", [&](std::string&) { return protocol.WriteSelectMark(handle, kMarkSelected) == kBridgeOk; });
    step("select mark off", [&](std::string&) { return protocol.WriteSelectMark(handle, kMarkCleared) == kBridgeOk; });
    return finish(cli, protocol, handle, failed);
  }

private:
  int finish(CliContext& cli, Protocol& protocol, BridgeHandle handle, int failed) {
    if (handle != kNoHandle) protocol.CloseProgrammer(handle);
    cli.out << (failed == 0 ? "All steps passed.\n" : std::to_string(failed) + " step(s) failed.\n");
    const bool saved = cli.end();
    return failed == 0 && saved ? kExitOk : kExitFailed;
  }

  int device_ = 0;
  std::string port_;
};

}  // namespace

std::unique_ptr<Command> MakeSelftestCommand() { return std::make_unique<SelftestCommand>(); }

}  // namespace fd
