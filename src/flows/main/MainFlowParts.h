#pragma once
// What the main window's files share and nobody else needs: its timer periods, the
// Target MCU cell of a programmer without a setup, and the one way the list changes its
// column set.
#include "flows/main/MainView.h"

namespace fd::mainwindow {

inline constexpr int kDetectionPeriodMs = 200;
inline constexpr int kRunPeriodMs = 100;
inline constexpr const char* kUnknownSix = "      ??????";
inline constexpr const char* kNotApplicable = "N.A.";

// The list shows `set`: texts of one column set never show under another's titles, so
// every cell starts empty when the set changes; no row is drawn as failed.
void SetColumns(MainView& view, ColumnSet set);

}  // namespace fd::mainwindow
