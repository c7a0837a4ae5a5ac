#pragma once
// The main window's logic: the list and its run phases, the current programmer, the check
// boxes, Log, Help and the orderly release at close. Its parts have their own files:
// detection (MainDetection.cpp), the gang run (GangRunFlow, a long operation that works in
// the list), the windows it opens (MainSubWindows.cpp) and the set-up and load of the
// ticked programmers (MainMultiLoad.cpp).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "app/DocumentOpener.h"
#include "app/HistoryLog.h"
#include "app/Prompter.h"
#include "app/RunLog.h"
#include "app/SettingsFile.h"
#include "app/Timers.h"
#include "flows/common/DialogHost.h"
#include "flows/common/WindowProtocol.h"
#include "flows/load/MultiLoad.h"
#include "flows/main/GangRunFlow.h"
#include "flows/main/MainView.h"
#include "flows/update/UpdateGesture.h"
#include "link/Clock.h"
#include "link/Protocol.h"

namespace fd {

inline constexpr const char* kMsgMoreProgrammers = "More programmers are detected.";
inline constexpr const char* kMsgNoProgrammerSelected = "No programmer is selected.";
inline constexpr const char* kMsgCannotOpenLog = "Can not open log file!";
inline constexpr const char* kMsgCannotOpenManual = "Can not open user manual!";
inline constexpr const char* kMsgHistoryNotWritten = "The history record could not be written.";
inline constexpr const char* kMsgRunLogNotWritten = "The run log record could not be written.";
inline constexpr const char* kDetectOpenFailed = "it could not be opened";
inline constexpr const char* kDetectLineFailed = "its line could not be set up (baud rate or framing refused)";
inline constexpr const char* kDetectInfoFailed = "it did not give its information block";
inline constexpr const char* kMsgSingleOperationNotBuilt =
    "The Single Operation window is not available in this version yet.";

// Where the window is: detection (Start), a gang run (Cancel), the result view (Back).
// A load of several programmers runs in the list as well: Loading (Cancel), its results
// (Back).
enum class RunPhase { Idle = 0, Running = 1, Results = 2, Loading = 3, LoadResults = 4 };

// An attached programmer that got no row at the last rebuild of the list, and why. The
// rows are numbered without it, so a row number no longer names the same programmer as
// the device order would.
struct DetectionFailure {
  std::uint32_t deviceIndex = 0;
  std::string message;
};

// The programmers that took part in this session's gang runs (since the program started or
// the counts were reset): passed, and failed (an error, a start that did not reach the
// programmer, a Cancel before it answered: it was not programmed).
struct SessionCounts {
  int passed = 0;
  int failed = 0;
  int total() const { return passed + failed; }
  bool operator==(const SessionCounts&) const = default;
};
// The counts as both programs print them: "Passed: 7  Failed: 1  Total: 8".
std::string SessionCountsLine(const SessionCounts& counts);

struct MainFlowPorts {
  AppState& state;
  Bridge& bridge;
  Pacer& pacer;
  Prompter& prompter;
  Timers& timers;
  DocumentOpener& opener;
  // Local time for the history log; the real clock when empty.
  std::function<LocalTime()> localTime;
  // Opens the Single Operation window and the windows it opens; none: the command says it
  // is not available.
  DialogHost* dialogs = nullptr;
  // The session's time: the gang run's progress and the duration its run log records, and
  // the Updating window's progress; none: no firmware update, and the machine's monotonic
  // clock for the gang run.
  Clock* clock = nullptr;
  // Runs the gang run to its end when Start is pressed, as the command line runs every
  // long operation; none: the run goes on in the list, ticked by `timers`, and Start
  // returns at once (the window).
  DialogHost* runner = nullptr;
  // Rows numbered by where their programmers are (device index + 1), so a programmer that
  // fails detection keeps its number and the others keep theirs (the command line, where
  // a script names a row by number); otherwise numbered in the order detected.
  bool stableRows = false;
  // Where a row's programmer is, for the run log the window writes when the process state
  // has no run log of its own; none: nothing known (the simulated bench).
  std::function<RunPortIdentity(BridgeHandle)> identify{};
  // The window opens in operator mode (the desktop's --operator or its setting). The flow
  // never reads that setting itself: the command line's commands are no operator's window.
  bool operatorMode = false;
};

class MainFlow {
public:
  explicit MainFlow(MainFlowPorts ports);
  ~MainFlow();
  MainFlow(const MainFlow&) = delete;
  MainFlow& operator=(const MainFlow&) = delete;

  // Window opening: list set up, no run, detection, the detection timer started.
  void open();
  // Detection opens only the programmers at these device indexes (a command that acts on
  // some of them never opens, resets or locks the others); all of them when empty. Set
  // before open().
  void openOnly(std::vector<std::uint32_t> deviceIndexes) { openOnly_ = std::move(deviceIndexes); }
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
  // Off-line Set and On-line Test: detection stops, the current programmer is reset and
  // read, and the Single Operation window opens for it; after Off-line Set the list is
  // detected afresh; the check boxes come back as the last detection tick saved them.
  void offlineSet();
  void onlineTest();
  // The context menu's "Set Up Ticked Like Selected": the selected programmer's product,
  // ID code and power written to every other ticked one, then the list detected afresh.
  void setUpTickedLikeSelected();
  // "Load File to Ticked...": one file chosen and loaded into every ticked programmer at
  // once, each row with its own bar and then its result; Cancel stops all, Back returns.
  void loadFileToTicked();
  // Whether the two entries are offered: idle and not in operator mode, and for the load
  // every ticked row holding one and the same product; for the set-up a selected row and
  // another ticked one.
  bool canSetUpTickedLikeSelected() const;
  bool canLoadFileToTicked() const;
  // The result view's "Tick failed rows only": exactly the rows that took part in the run
  // and did not succeed are ticked for the next Start (Back keeps the ticks). Offered in
  // the result view while such a row is there.
  bool canTickFailedRowsOnly() const;
  void tickFailedRowsOnly();
  // The image file every ticked programmer must hold: Start refuses, naming them, while one
  // does not (checked afresh at each Start, the file's stamp read again). Empty: no check.
  void expectImage(const std::string& path);
  const std::string& expectedImage() const { return expectedImage_; }
  // The check of the ticked rows now, with its message: the warning that names those that
  // differ, or (when `sayOk`) that all of them hold it. True when all do.
  bool checkExpectedImage(bool sayOk);
  // "Check images against file...": the file chosen, expected from now on, and checked at
  // once. Offered while the list is idle with a row in it.
  bool canCheckImages() const;
  void checkImagesAgainstFile();
  // The run key (a key or a foot switch): Start while the list is idle, Back from a result
  // view. It never cancels: during a run or a load it does nothing.
  void runKey();
  // The run key's text as the settings give it (empty: the default key).
  std::string runKeySetting() const;

  // This session's counts, as the line under the list shows them. They grow when a run's
  // results show; "Reset counts" sets them to zero, offered whenever no run is running.
  const SessionCounts& sessionCounts() const { return counts_; }
  bool canResetSessionCounts() const;
  void resetSessionCounts();

  // Operator mode (as the ports ask for it): Off-line Set, On-line Test,
  // the set-up of the ticked rows and the firmware update gesture are refused until the
  // mode is left. Leaving it holds for this session only; the settings are not changed.
  bool operatorMode() const { return view_.operatorMode; }
  void leaveOperatorMode();

  // The load of the last "Load File to Ticked..." (none before the first).
  const MultiLoad* multiLoad() const { return multiLoad_.get(); }

  // Close box or Esc: reset, unmark and close every programmer.
  void close();
  // The list's double-click and right-click: the steps of the hidden gesture that opens
  // the firmware update on the empty list (no step in operator mode).
  void listDoubleClick();
  void listRightClick();
  int gestureCounter() const { return gesture_.counter(); }

  const MainView& view() const { return view_; }
  std::function<void()> changed;

  RunPhase runPhase() const { return runPhase_; }
  // The current programmer's row (-1: none), even while the list shows no selection.
  int selectedRow() const { return selectedRow_; }
  const std::array<BridgeHandle, kMaxProgrammers>& handles() const { return handles_; }
  // Rows that take part in the run (or took part in the last one), by row.
  const std::array<int, kMaxProgrammers>& ticked() const { return ticked_; }
  std::array<std::uint8_t, kMaxProgrammers> resultCodes() const;
  // True when the row's programmer holds a setup (its Target MCU is known).
  bool rowHasSetup(int row) const;
  // The rows of the last gang run, as the result view shows them.
  std::vector<RowResult> results() const;
  // The attached programmers the last rebuild of the list left out, in device order.
  const std::vector<DetectionFailure>& detectionFailures() const { return detectionFailures_; }

private:
  void notify();
  void back();
  void startRun();
  void writeGangRecord();
  void closeHandle(int row);
  // Resets the programmers together and shows each failure's message, in their order;
  // true for each one that came out of reset.
  std::vector<bool> resetShowingFailures(const std::vector<BridgeHandle>& handles, int sendMark);

  void singleOperation(bool offline);
  std::vector<int> tickedRows() const;
  void showMultiLoad();
  void leaveMultiLoad();
  void redetectKeepingBoxes();
  void updateMode();
  // The check boxes as a detection tick saves them.
  void saveTicked();

  MainFlowPorts ports_;
  Protocol protocol_;
  WindowProtocol windows_;
  SettingsFile settings_;
  MainView view_;

  // Run state, in the window's order.
  std::array<int, kMaxProgrammers> ticked_{};
  UpdateGesture gesture_;
  RunPhase runPhase_ = RunPhase::Idle;
  int selectedRow_ = -1;
  std::uint32_t lastDeviceCount_ = 0;
  std::array<BridgeHandle, kMaxProgrammers> handles_{};
  // The last gang run: kept after Back, so its results can still be read.
  std::optional<GangRunFlow> run_;
  // The progress estimate's time when no clock is given.
  RealClock ownClock_;
  bool historyFailureShown_ = false;
  // The run log's view of the gang run: each ticked row as Start found it, and whether the
  // run's lines are written.
  void writeRunLog();
  // The run's programmers added to the session's counts, once its results show.
  void countRun();
  void showCounts();
  SessionCounts counts_;
  std::vector<std::pair<std::size_t, RunRecord>> runRecords_;
  std::uint64_t runStartUs_ = 0;
  bool runLogged_ = false;
  // The run log of a process state that has none (the window): its loss is said once.
  std::unique_ptr<RunLogWriter> ownRunLog_;
  // What each row's programmer held when the list was built.
  std::array<ProgrammerInfo, kMaxProgrammers> blocks_{};
  std::string expectedImage_;
  // Each row's imageSha, from this host's run log.
  void findLoadedImages();
  std::unique_ptr<RunLogLoads> loadLines_;  // the run log's load lines, read as it grows
  // The ticks "Tick failed rows only" chose, for the list after Back.
  std::optional<std::array<int, kMaxProgrammers>> ticksForNext_;
  std::vector<DetectionFailure> detectionFailures_;
  std::vector<std::uint32_t> openOnly_;
  std::unique_ptr<SingleOperationLog> loadLog_;
  HistoryLog historyLog_;
  std::unique_ptr<MultiLoad> multiLoad_;
  std::vector<int> loadRows_;  // the rows of the load, in the order of its lines
};

// Row texts from a ProgrammerInfo block: Target MCU, File Name, Modify Time, File Size.
std::array<std::string, 4> DetectionRowTexts(const ProgrammerInfo& block);
// 2-3-3 grouping of the last eight digits, stripped of leading '0' and ',' (12345 -> "12,345").
std::string FormatFileSize(std::uint32_t size);

}  // namespace fd
