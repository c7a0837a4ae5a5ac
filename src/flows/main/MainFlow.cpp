// The main window itself: its opening, the timers, the selection and check boxes, the
// Start button by run phase, Back, Log, Help and the release of every programmer at close.
#include "flows/main/MainFlow.h"

#include <algorithm>

#include "formats/DeviceDatabase.h"
#include "flows/main/MainFlowParts.h"

namespace fd {
using namespace mainwindow;

void mainwindow::SetColumns(MainView& view, ColumnSet set) {
  const bool sameSet = view.columns == set;
  view.columns = set;
  const std::size_t cellCount = ColumnsOf(set).size() - 1;
  for (auto& row : view.rows) {
    if (!sameSet) row.cells.assign(cellCount, std::string());
    row.cells.resize(cellCount);
    row.failed = false;
  }
}

MainFlow::MainFlow(MainFlowPorts ports)
    : ports_(std::move(ports)),
      protocol_(ports_.bridge, ports_.pacer),
      windows_(ports_.state, protocol_, ports_.prompter),
      settings_(ports_.state.appDir + kSettingsFileName),
      historyLog_(ports_.state.appDir + kHistoryFileName) {
  handles_.fill(kNoHandle);
  if (ports_.state.runLog == nullptr) {
    ownRunLog_ = std::make_unique<RunLogWriter>(ports_.state.appDir, ports_.identify);
    // The command line says a lost record by its own rule; the window says it here, once.
    ownRunLog_->onLost([this](const std::string& error) {
      if (ports_.runner == nullptr) ports_.prompter.error(std::string(kMsgRunLogNotWritten) + " " + error);
    });
    ports_.state.runLog = ownRunLog_.get();
  }
  view_.operatorMode = ports_.operatorMode;
  showCounts();
}

MainFlow::~MainFlow() {
  if (ports_.state.runLog == ownRunLog_.get()) ports_.state.runLog = nullptr;
}

std::string SessionCountsLine(const SessionCounts& counts) {
  return "Passed: " + std::to_string(counts.passed) + "  Failed: " + std::to_string(counts.failed) +
         "  Total: " + std::to_string(counts.total());
}

void MainFlow::notify() {
  if (changed) changed();
}

void MainFlow::open() {
  view_.columns = ColumnSet::Detection;
  view_.textColor = ListTextColor::Green;
  runPhase_ = RunPhase::Idle;
  handles_.fill(kNoHandle);
  ticked_.fill(0);
  DetectProgrammers();
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

void MainFlow::saveTicked() {
  for (int r = 0; r < kMaxProgrammers; ++r) {
    ticked_[r] = r < static_cast<int>(view_.rows.size()) && view_.rows[r].checked ? 1 : 0;
  }
}

void MainFlow::onTimer(int id) {
  if (id == kTimerDetection) {
    gesture_.tick();
    ports_.timers.stop(kTimerDetection);
    saveTicked();
    DetectProgrammers();
    ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  } else if (id == kTimerGangRun && runPhase_ == RunPhase::Running && run_) {
    // The run in the list: its ticks come on the window's timers.
    run_->onTimer(id);
  } else if (id == kTimerMultiLoad && runPhase_ == RunPhase::Loading && multiLoad_) {
    multiLoad_->onTimer(id);
    showMultiLoad();
  }
}

void MainFlow::closeHandle(int row) {
  if (handles_[row] != kNoHandle) protocol_.CloseProgrammer(handles_[row]);
  handles_[row] = kNoHandle;
}

void MainFlow::selectRow(int row) {
  if (row < 0 || row >= static_cast<int>(view_.rows.size())) {
    // No row is shown selected; the current programmer stays until another row is chosen.
    view_.offlineEnabled = view_.onlineEnabled = false;
    view_.selectedRow = -1;
    notify();
    return;
  }
  view_.offlineEnabled = view_.onlineEnabled = runPhase_ == RunPhase::Idle;
  ports_.state.currentHandle = handles_[row];
  if (row != selectedRow_) {
    if (selectedRow_ >= 0 && selectedRow_ < kMaxProgrammers && handles_[selectedRow_] != kNoHandle) {
      protocol_.WriteSelectMark(handles_[selectedRow_], kMarkCleared);
    }
    protocol_.WriteSelectMark(handles_[row], kMarkSelected);
    selectedRow_ = row;
    ports_.state.currentSn = view_.rows[row].sn;
  }
  view_.selectedRow = row;
  notify();
}

void MainFlow::setChecked(int row, bool checked) {
  if (row < 0 || row >= static_cast<int>(view_.rows.size()) || !view_.listEnabled) return;
  view_.rows[row].checked = checked;
  notify();
}

bool MainFlow::canTickFailedRowsOnly() const {
  if (runPhase_ != RunPhase::Results || !run_) return false;
  const std::vector<RowResult> results = run_->results();
  return std::any_of(results.begin(), results.end(), [](const RowResult& r) { return r.taking && !r.succeeded(); });
}

void MainFlow::tickFailedRowsOnly() {
  if (!canTickFailedRowsOnly()) return;
  const std::vector<RowResult> results = run_->results();
  std::array<int, kMaxProgrammers> next{};
  for (std::size_t r = 0; r < results.size() && r < view_.rows.size(); ++r) {
    const bool failed = results[r].taking && !results[r].succeeded();
    next[r] = failed ? 1 : 0;
    view_.rows[r].checked = failed;
  }
  // Taken over at Back, once the run's record (which names the rows that took part) is written.
  ticksForNext_ = next;
  notify();
}

void MainFlow::startButton() {
  switch (runPhase_) {
    case RunPhase::Idle: startRun(); break;
    case RunPhase::Running:
      if (run_) run_->closeBox();  // Cancel
      break;
    case RunPhase::Results: back(); break;
    case RunPhase::Loading:
      if (multiLoad_) multiLoad_->cancel();
      break;
    case RunPhase::LoadResults: leaveMultiLoad(); break;
  }
}

void MainFlow::startRun() {
  ticksForNext_.reset();
  ticked_.fill(0);
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    if (row.cells.empty() || row.cells[0].empty()) row.checked = false;
    if (row.checked) ticked_[r] = 1;
  }
  if (std::none_of(ticked_.begin(), ticked_.end(), [](int t) { return t != 0; })) {
    notify();
    ports_.prompter.warning(kMsgNoProgrammerSelected);
    return;
  }
  if (!expectedImage_.empty() && !checkExpectedImage(false)) return;

  ports_.timers.stop(kTimerDetection);
  runPhase_ = RunPhase::Running;
  Clock& clock = ports_.clock != nullptr ? *ports_.clock : static_cast<Clock&>(ownClock_);
  // What the run log says of each programmer taking part, as Start finds it.
  runRecords_.clear();
  runLogged_ = false;
  runStartUs_ = clock.nowUs();
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    if (!ticked_[r]) continue;
    RunRecord record;
    record.operation = "gang";
    record.sn = view_.rows[r].sn;
    const std::vector<std::string>& cells = view_.rows[r].cells;
    record.product = cells.size() > 0 ? std::string(TrimTrailingSpaces(cells[0])) : std::string();
    record.file = cells.size() > 1 ? std::string(TrimTrailingSpaces(cells[1])) : std::string();
    record.stamp = cells.size() > 2 ? cells[2] : std::string();
    const RunPortIdentity where = ports_.state.runLog->where(handles_[r]);
    record.port = where.port;
    record.usbPath = where.usbPath;
    record.usbSerial = where.usbSerial;
    runRecords_.emplace_back(r, std::move(record));
  }
  run_.emplace(GangRunPorts{clock, protocol_, view_, handles_, ticked_});
  run_->changed = [this] {
    if (runPhase_ == RunPhase::Running && run_->ended()) {
      runPhase_ = RunPhase::Results;
      countRun();
      writeRunLog();
    }
    notify();
  };
  if (ports_.runner != nullptr) {
    ports_.runner->run(*run_);
  } else {
    run_->open(ports_.timers);
  }
}

std::array<std::uint8_t, kMaxProgrammers> MainFlow::resultCodes() const {
  if (run_) return run_->resultCodes();
  std::array<std::uint8_t, kMaxProgrammers> none{};
  none.fill(0xFF);
  return none;
}

std::vector<RowResult> MainFlow::results() const {
  if (run_) return run_->results();
  std::vector<RowResult> out;
  for (const MainRow& row : view_.rows) out.push_back({row.sn, false, false, 0xFF});
  return out;
}

void MainFlow::writeGangRecord() {
  const std::vector<GangLogRow> rows = run_->recordRows(ports_.state);
  const LocalTime now = ports_.localTime ? ports_.localTime() : CurrentLocalTime();
  const FileResult written = HistoryLog(ports_.state.appDir + kHistoryFileName).append(GangRecordText(now, rows));
  // A log that cannot be opened is skipped without a word, as it always was; a record the
  // open log did not take (disk full) is said, once: the next ones fail the same way.
  if (!written && written.writeFailed && !historyFailureShown_) {
    historyFailureShown_ = true;
    ports_.prompter.error(std::string(kMsgHistoryNotWritten) + " " + written.error);
  }
}

void MainFlow::countRun() {
  for (const RowResult& result : run_->results()) {
    if (!result.taking) continue;
    if (result.succeeded()) {
      ++counts_.passed;
    } else {
      ++counts_.failed;
    }
  }
  showCounts();
}

void MainFlow::showCounts() { view_.countsLine = SessionCountsLine(counts_); }

bool MainFlow::canResetSessionCounts() const { return runPhase_ != RunPhase::Running; }

void MainFlow::resetSessionCounts() {
  if (!canResetSessionCounts()) return;
  counts_ = {};
  showCounts();
  notify();
}

void MainFlow::runKey() {
  switch (runPhase_) {
    case RunPhase::Idle:
      // As a click on Start, which is not there to click while it is disabled.
      if (view_.startEnabled) startRun();
      break;
    case RunPhase::Results:
    case RunPhase::LoadResults:
      startButton();  // Back
      break;
    case RunPhase::Running:
    case RunPhase::Loading:
      // A second press, or a bouncing foot switch, must never cancel what the first started.
      break;
  }
}

std::string MainFlow::runKeySetting() const { return settings_.read(kSectionMainWindow, kKeyRunKey); }

void MainFlow::leaveOperatorMode() {
  if (!view_.operatorMode) return;
  view_.operatorMode = false;
  notify();
}

void MainFlow::writeRunLog() {
  if (runLogged_ || !run_) return;
  runLogged_ = true;
  Clock& clock = ports_.clock != nullptr ? *ports_.clock : static_cast<Clock&>(ownClock_);
  const std::uint64_t durationMs = (clock.nowUs() - runStartUs_) / 1000;
  const std::vector<RowResult> results = run_->results();
  const bool canceled = run_->cancelRequested();
  std::vector<RunLogWriter::Entry> entries;
  for (auto& [row, record] : runRecords_) {
    if (row >= results.size()) continue;
    const RowResult& result = results[row];
    record.durationMs = durationMs;
    if (result.succeeded()) {
      record.result = kRunOk;
    } else {
      // A programmer Cancel stopped before it answered was canceled; every other one failed.
      record.result = canceled && result.code == 0xFF ? kRunCanceled : kRunFailed;
      if (result.code != 0x00 && result.code != 0xFF) record.code = result.code;
    }
    const std::vector<std::string>& cells = view_.rows[row].cells;
    record.text = cells.empty() ? std::string() : std::string(TrimTrailingSpaces(cells[0]));
    entries.push_back({handles_[row], record});
  }
  ports_.state.runLog->write(std::move(entries));
}

void MainFlow::back() {
  if (run_ && AutoSaveLog(settings_)) writeGangRecord();
  view_.textColor = ListTextColor::Yellow;
  SetColumns(view_, ColumnSet::Detection);
  for (auto& bar : view_.progress) bar.visible = false;
  lastDeviceCount_ = 0;
  DetectProgrammers();
  if (ticksForNext_) {
    ticked_ = *ticksForNext_;
    ticksForNext_.reset();
  }
  for (std::size_t r = 0; r < view_.rows.size(); ++r) view_.rows[r].checked = ticked_[r] != 0;
  view_.listEnabled = true;
  view_.startCaption = "&Start";
  runPhase_ = RunPhase::Idle;
  if (!view_.rows.empty()) view_.offlineEnabled = view_.onlineEnabled = true;
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

void MainFlow::openLog() {
  if (!ports_.opener.openDocument(ports_.state.appDir + kHistoryFileName)) {
    ports_.prompter.error(kMsgCannotOpenLog);
  }
}

void MainFlow::openHelp() {
  if (!ports_.opener.openDocument(ProgramFilePath(ports_.state, kManualFileName))) {
    ports_.prompter.error(kMsgCannotOpenManual);
  }
}

bool MainFlow::rowHasSetup(int row) const {
  if (row < 0 || row >= static_cast<int>(view_.rows.size())) return false;
  const MainRow& shown = view_.rows[static_cast<std::size_t>(row)];
  if (view_.columns != ColumnSet::Detection || shown.cells.empty()) return false;
  return !shown.cells[0].empty() && shown.cells[0] != kUnknownSix;
}

void MainFlow::close() {
  ports_.timers.stop(kTimerDetection);
  ports_.timers.stop(kTimerGangRun);
  std::vector<int> rows;
  std::vector<BridgeHandle> open;
  for (std::size_t r = 0; r < view_.rows.size() && r < handles_.size(); ++r) {
    if (handles_[r] == kNoHandle) continue;
    rows.push_back(static_cast<int>(r));
    open.push_back(handles_[r]);
  }
  resetShowingFailures(open, 0);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    protocol_.WriteSelectMark(open[i], kMarkCleared);
    closeHandle(rows[i]);
  }
  ports_.state.currentHandle = kNoHandle;
  notify();
}

}  // namespace fd
