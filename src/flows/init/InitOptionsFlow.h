#pragma once
// The first-run Initiation window without its widgets: whether operations go to the
// history log, and whether the ID code goes with them.
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "flows/common/DialogHost.h"
#include "flows/common/ModalFlow.h"
#include "flows/init/InitOptionsView.h"

namespace fd {

inline constexpr const char* kInitTitle = "Initiation";
inline constexpr const char* kInitText =
    "Thanks for selecting Quorvel product. For your convinien, please set the following items.";
inline constexpr const char* kInitLogCaption = "Auto save the operation to history";
inline constexpr const char* kInitIdCaption = "Auto save the ID code when load new file";
inline constexpr const char* kInitOkCaption = "&OK";

class InitOptionsFlow final : public ModalFlow {
public:
  using View = InitOptionsView;
  explicit InitOptionsFlow(SettingsFile& settings);

  std::string title() const override { return kInitTitle; }
  // The log box from "Auto save log", the ID box from "Auto save ID" (ticked even while
  // disabled), the ID box enabled only with the log box ticked.
  using ModalFlow::open;
  void setLogChecked(bool on);  // a click on the log box: enables or disables the ID box, keeping its tick
  void setIdChecked(bool on);   // a click on the ID box (ignored while disabled)
  // Stores both keys: "1"/"0" from the boxes, both "0" when the log box is clear, and ends
  // the window. Closing the window without OK stores nothing. False when the settings file
  // could not be written (the window still ends: the user's choice is the file's to keep).
  bool ok();

  const View& view() const;

private:
  void onOpen() override;

  SettingsFile& settings_;
  View view_;
};

// Start-up with the Initiation window of a first run opened through `dialogs`.
StartupReport RunStartup(AppState& state, DialogHost& dialogs);

}  // namespace fd
