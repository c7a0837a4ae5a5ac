#pragma once
// The Loading window's state as plain data: what its texts, bar and animation show.
#include <cstdint>
#include <string>

namespace fd {

inline constexpr const char* kLoadingTitle = "Loading";
inline constexpr const char* kLoadingFileNameInitial = "Load file name";
inline constexpr const char* kLoadingProductInitial = "Programmer";
inline constexpr const char* kLoadingRemainInitial = "Remain time: 59m 59s";
inline constexpr const char* kLoadingPrepareText = "Wait for prepare load data...";
inline constexpr const char* kLoadingCancelCaption = "&Cancel";

struct LoadingView {
  std::string fileName = kLoadingFileNameInitial;
  std::string product = kLoadingProductInitial;  // on-line: the product; off-line unchanged
  std::string status = kLoadingRemainInitial;    // the progress text under the bar
  std::uint32_t barPosition = 0;
  std::uint32_t barRange = 0;                    // 0 until the pages are known
  bool animationPlaying = false;
};

}  // namespace fd
