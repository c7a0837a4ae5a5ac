#include "cli/MemoryCommandSupport.h"

#include "app/SettingsFile.h"
#include "flows/memory/BlockList.h"
#include "flows/single/OnlineSetup.h"
#include "formats/Hex.h"
#include "link/ProgrammerSn.h"

namespace fd {

std::string SingleSnError(const std::string& value) {
  if (!ParseSn(value)) return "--sn takes one row number 01 to 08, not \"" + value + "\"";
  return {};
}

std::string NormalizedSn(const std::string& value) { return SnTextOf(value); }

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
  ReadOnlineSetup(state, SettingsFile(state.appDir + kSettingsFileName));
  return OnlineProductLineReady(state, prompter);
}

std::string BlockNamesText(const std::vector<std::string>& names) {
  if (names.empty()) return "none";
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace fd
