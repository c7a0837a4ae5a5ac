#pragma once
// What the desktop program does with a start that cannot go on (a bad argument, a bench
// file that cannot be read): it says why on stderr and, since a program started from a
// desktop menu has no terminal, in a message box as well.
#include <QString>
#include <functional>
#include <optional>

#include "gui/app/GuiArgs.h"

namespace fd {

inline constexpr int kExitUsage = 2;

// Whether a box can be seen on the platform Qt runs on: on every real one; not on the
// offscreen and minimal platforms, where nobody could close it and the start would hang.
bool StartErrorBoxVisible(const QString& platformName);

// Shows the box: an error box captioned "ERROR" with the reason.
void ShowStartErrorBox(const QString& text);

// Prints the reason to stderr and, when `showBox`, passes it to `box`.
void ReportStartError(const QString& text, bool showBox,
                      const std::function<void(const QString&)>& box = ShowStartErrorBox);

// Acts on parsed arguments that end the program before its window: the help text goes to
// stdout (exit 0), a usage error is reported (exit 2). Nothing for arguments to run with.
std::optional<int> EarlyExit(const GuiArgs& args, bool showBox,
                             const std::function<void(const QString&)>& box = ShowStartErrorBox);

}  // namespace fd
