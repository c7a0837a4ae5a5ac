// info --device N: reset one programmer and show what its store holds.
#include <iomanip>

#include "cli/JsonText.h"
#include "cli/commands/Command.h"
#include "flows/common/WindowProtocol.h"
#include "formats/Hex.h"
#include "link/PowerCodes.h"

namespace fd {
namespace {

using nlohmann::json;

std::string PowerText(std::uint8_t code) {
  switch (code) {
    case kPowerCodeNone: return "target's own";
    case kPowerCode3V: return "3 V";
    case kPowerCode5V: return "5 V";
    default: return "unknown (" + HexText(code, 2) + ")";
  }
}

// What `info` prints about a programmer's block.
json DecodeInfo(const ProgrammerInfo& block) {
  json j;
  const bool hasSetup = block[info::kTypeCode] != 0xFF;
  const bool hasFile = hasSetup && block[info::kFileSize] != 0xFF;
  j["setup"] = hasSetup;
  j["typeCode"] = HexText(block[info::kTypeCode], 2);
  j["power"] = HexText(block[info::kPower], 2);
  j["powerText"] = PowerText(block[info::kPower]);
  j["idCode"] = HexBytes(block.data() + info::kIdCode, info::kIdCodeSize);
  const auto texts = DetectionRowTexts(block);
  // As `list` gives it: the name, without the padding of its stored width.
  std::string product = hasSetup ? InfoMcuName(block) : "";
  product.erase(product.find_last_not_of(' ') + 1);
  j["product"] = product;
  j["file"] = hasFile ? InfoFileName(block) : "";
  json blocks = json::array();
  for (std::size_t i = 0; i < info::kBlockEntries; ++i) {
    const std::uint16_t page = InfoBlockEntry(block, i);
    if (page == 0xFFFF) continue;
    blocks.push_back({{"entry", i}, {"page", page}, {"address", "0x" + HexText(static_cast<std::uint64_t>(page) << 8, 5)}});
  }
  j["blocks"] = blocks;
  j["modified"] = hasFile ? texts[2] : "";
  j["size"] = hasFile ? InfoFileSize(block) : 0;
  j["sizeText"] = hasFile ? texts[3] : "";
  j["pages"] = hasFile ? InfoPageCount(block) : 0;
  return j;
}

void PrintInfo(std::ostream& out, const json& j, const ProgrammerInfo& block) {
  const auto line = [&](const char* label, const std::string& value) {
    out << std::left << std::setw(12) << label << value << '\n';
  };
  const char typeChar = static_cast<char>(block[info::kTypeCode]);
  const bool setup = j["setup"].get<bool>();
  line("Type code", j["typeCode"].get<std::string>() +
                        (setup ? std::string(" ('") + (typeChar >= 0x20 && typeChar < 0x7F ? typeChar : '?') + "')"
                               : std::string(" (no setup stored)")));
  line("Power", j["power"].get<std::string>() + " (" + j["powerText"].get<std::string>() + ")");
  line("ID code", j["idCode"]);
  line("Product", PrintableText(j["product"].get<std::string>()));
  if (j["file"].get<std::string>().empty() && j["size"].get<std::uint32_t>() == 0) {
    line("File", "(no file stored)");
  } else {
    std::string file = PrintableText(j["file"].get<std::string>());
    file.erase(file.find_last_not_of(' ') + 1);  // stored padded with spaces
    line("File", file + ".mot");
    line("Time", j["modified"]);
    line("Size", std::to_string(j["size"].get<std::uint32_t>()) + " bytes");
    line("Pages", std::to_string(j["pages"].get<unsigned>()));
  }
  std::string blocks;
  for (const auto& b : j["blocks"]) blocks += (blocks.empty() ? "" : " ") + b["address"].get<std::string>();
  line("Blocks", blocks.empty() ? "(none)" : blocks);
}

class InfoCommand final : public Command {
public:
  CLI::App* define(CLI::App& app) override {
    CLI::App* sub = app.add_subcommand("info", "Reset one programmer and show its stored setup");
    sub->add_option("--device", device_, "Device index (0 = first attached)")
        ->required()
        ->check(CLI::Validator(
            [](const std::string& v) {
              const bool digits = !v.empty() && v.size() <= 9 && v.find_first_not_of("0123456789") == std::string::npos;
              return digits ? std::string() : "--device takes a device number (0 = first), not \"" + v + "\"";
            },
            "N"));
    return sub;
  }

  int run(CliContext& cli) override {
    if (!cli.begin()) return kExitFailed;
    HostSession& s = cli.host();
    Protocol& protocol = s.link();
    WindowProtocol windows(s.state(), protocol, *cli.prompter);
    const std::optional<std::uint32_t> counted = protocol.CountProgrammers();
    if (!counted) {
      cli.err << "ERROR: The attached programmers can not be counted.\n";
      return kExitFailed;
    }
    const std::uint32_t count = *counted;
    // The same limit as the list: beyond eight, none is driven.
    if (count > static_cast<std::uint32_t>(kMaxProgrammers)) {
      cli.prompter->message(kCaptionError, MsgIcon::Warning, kMsgMoreProgrammers, MsgButtons::Ok);
      return kExitFailed;
    }
    if (device_ >= count) {
      cli.err << "ERROR: No programmer at device " << device_ << " (" << count << " attached).\n";
      return kExitFailed;
    }
    const OpenedProgrammer opened = protocol.OpenProgrammer(device_);
    if (opened.failure == OpenedProgrammer::Failure::CannotOpen) {
      cli.err << "ERROR: Can not open the programmer!\n";
      return kExitFailed;
    }
    if (!opened.ok()) {
      cli.err << "ERROR: Can not set up the link to the programmer!\n";
      return kExitFailed;
    }
    const BridgeHandle handle = opened.handle;
    if (!windows.ResetProgrammer(handle, 0)) {
      protocol.CloseProgrammer(handle);
      return kExitFailed;
    }
    ProgrammerInfo block{};
    if (!protocol.ReadProgrammerInfo(handle, block).ok()) {
      cli.err << "ERROR: Can not get information!\n";
      return kExitFailed;
    }
    protocol.CloseProgrammer(handle);
    const json decoded = DecodeInfo(block);
    if (cli.options.json) {
      // The block's texts are single bytes, shown as the windows show them.
      json shown = decoded;
      for (const char* key : {"product", "file"}) shown[key] = Latin1Text(decoded[key].get<std::string>());
      cli.printJson(shown);
    } else {
      PrintInfo(cli.out, decoded, block);
    }
    return cli.end() ? kExitOk : kExitFailed;
  }

private:
  std::uint32_t device_ = 0;
};

}  // namespace

std::unique_ptr<Command> MakeInfoCommand() { return std::make_unique<InfoCommand>(); }

}  // namespace fd
