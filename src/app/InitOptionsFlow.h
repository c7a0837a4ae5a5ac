#pragma once
// The first-run Initiation window without its widgets: whether operations go to the
// history log, and whether the ID code goes with them.
#include <functional>

#include "app/SettingsFile.h"

namespace fd {

inline constexpr const char* kInitTitle = "Initiation";
inline constexpr const char* kInitText =
    "Thanks for selecting Quorvel product. For your convinien, please set the following items.";
inline constexpr const char* kInitLogCaption = "Auto save the operation to history";
inline constexpr const char* kInitIdCaption = "Auto save the ID code when load new file";
inline constexpr const char* kInitOkCaption = "&OK";

inline constexpr int kInitLogBoxId = 1050;
inline constexpr int kInitIdBoxId = 1051;

class InitOptionsFlow {
public:
  explicit InitOptionsFlow(SettingsFile& settings);

  struct View {
    bool logChecked = false;
    bool idChecked = false;
    bool idEnabled = false;
  };

  // Box 1050 from "Auto save log", box 1051 from "Auto save ID" (ticked even while
  // disabled), 1051 enabled only with 1050 ticked.
  void open();
  void setLogChecked(bool on);  // click on box 1050: enables or disables 1051, keeping its tick
  void setIdChecked(bool on);   // click on box 1051 (ignored while disabled)
  // Stores both keys: "1"/"0" from the boxes, both "0" when 1050 is clear. Closing the
  // window without OK stores nothing.
  void ok();

  const View& view() const;
  std::function<void()> changed;  // called after every state change

private:
  void notify();

  SettingsFile& settings_;
  View view_;
};

}  // namespace fd
