#include "flows/main/MainFlow.h"

#include "flows/update/UpdateMode.h"

#include <algorithm>
#include <cstdio>

#include "flows/single/MultiSetup.h"
#include "flows/single/SingleOperationFlow.h"
#include "flows/load/ChooseImageFile.h"
#include "flows/load/LoadFile.h"


namespace fd {
namespace {

constexpr int kDetectionPeriodMs = 200;
constexpr int kRunPeriodMs = 100;
constexpr const char* kUnknownSix = "      ??????";
constexpr const char* kUnknownTime = "??????";
constexpr const char* kUnknownSize = "??????  ";
constexpr const char* kNotApplicable = "N.A.";

std::string TwoDigits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", value);
  return buf;
}

}  // namespace

std::string FormatFileSize(std::uint32_t size) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08u", static_cast<unsigned>(size % 100000000u));
  const std::string grouped = std::string(digits, 2) + "," + std::string(digits + 2, 3) + "," +
                              std::string(digits + 5, 3);
  const auto first = grouped.find_first_not_of("0,");
  return first == std::string::npos ? std::string() : grouped.substr(first);
}

std::array<std::string, 4> DetectionRowTexts(const ProgrammerInfo& block) {
  if (block[info::kTypeCode] == 0xFF) return {kUnknownSix, kUnknownSix, kUnknownTime, kUnknownSize};
  std::array<std::string, 4> cells;
  cells[0] = PrintableText(InfoMcuName(block));
  if (block[info::kFileSize] == 0xFF) {
    cells[1] = kUnknownSix;
    cells[2] = kUnknownTime;
    cells[3] = kUnknownSize;
    return cells;
  }
  cells[1] = PrintableText(InfoFileName(block));
  const std::string d = PrintableText(InfoModifyDigits(block));
  cells[2] = d.substr(0, 2) + "-" + d.substr(2, 2) + "-" + d.substr(4, 2) + "," + d.substr(6, 2) + ":" +
             d.substr(8, 2) + ":" + d.substr(10, 2);
  cells[3] = FormatFileSize(InfoFileSize(block));
  return cells;
}

std::pair<std::string, std::string> ResultViewTexts(std::uint8_t code) {
  switch (code) {
    case 0x00: return {"E.P.V is successfully completed.", "Successful end"};
    case 0x12: return {"Break due to communication!", "CRC code verify error"};
    case 0x13: return {"Break during programming!", "Program verify error"};
    case 0x22: return {"Break during loading!", "Can not erase flash"};
    case 0x23: return {"Break during loading!", "Can not write to flash"};
    case 0x32: return {"Break during connecting!", "No target detected"};
    case 0x33: return {"Break during connecting!", "Target is not powered"};
    case 0x34: return {"Break during connecting!", "Power not match"};
    case 0x35: return {"Break during connecting!", "Can not set new baud rate"};
    case 0x40: return {"Break during ID check!", "ID not match"};
    case 0x50: return {"Break during erase target!", "Can not erase target"};
    case 0x60: return {"Break during programming", "Program error"};
    case 0x80: return {"Break due to the deadly error!", "Target power is short cut"};
    default: return {"Break due to clicking cancel!", "Cancel"};
  }
}

MainFlow::MainFlow(MainFlowPorts ports)
    : ports_(std::move(ports)),
      protocol_(ports_.bridge, ports_.pacer),
      windows_(ports_.state, protocol_, ports_.prompter),
      settings_(ports_.state.appDir + kSettingsFileName),
      historyLog_(ports_.state.appDir + kHistoryFileName) {
  handles_.fill(kNoHandle);
  resultCodes_.fill(0xFF);
  started_.fill(false);
  chosen_.fill(false);
}

void MainFlow::notify() {
  if (changed) changed();
}

void MainFlow::setColumns(ColumnSet set) {
  // Texts of one column set never show under another's titles: every cell starts empty.
  const bool sameSet = view_.columns == set;
  view_.columns = set;
  const std::size_t cellCount = ColumnsOf(set).size() - 1;
  for (auto& row : view_.rows) {
    if (!sameSet) row.cells.assign(cellCount, std::string());
    row.cells.resize(cellCount);
    row.failed = false;
  }
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

void MainFlow::onTimer(int id) {
  if (id == kTimerDetection) {
    gesture_.tick();
    ports_.timers.stop(kTimerDetection);
    for (int r = 0; r < kMaxProgrammers; ++r) {
      ticked_[r] = r < static_cast<int>(view_.rows.size()) && view_.rows[r].checked ? 1 : 0;
    }
    DetectProgrammers();
    ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  } else if (id == kTimerGangRun && runPhase_ == RunPhase::Running) {
    pollRun();
    notify();
  } else if (id == kTimerMultiLoad && runPhase_ == RunPhase::Loading && multiLoad_) {
    multiLoad_->onTimer(id);
    showMultiLoad();
  }
}

void MainFlow::closeHandle(int row) {
  if (handles_[row] != kNoHandle) protocol_.CloseProgrammer(handles_[row]);
  handles_[row] = kNoHandle;
}

void MainFlow::DetectProgrammers() {
  // A count that cannot be read says nothing about the programmers: keep the list.
  const std::optional<std::uint32_t> counted = protocol_.CountProgrammers();
  if (!counted) return;
  const std::uint32_t count = *counted;
  // A list left over from before the last forced rebuild is cleared even when no device
  // is attached any more.
  if (count == lastDeviceCount_ && !(count == 0 && !view_.rows.empty())) return;
  ports_.timers.stop(kTimerDetection);
  lastDeviceCount_ = count;

  if (count > static_cast<std::uint32_t>(kMaxProgrammers)) {
    view_.startEnabled = false;
    notify();
    ports_.prompter.message(kCaptionError, MsgIcon::Warning, kMsgMoreProgrammers);
    ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
    notify();
    return;
  }

  for (int r = 0; r < kMaxProgrammers; ++r) closeHandle(r);
  view_.rows.clear();
  detectionFailures_.clear();
  // Every programmer is opened before any is reset, so that all of them share one reset
  // pulse and one wait for its end, and then work out their information blocks side by
  // side, instead of paying each wait in turn.
  std::vector<BridgeHandle> opened;
  std::vector<std::uint32_t> openedIndex;
  // Failures in device order, whatever step they came at.
  std::vector<std::pair<std::uint32_t, std::string>> failures;
  for (std::uint32_t index = 0; index < count; ++index) {
    const OpenedProgrammer programmer = protocol_.OpenProgrammer(index);
    if (!programmer.ok()) {
      const bool notOpened = programmer.failure == OpenedProgrammer::Failure::CannotOpen;
      failures.emplace_back(index, notOpened ? kDetectOpenFailed : kDetectLineFailed);
      continue;
    }
    opened.push_back(programmer.handle);
    openedIndex.push_back(index);
  }
  const std::vector<bool> reset = resetShowingFailures(opened, 0);
  std::vector<BridgeHandle> ready;
  std::vector<std::uint32_t> readyIndex;
  for (std::size_t i = 0; i < opened.size(); ++i) {
    if (reset[i]) {
      ready.push_back(opened[i]);
      readyIndex.push_back(openedIndex[i]);
    } else {
      protocol_.CloseProgrammer(opened[i]);
      failures.emplace_back(openedIndex[i], kMsgCannotReset);
    }
  }
  for (const BridgeHandle handle : ready) protocol_.WriteSelectMark(handle, kMarkCleared);
  std::vector<ProgrammerInfo> blocks;
  // A failed read closes its handle and says nothing.
  const std::vector<Outcome> reads = protocol_.ReadProgrammerInfos(ready, blocks);
  int r = 0;
  for (std::size_t i = 0; i < ready.size(); ++i) {
    if (!reads[i].ok()) {
      failures.emplace_back(readyIndex[i], kDetectInfoFailed);
      continue;
    }
    ports_.state.programmerInfo = blocks[i];
    handles_[r] = ready[i];
    const auto texts = DetectionRowTexts(blocks[i]);
    view_.rows.push_back({TwoDigits(r + 1), {texts.begin(), texts.end()}, true});
    ++r;
  }
  std::sort(failures.begin(), failures.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [index, message] : failures) detectionFailures_.push_back({index, std::move(message)});
  setColumns(view_.columns);

  if (r == 0) {
    view_.startEnabled = view_.offlineEnabled = view_.onlineEnabled = false;
    view_.statusText = "No programmer is detected";
    selectedRow_ = -1;
    view_.selectedRow = -1;
    // Nothing is current any more; the old handle is closed and must not be used.
    ports_.state.currentHandle = kNoHandle;
    ports_.state.currentSn.clear();
  } else {
    view_.startEnabled = true;
    // A single operation and the gang poll must never talk to one programmer at once,
    // so the single-operation entries are offered only while no run is on.
    view_.offlineEnabled = view_.onlineEnabled = runPhase_ == RunPhase::Idle;
    view_.statusText = r == 1 ? std::string("Only 1 programmer is detected")
                              : std::to_string(r) + " programmers are detected";
    if (selectedRow_ < 0 || selectedRow_ >= r) selectedRow_ = 0;
    view_.selectedRow = selectedRow_;
    protocol_.WriteSelectMark(handles_[selectedRow_], kMarkSelected);
    ports_.state.currentHandle = handles_[selectedRow_];
    ports_.state.currentSn = view_.rows[selectedRow_].sn;
  }
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
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

void MainFlow::startButton() {
  switch (runPhase_) {
    case RunPhase::Idle: startRun(); break;
    case RunPhase::Running: enterResultView(); break;
    case RunPhase::Results: back(); break;
    case RunPhase::Loading:
      if (multiLoad_) multiLoad_->cancel();
      break;
    case RunPhase::LoadResults: leaveMultiLoad(); break;
  }
}

void MainFlow::startRun() {
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

  ports_.timers.stop(kTimerDetection);
  setColumns(ColumnSet::Run);
  view_.textColor = ListTextColor::Black;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    resultCodes_[r] = 0xFF;
    started_[r] = false;
    chosen_[r] = ticked_[r] != 0;
    if (!ticked_[r]) {
      row.cells = {kNotApplicable, "", ""};
      continue;
    }
    if (!protocol_.StartGang(handles_[r])) {
      closeHandle(static_cast<int>(r));
      ticked_[r] = 0;
      row.checked = false;
      continue;
    }
    started_[r] = true;
    row.cells = {"Wait for connecting......", "", "0%"};
    view_.progress[r] = {true, 0};
  }
  view_.listEnabled = false;
  view_.offlineEnabled = view_.onlineEnabled = false;
  view_.startCaption = "&Cancel";
  runPhase_ = RunPhase::Running;
  ports_.timers.start(kTimerGangRun, kRunPeriodMs);
  notify();
}

void MainFlow::pollRun() {
  bool allFinished = true;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    const BridgeHandle handle = handles_[r];
    if (!row.checked) {
      // Finished, dropped or not taking part: held in reset until the run is left.
      if (handle != kNoHandle) protocol_.HoldInReset(handle);
      continue;
    }
    allFinished = false;
    const GangPoll poll = protocol_.PollGang(handle);
    switch (poll.kind) {
      case GangPoll::Kind::Busy:
      case GangPoll::Kind::Quiet: continue;
      // A programmer that no longer answers at all has gone (unplugged): it leaves the run
      // without a result, so the others can still end it without a Cancel.
      case GangPoll::Kind::Gone:
      case GangPoll::Kind::Lost:
      // No reset after an error: the row is held in reset by the next poll, like every
      // finished one.
      case GangPoll::Kind::Error:
        row.checked = false;
        resultCodes_[r] = poll.kind == GangPoll::Kind::Error ? poll.value : 0xFF;
        showFailure(r);
        continue;
      case GangPoll::Kind::Progress: break;
    }
    const std::uint8_t b = poll.value;
    if (b == kProgressErasing) {
      row.cells[0] = "Wait for Erasing......";
      continue;
    }
    row.cells[0] = "Wait for programming......";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3u%%", static_cast<unsigned>(b));
    row.cells[2] = percent;
    view_.progress[r].value = std::min<int>(b, 100);
    if (b == kProgressDone) {
      row.checked = false;
      row.cells[0] = "E.P.V is successfully completed.";
      resultCodes_[r] = 0;
    }
  }
  if (allFinished) enterResultView();
}

void MainFlow::enterResultView() {
  ports_.timers.stop(kTimerGangRun);
  // Programmers still running when Cancel is pressed are stopped and held like the others,
  // so none goes on programming its target behind a result that says "Cancel".
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    if (view_.rows[r].checked && handles_[r] != kNoHandle) {
      protocol_.HoldInReset(handles_[r]);
    }
  }
  view_.startCaption = "&Back";
  for (auto& bar : view_.progress) bar.visible = false;
  setColumns(ColumnSet::Result);
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    row.checked = ticked_[r] != 0;
    if (ticked_[r]) {
      const auto [status, information] = ResultViewTexts(resultCodes_[r]);
      row.cells = {status, information};
      row.failed = resultCodes_[r] != 0x00;
    } else if (!chosen_[r]) {
      row.cells[0] = kNotApplicable;
    }
  }
  runPhase_ = RunPhase::Results;
  notify();
}

void MainFlow::writeGangRecord() {
  // Failures while the record is written go into the record, not onto the screen. The
  // programmers that took part are reset together, then asked for their blocks together.
  std::vector<std::size_t> taking;
  std::vector<BridgeHandle> takingHandles;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    if (!ticked_[r]) continue;
    taking.push_back(r);
    takingHandles.push_back(handles_[r]);
  }
  const std::vector<Outcome> resets = protocol_.ResetProgrammers(takingHandles, 0);
  std::vector<BridgeHandle> resetHandles;
  for (std::size_t i = 0; i < taking.size(); ++i) {
    if (!resets[i].ok()) continue;
    ports_.state.targetConnected = 0;
    resetHandles.push_back(takingHandles[i]);
  }
  std::vector<ProgrammerInfo> blocks;
  const std::vector<Outcome> reads = protocol_.ReadProgrammerInfos(resetHandles, blocks);

  std::vector<GangLogRow> rows;
  std::size_t next = 0;  // into taking
  std::size_t read = 0;  // into reads
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    GangLogRow entry;
    entry.sn = view_.rows[r].sn;
    entry.kind = GangLogRow::Kind::NotTaking;
    rows.push_back(entry);
    if (next >= taking.size() || taking[next] != r) continue;
    GangLogRow& row = rows.back();
    if (!resets[next++].ok()) {
      row.kind = GangLogRow::Kind::ResetError;
      continue;
    }
    const ProgrammerInfo& block = blocks[read];
    if (!reads[read++].ok()) {
      handles_[r] = kNoHandle;  // closed by the failed read
      row.kind = GangLogRow::Kind::InfoError;
    } else if (block[info::kTypeCode] == 0xFF) {
      row.kind = GangLogRow::Kind::FlashEmpty;
    } else {
      row.kind = GangLogRow::Kind::Done;
      row.mcuName = InfoMcuName(block);
      row.fileName = InfoFileName(block);
      row.resultCode = resultCodes_[r];
    }
  }
  const LocalTime now = ports_.localTime ? ports_.localTime() : CurrentLocalTime();
  const FileResult written = HistoryLog(ports_.state.appDir + kHistoryFileName).append(GangRecordText(now, rows));
  // A log that cannot be opened is skipped without a word, as it always was; a record the
  // open log did not take (disk full) is said, once: the next ones fail the same way.
  if (!written && written.writeFailed && !historyFailureShown_) {
    historyFailureShown_ = true;
    ports_.prompter.error(std::string(kMsgHistoryNotWritten) + " " + written.error);
  }
}

void MainFlow::back() {
  if (AutoSaveLog(settings_)) writeGangRecord();
  view_.textColor = ListTextColor::Yellow;
  setColumns(ColumnSet::Detection);
  for (auto& bar : view_.progress) bar.visible = false;
  lastDeviceCount_ = 0;
  DetectProgrammers();
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

void MainFlow::showFailure(std::size_t row) {
  // The operator sees a failure the moment it happens, in the words of the result view.
  MainRow& shown = view_.rows[row];
  shown.cells[0] = ResultViewTexts(resultCodes_[row]).first;
  shown.failed = true;
  view_.progress[row].visible = false;
}

bool MainFlow::rowHasSetup(int row) const {
  if (row < 0 || row >= static_cast<int>(view_.rows.size())) return false;
  const MainRow& shown = view_.rows[static_cast<std::size_t>(row)];
  if (view_.columns != ColumnSet::Detection || shown.cells.empty()) return false;
  return !shown.cells[0].empty() && shown.cells[0] != kUnknownSix;
}

std::vector<RowResult> MainFlow::results() const {
  std::vector<RowResult> out;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    out.push_back({view_.rows[r].sn, chosen_[r], started_[r], resultCodes_[r]});
  }
  return out;
}

void MainFlow::offlineSet() { singleOperation(true); }

void MainFlow::onlineTest() { singleOperation(false); }

void MainFlow::singleOperation(bool offline) {
  if (runPhase_ != RunPhase::Idle || !view_.offlineEnabled) return;
  if (ports_.dialogs == nullptr) {
    ports_.prompter.info(kMsgSingleOperationNotBuilt);
    return;
  }
  AppState& state = ports_.state;
  const BridgeHandle handle = state.currentHandle;
  ports_.timers.stop(kTimerDetection);
  // The boxes as a detection tick would save them now, so a box ticked since the last
  // tick comes back too.
  for (int r = 0; r < kMaxProgrammers; ++r) {
    ticked_[r] = r < static_cast<int>(view_.rows.size()) && view_.rows[r].checked ? 1 : 0;
  }
  bool ready = windows_.ResetProgrammer(handle, 1) != 0;
  if (ready && !windows_.ReadProgrammerInfo(handle)) {
    // The failed read has closed the handle: the row must not use it again, and the next
    // detection tick builds the list afresh.
    for (auto& h : handles_) {
      if (h == handle) h = kNoHandle;
    }
    state.currentHandle = kNoHandle;
    lastDeviceCount_ = 0;
    ready = false;
  }
  if (ready) {
    state.offlineMode = offline ? 1 : 0;
    SingleOperationFlow window({state, windows_, ports_.prompter, *ports_.dialogs, ports_.clock, ports_.localTime});
    ports_.dialogs->run(window);
    if (offline) {
      // The programmer's stored setup may have changed: the rows are read again.
      lastDeviceCount_ = 0;
      DetectProgrammers();
    }
    for (std::size_t r = 0; r < view_.rows.size(); ++r) view_.rows[r].checked = ticked_[r] != 0;
  }
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

std::vector<bool> MainFlow::resetShowingFailures(const std::vector<BridgeHandle>& handles, int sendMark) {
  const std::vector<Outcome> outcomes = protocol_.ResetProgrammers(handles, sendMark);
  // Shown once all are out of reset, in the order the programmers were taken one by one.
  std::vector<bool> ok;
  for (const Outcome& outcome : outcomes) {
    ok.push_back(windows_.show(outcome) == 1);
    if (ok.back()) ports_.state.targetConnected = 0;
  }
  return ok;
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

std::vector<int> MainFlow::tickedRows() const {
  std::vector<int> rows;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    if (view_.rows[r].checked && handles_[r] != kNoHandle) rows.push_back(static_cast<int>(r));
  }
  return rows;
}

bool MainFlow::canSetUpTickedLikeSelected() const {
  if (runPhase_ != RunPhase::Idle || selectedRow_ < 0 || !rowHasSetup(selectedRow_)) return false;
  for (const int r : tickedRows()) {
    if (r != selectedRow_) return true;
  }
  return false;
}

bool MainFlow::canLoadFileToTicked() const {
  if (runPhase_ != RunPhase::Idle || ports_.clock == nullptr) return false;
  const std::vector<int> rows = tickedRows();
  if (rows.empty()) return false;
  const std::string product = view_.rows[static_cast<std::size_t>(rows.front())].cells[0];
  return std::all_of(rows.begin(), rows.end(), [&](int r) {
    return rowHasSetup(r) && view_.rows[static_cast<std::size_t>(r)].cells[0] == product;
  });
}

void MainFlow::redetectKeepingBoxes() {
  lastDeviceCount_ = 0;
  DetectProgrammers();
  for (std::size_t r = 0; r < view_.rows.size(); ++r) view_.rows[r].checked = ticked_[r] != 0;
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

void MainFlow::setUpTickedLikeSelected() {
  if (!canSetUpTickedLikeSelected()) return;
  ports_.timers.stop(kTimerDetection);
  for (int r = 0; r < kMaxProgrammers; ++r) {
    ticked_[r] = r < static_cast<int>(view_.rows.size()) && view_.rows[r].checked ? 1 : 0;
  }
  const MultiLoadTarget source{view_.rows[selectedRow_].sn, handles_[selectedRow_]};
  std::vector<MultiLoadTarget> targets;
  for (const int r : tickedRows()) {
    if (r != selectedRow_) targets.push_back({view_.rows[r].sn, handles_[r]});
  }
  const std::vector<SetupLine> lines = SetUpLike(protocol_, ports_.state, source, targets);
  std::string failures;
  for (const SetupLine& line : lines) {
    if (!line.open) {
      // A failed read has closed the handle: the rebuild below opens it again.
      for (auto& h : handles_) {
        if (h == line.handle) h = kNoHandle;
      }
    }
    if (line.written) continue;
    for (const LoadNote& note : line.notes) failures += "No." + line.sn + ": " + note.text + "\n";
  }
  if (!failures.empty()) {
    ports_.prompter.error(failures.substr(0, failures.size() - 1));
  } else {
    ports_.prompter.info("The setup of No." + source.sn + " is set to the ticked programmers.");
  }
  redetectKeepingBoxes();
}

void MainFlow::loadFileToTicked() {
  if (!canLoadFileToTicked()) return;
  ports_.timers.stop(kTimerDetection);
  for (int r = 0; r < kMaxProgrammers; ++r) {
    ticked_[r] = r < static_cast<int>(view_.rows.size()) && view_.rows[r].checked ? 1 : 0;
  }
  loadRows_ = tickedRows();
  std::vector<MultiLoadTarget> targets;
  for (const int r : loadRows_) targets.push_back({view_.rows[r].sn, handles_[r]});
  loadLog_ = std::make_unique<SingleOperationLog>(settings_, historyLog_);
  MultiLoadPorts ports{ports_.state, protocol_, ports_.timers, *ports_.clock, *loadLog_, {}, ports_.localTime};
  ports.askReload = [this](const MultiLoadLine&) {
    return ports_.prompter.message(kCaptionInfo, MsgIcon::Question, kMsgReloadQuestion, MsgButtons::YesNoCancel);
  };
  multiLoad_ = std::make_unique<MultiLoad>(ports);
  ports_.state.offlineMode = 1;
  const bool anyReady = multiLoad_->prepare(targets);
  std::optional<ChosenImage> image;
  if (anyReady) {
    // The file's own tests and the memory-map test of the one product; the load tests
    // each programmer's map again.
    const std::optional<MemoryMap> map = multiLoad_->commonMemoryMap();
    if (map) {
      ports_.state.dataFlashStart = map->dataFlashStart;
      ports_.state.dataFlashEnd = map->dataFlashEnd;
      ports_.state.userFlashStart = map->userFlashStart;
      ports_.state.userFlashEnd = map->userFlashEnd;
    }
    image = MotFileChooser(ports_.prompter, ports_.state)(kSelectLoadFileTitle, map.has_value());
  }
  if (!image) {
    if (!anyReady) {
      multiLoad_->endWithoutImage();
      std::string failures;
      for (const MultiLoadLine& line : multiLoad_->lines()) {
        for (const LoadNote& note : line.notes) failures += "No." + line.sn + ": " + note.text + "\n";
      }
      if (!failures.empty()) ports_.prompter.warning(failures.substr(0, failures.size() - 1));
    }
    multiLoad_.reset();
    redetectKeepingBoxes();
    return;
  }
  setColumns(ColumnSet::Run);
  view_.textColor = ListTextColor::Black;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    const bool taking = std::find(loadRows_.begin(), loadRows_.end(), static_cast<int>(r)) != loadRows_.end();
    view_.rows[r].cells = {taking ? "Wait for loading......" : kNotApplicable, "", taking ? "  0%" : ""};
    view_.progress[r] = {taking, 0};
  }
  view_.listEnabled = false;
  view_.offlineEnabled = view_.onlineEnabled = false;
  view_.startCaption = "&Cancel";
  runPhase_ = RunPhase::Loading;
  multiLoad_->start(*image);
  showMultiLoad();
}

void MainFlow::showMultiLoad() {
  const std::vector<MultiLoadLine>& lines = multiLoad_->lines();
  for (std::size_t k = 0; k < lines.size() && k < loadRows_.size(); ++k) {
    const MultiLoadLine& line = lines[k];
    const std::size_t r = static_cast<std::size_t>(loadRows_[k]);
    MainRow& row = view_.rows[r];
    if (line.working() || line.state == LoadLineState::Ready) {
      row.cells[0] = line.remainText.empty() ? "Wait for loading......" : line.remainText;
      char percent[8];
      std::snprintf(percent, sizeof percent, "%3d%%", line.percent);
      row.cells[2] = percent;
      view_.progress[r] = {true, line.percent};
      continue;
    }
    row.cells[0] = MultiLoadResultText(line);
    if (row.cells.size() > 2) row.cells[2].clear();
    row.failed = !line.succeeded();
    view_.progress[r].visible = false;
  }
  if (!multiLoad_->running() && runPhase_ == RunPhase::Loading) {
    // Every programmer has ended: its result, failures in red.
    view_.startCaption = "&Back";
    for (auto& bar : view_.progress) bar.visible = false;
    setColumns(ColumnSet::Result);
    for (std::size_t r = 0; r < view_.rows.size(); ++r) view_.rows[r].cells = {kNotApplicable, ""};
    for (std::size_t k = 0; k < lines.size() && k < loadRows_.size(); ++k) {
      MainRow& row = view_.rows[static_cast<std::size_t>(loadRows_[k])];
      row.cells = {MultiLoadResultText(lines[k]), ""};
      row.failed = !lines[k].succeeded();
      if (!lines[k].history.ok && lines[k].history.writeFailed && !historyFailureShown_) {
        historyFailureShown_ = true;
        ports_.prompter.error(std::string(kMsgHistoryNotWritten) + " " + lines[k].history.error);
      }
    }
    runPhase_ = RunPhase::LoadResults;
  }
  notify();
}

void MainFlow::leaveMultiLoad() {
  view_.textColor = ListTextColor::Yellow;
  setColumns(ColumnSet::Detection);
  for (auto& bar : view_.progress) bar.visible = false;
  view_.listEnabled = true;
  view_.startCaption = "&Start";
  runPhase_ = RunPhase::Idle;
  redetectKeepingBoxes();
  if (!view_.rows.empty()) view_.offlineEnabled = view_.onlineEnabled = true;
  notify();
}

void MainFlow::listDoubleClick() {
  if (gesture_.doubleClick(!view_.rows.empty())) updateMode();
}

void MainFlow::listRightClick() { gesture_.rightClick(!view_.rows.empty()); }

void MainFlow::updateMode() {
  if (ports_.dialogs == nullptr || ports_.clock == nullptr) {
    gesture_.clear();
    return;
  }
  // Detection would reset the boot loader's link under the update: it waits till the end.
  ports_.timers.stop(kTimerDetection);
  RunUpdateMode(UpdateModePorts{ports_.state, ports_.bridge, ports_.pacer, ports_.prompter, *ports_.dialogs,
                                *ports_.clock});
  gesture_.clear();
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

}  // namespace fd
