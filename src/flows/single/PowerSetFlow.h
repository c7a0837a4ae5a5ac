#pragma once
// The Power Setting window without its widgets: whether the programmer supplies the
// target with 3 V, 5 V or leaves it to the target's own supply, stored where the Single
// Operation window's mode keeps its settings (on-line: the settings file and the process
// state; off-line: the programmer's information block, written by the caller).
#include <cstdint>
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "app/SettingsFile.h"
#include "flows/common/ModalFlow.h"
#include "flows/single/PowerSetView.h"
#include "link/PowerCodes.h"

namespace fd {

inline constexpr const char* kPowerTitle = "Power Setting";
inline constexpr const char* kPower3VCaption = "Output 3V";
inline constexpr const char* kPower5VCaption = "Output 5V";
inline constexpr const char* kPowerNoneCaption = "Do not output (Use target power)";
inline constexpr const char* kPowerOkCaption = "&OK";

std::uint8_t PowerCodeOf(PowerChoice choice);

class PowerSetFlow final : public ModalFlow {
public:
  using View = PowerSetView;
  PowerSetFlow(AppState& state, Prompter& prompter);

  std::string title() const override { return kPowerTitle; }
  using ModalFlow::open;

  // A click on a radio button: it is set and the other two cleared.
  void choose(PowerChoice choice);
  // Stores the chosen code and ends the window with OK; false (window stays, nothing
  // stored) when the settings file cannot be written.
  bool ok();

  const View& view() const { return view_; }

private:
  void onOpen() override;

  AppState& state_;
  Prompter& prompter_;
  SettingsFile settings_;
  View view_;
};

}  // namespace fd
