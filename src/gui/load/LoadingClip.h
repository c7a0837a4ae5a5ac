#pragma once
// The Loading window's animation: a looping clip of 17 frames of 260 x 40 pixels at 10 frames
// a second, drawn by us once, the first time a window asks for it. A page leaves the file
// on the left, travels along the cable and drops into the programmer on the right, whose
// lamp blinks as it arrives.
#include <QPixmap>
#include <vector>

namespace fd {

inline constexpr int kLoadingClipFrames = 17;
inline constexpr int kLoadingClipWidth = 260;
inline constexpr int kLoadingClipHeight = 40;
inline constexpr int kLoadingClipFrameMs = 100;

const std::vector<QPixmap>& LoadingClip();

}  // namespace fd
