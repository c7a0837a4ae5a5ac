#pragma once
// The main window's logic: programmer detection and the list, the current programmer,
// the gang Erase-Program-Verify run, Log, Help and the orderly release at close.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "app/AppState.h"
#include "app/DocumentOpener.h"
#include "app/HistoryLog.h"
#include "app/Prompter.h"
#include "app/SettingsFile.h"
#include "app/Timers.h"
#include "flows/main/MainView.h"
#include "link/Protocol.h"

namespace fd {

inline constexpr const char* kMsgMoreProgrammers = "More programmers are detected.";
inline constexpr const char* kMsgNoProgrammerSelected = "No programmer is selected.";
inline constexpr const char* kMsgCannotOpenLog = "Can not open log file!";
inline constexpr const char* kMsgCannotOpenManual = "Can not open user manual!";

struct MainFlowPorts {
  AppState& state;
  Bridge& bridge;
  Pacer& pacer;
  Prompter& prompter;
  Timers& timers;
  DocumentOpener& opener;
  // Local time for the history log; the real clock when empty.
  std::function<LocalTime()> localTime;
};

class MainFlow {
public:
  explicit MainFlow(MainFlowPorts ports);

  // Window opening: list set up, run phase 0, detection, timer 132 started.
  void open();
  void onTimer(int id);
  void DetectProgrammers();
  // The list's selection moved to `row` (-1: no row).
  void selectRow(int row);
  // The user ticked or cleared a row's check box.
  void setChecked(int row, bool checked);
  // Start / Cancel / Back, by run phase.
  void startButton();
  void openLog();
  void openHelp();
  // Close box or Esc: reset, unmark and close every programmer.
  void close();

  const MainView& view() const { return view_; }
  std::function<void()> changed;

  // Run state, in the window's order.
  std::array<int, kMaxProgrammers> ticked{};
  int gestureCounter = 0;
  int runPhase = 0;
  int selectedRow = -1;
  std::uint32_t lastDeviceCount = 0;
  std::array<BridgeHandle, kMaxProgrammers> handles{};
  std::array<std::uint8_t, kMaxProgrammers> resultCodes{};

  Protocol& protocol() { return protocol_; }

private:
  void notify();
  void enterResultView();
  void back();
  void startRun();
  void pollRun();
  void writeGangRecord();
  void closeHandle(int row);
  void setColumns(ColumnSet set);

  MainFlowPorts ports_;
  Protocol protocol_;
  SettingsFile settings_;
  MainView view_;
};

// Row texts from a ProgrammerInfo block: Target MCU, File Name, Modify Time, File Size.
std::array<std::string, 4> DetectionRowTexts(const ProgrammerInfo& block);
// 2-3-3 grouping of the last eight digits, stripped of leading '0' and ',' (12345 -> "12,345").
std::string FormatFileSize(std::uint32_t size);
// "Status" and "Operation result information" of a result code in the result view.
std::pair<std::string, std::string> ResultViewTexts(std::uint8_t code);

}  // namespace fd
