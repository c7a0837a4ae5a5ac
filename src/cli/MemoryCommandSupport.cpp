#include "cli/MemoryCommandSupport.h"

#include "app/SettingsFile.h"
#include "flows/memory/BlockList.h"
#include "formats/Hex.h"

namespace fd {

std::string SingleSnError(const std::string& value) {
  const bool digits = !value.empty() && value.size() <= 2 && value.find_first_not_of("0123456789") == std::string::npos;
  const int n = digits ? std::stoi(value) : 0;
  if (n < 1 || n > kMaxProgrammers) return "--sn takes one row number 01 to 08, not \"" + value + "\"";
  return {};
}

std::string NormalizedSn(const std::string& value) { return value.size() == 1 ? "0" + value : value; }

bool SelectProgrammer(CliContext& cli, MainFlow& main, const std::string& sn) {
  const MainView& view = main.view();
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    if (view.rows[r].sn != sn || main.handles()[r] == kNoHandle) continue;
    main.selectRow(static_cast<int>(r));
    return true;
  }
  cli.err << "ERROR: No programmer " << sn << " is detected.\n";
  return false;
}

bool LoadOnlineSetup(AppState& state, Prompter& prompter) {
  const SettingsFile settings(state.appDir + kSettingsFileName);
  state.productNumber = ProductKey(settings.read(kSectionProgrammer, kKeyProductNumber));
  const auto memory = ProductMemoryMap(DeviceDatabasePath(state), state.productNumber, state.userFlashStart);
  if (!memory.ok()) {
    prompter.error(kMcuFileMissingText);
    return false;
  }
  if (memory.value) {
    state.mcuTypeCode = memory.value->typeCode;
    state.dataFlashStart = memory.value->map.dataFlashStart;
    state.dataFlashEnd = memory.value->map.dataFlashEnd;
    state.userFlashStart = memory.value->map.userFlashStart;
    state.userFlashEnd = memory.value->map.userFlashEnd;
  }
  state.powerSet = static_cast<std::uint8_t>(ParseHex(settings.read(kSectionProgrammer, kKeyPowerSet)) & 0xFF);
  const std::string id = settings.read(kSectionProgrammer, kKeyIdCode);
  for (std::size_t k = 0; k < state.idCode.size(); ++k) {
    const std::string pair = 2 * k < id.size() ? id.substr(2 * k, 2) : std::string();
    state.idCode[k] = static_cast<std::uint8_t>(ParseHex(pair) & 0xFF);
  }
  return true;
}

std::string BlockNamesText(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace fd
