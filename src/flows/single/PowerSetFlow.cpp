#include "flows/single/PowerSetFlow.h"

#include "formats/Hex.h"

namespace fd {

std::uint8_t PowerCodeOf(PowerChoice choice) {
  switch (choice) {
    case PowerChoice::Output3V: return kPowerCode3V;
    case PowerChoice::Output5V: return kPowerCode5V;
    case PowerChoice::NoOutput: break;
  }
  return kPowerCodeNone;
}

PowerSetFlow::PowerSetFlow(AppState& state, Prompter& prompter)
    : state_(state), prompter_(prompter), settings_(state.appDir + kSettingsFileName) {}

void PowerSetFlow::onOpen() {
  view_ = {};
  if (state_.offlineMode != 0) {
    const std::uint8_t code = state_.programmerInfo[info::kPower];
    view_.choice = code == kPowerCode3V   ? PowerChoice::Output3V
                   : code == kPowerCode5V ? PowerChoice::Output5V
                                          : PowerChoice::NoOutput;
  } else {
    // Only the first character counts here (the Single Operation window reads the whole
    // value as a number).
    const std::string stored = settings_.read(kSectionProgrammer, kKeyPowerSet);
    const char first = stored.empty() ? '\0' : stored.front();
    view_.choice = first == '3' ? PowerChoice::Output3V : first == '5' ? PowerChoice::Output5V : PowerChoice::NoOutput;
  }
}

void PowerSetFlow::choose(PowerChoice choice) {
  view_.choice = choice;
  notify();
}

bool PowerSetFlow::ok() {
  const std::uint8_t code = PowerCodeOf(view_.choice);
  if (state_.offlineMode != 0) {
    state_.programmerInfo[info::kPower] = code;
  } else {
    if (!settings_.write(kSectionProgrammer, kKeyPowerSet, HexText(code, 2))) {
      prompter_.error(kMsgSettingsNotWritten);
      return false;
    }
    state_.powerSet = code;
  }
  end(FlowResult::Ok);
  return true;
}

}  // namespace fd
