#pragma once
// What the main window shows, as plain data. The flow fills it; a view only draws it and
// forwards clicks.
#include <array>
#include <string>
#include <vector>

#include "link/ProgrammerLimit.h"

namespace fd {

inline constexpr const char* kMainCaption = "ZK40 Family Flashdock";
inline constexpr const char* kColumnLabel =
    "   SN   Target MCU        File Name                                   Modify Time          File Size";
inline constexpr const char* kMenuSetUpTickedLikeSelected = "Set Up Ticked Like Selected";
inline constexpr const char* kMenuLoadFileToTicked = "Load File to Ticked\u2026";
inline constexpr const char* kMenuTickFailedRowsOnly = "Tick failed rows only";
inline constexpr const char* kMenuResetCounts = "Reset counts";
inline constexpr const char* kMenuCheckImages = "Check images against file\u2026";
inline constexpr const char* kMenuStopCheckingImages = "Stop checking images";
inline constexpr const char* kCheckImagesTitle = "Check images against file";
inline constexpr const char* kMenuLeaveOperatorMode = "Leave Operator Mode";
inline constexpr const char* kAboutMenuText = "&About Quorvel Flashdock";
inline constexpr const char* kAboutCaption = "About Quorvel Flashdock";
inline constexpr const char* kVersionText = "TBX_V_200 Version 1.0";

enum class ColumnSet { Detection, Run, Result };
enum class ListTextColor { Green, Black, Yellow };  // RGB 0,255,0 / 0,0,0 / 255,255,0
enum class ColumnAlign { Left, Center, Right };

struct ColumnSpec {
  std::string title;
  ColumnAlign align;
  int width;  // pixels
};

// The columns of a set, "SN" first.
std::vector<ColumnSpec> ColumnsOf(ColumnSet set);

struct MainRow {
  std::string sn;                 // "01" .. "08"
  std::vector<std::string> cells; // the columns after "SN", as many as the set has
  bool checked = false;           // the row's check box
  bool failed = false;            // result view: this row did not succeed (drawn in red)
  // The first 12 digits of the SHA-256 of the image this host loaded into the programmer,
  // when the run log shows the load of what it holds now; empty when not known.
  std::string imageSha;
};

struct ProgressBar {
  bool visible = false;
  int value = 0;  // 0..100
};

struct MainView {
  std::vector<MainRow> rows;
  ColumnSet columns = ColumnSet::Detection;
  ListTextColor textColor = ListTextColor::Green;
  bool listEnabled = true;
  int selectedRow = -1;  // the row shown selected in the list
  std::string statusText = "No programmer is detected";
  std::string startCaption = "&Start";
  bool startEnabled = false;
  bool offlineEnabled = false;
  bool onlineEnabled = false;
  std::array<ProgressBar, kMaxProgrammers> progress{};
  // The programmers of this session's runs, passed, failed and in all, under the list.
  std::string countsLine;
  // Operator mode: only what a line operator needs shows. Off-line Set, On-line Test and
  // the set-up entries of the context menu are hidden; the menu offers to leave the mode.
  bool operatorMode = false;
};

}  // namespace fd
