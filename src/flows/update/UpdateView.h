#pragma once
// What the Updating window shows: its two-line text and the progress bar (0 to 100).
#include <string>

namespace fd {

inline constexpr const char* kUpdatingText = "Wait for updating...\nDo not disconnect the USB cable!";

struct UpdateView {
  std::string text = kUpdatingText;
  int progress = 0;
  // True once the first erase went out: from then on the window cannot be closed until
  // the boot loader dialogue has ended, since a half-written flash leaves no firmware.
  bool closeRefused = false;
};

}  // namespace fd
