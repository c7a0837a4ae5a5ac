#include "flows/single/OnlineSetup.h"

#include <string_view>

#include "formats/DeviceDatabase.h"
#include "formats/Hex.h"

namespace fd {

std::string ProductNotInDatabaseText(const std::string& product) {
  return "Can not find the product " + std::string(TrimTrailingSpaces(product)) + " in the MCU file!";
}

OnlineSetupRead ReadOnlineSetup(AppState& state, const SettingsFile& settings) {
  OnlineSetupRead read;
  state.productNumber = ProductKey(settings.read(kSectionProgrammer, kKeyProductNumber));
  const auto memory = ProductMemoryMap(DeviceDatabasePath(state), state.productNumber, state.userFlashStart);
  if (!memory.ok()) {
    read = {OnlineSetupRead::Line::DatabaseUnreadable, memory.error};
  } else if (memory.value) {
    state.mcuTypeCode = memory.value->typeCode;
    state.dataFlashStart = memory.value->map.dataFlashStart;
    state.dataFlashEnd = memory.value->map.dataFlashEnd;
    state.userFlashStart = memory.value->map.userFlashStart;
    state.userFlashEnd = memory.value->map.userFlashEnd;
  } else if (state.productNotSelected()) {
    read.line = OnlineSetupRead::Line::NotSelected;
  } else {
    read = {OnlineSetupRead::Line::NotInDatabase, ProductNotInDatabaseText(state.productNumber)};
  }

  state.powerSet = static_cast<std::uint8_t>(ParseHex(settings.read(kSectionProgrammer, kKeyPowerSet)));
  const std::string id = settings.read(kSectionProgrammer, kKeyIdCode);
  for (std::size_t k = 0; k < state.idCode.size(); ++k) {
    const std::string_view pair = 2 * k < id.size() ? std::string_view(id).substr(2 * k, 2) : std::string_view();
    state.idCode[k] = static_cast<std::uint8_t>(ParseHex(pair));
  }
  return read;
}

bool OnlineProductLineReady(const AppState& state, Prompter& prompter) {
  if (state.productNotSelected()) return true;
  const auto line = FindProductLine(DeviceDatabasePath(state), state.productNumber);
  if (!line.ok()) {
    prompter.error(line.error);
    return false;
  }
  if (!line.value) {
    prompter.error(ProductNotInDatabaseText(state.productNumber));
    return false;
  }
  return true;
}

}  // namespace fd
