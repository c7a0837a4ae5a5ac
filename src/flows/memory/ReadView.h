#pragma once
// The Read window as plain data: the status line, the progress bar, the Pause/Go and Save
// buttons, and the hex view with the line a jump put at its top.
#include <cstdint>
#include <string>
#include <vector>

namespace fd {

inline constexpr const char* kPauseCaption = "&Pause";
inline constexpr const char* kGoCaption = "&Go";

struct ReadView {
  std::string status;
  int progressMax = 0;  // pages to read
  int progressPos = 0;  // pages read
  bool progressVisible = true;
  std::string pauseCaption = kPauseCaption;
  bool pauseEnabled = true;
  bool saveEnabled = false;
  std::vector<std::string> lines;  // the hex view, in ascending address order
  // The line a jump made the top line and selected; -1 before the first jump. `jumps`
  // counts the jumps, so a second jump to the same line scrolls there again.
  int topLine = -1;
  std::uint64_t jumps = 0;
};

}  // namespace fd
