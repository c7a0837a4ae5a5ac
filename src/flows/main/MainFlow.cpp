#include "flows/main/MainFlow.h"

#include <algorithm>
#include <cstdio>

#include "app/SilentPrompter.h"

namespace fd {
namespace {

constexpr int kDetectionPeriodMs = 200;
constexpr int kRunPeriodMs = 100;
constexpr std::uint32_t kMaxProgressBytes = 128;
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
      protocol_(ports_.state, ports_.bridge, ports_.pacer, ports_.prompter),
      settings_(ports_.state.appDir + kSettingsFileName) {
  handles.fill(kNoHandle);
  resultCodes.fill(0xFF);
}

void MainFlow::notify() {
  if (changed) changed();
}

void MainFlow::setColumns(ColumnSet set) {
  view_.columns = set;
  const std::size_t cellCount = ColumnsOf(set).size() - 1;
  for (auto& row : view_.rows) row.cells.resize(cellCount);
}

void MainFlow::open() {
  view_.columns = ColumnSet::Detection;
  view_.textColor = ListTextColor::Green;
  runPhase = 0;
  handles.fill(kNoHandle);
  ticked.fill(0);
  DetectProgrammers();
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

void MainFlow::onTimer(int id) {
  if (id == kTimerDetection) {
    if (gestureCounter != 0) {
      gestureCounter += 256;
      if (gestureCounter > 2048) gestureCounter = 0;
    }
    ports_.timers.stop(kTimerDetection);
    for (int r = 0; r < kMaxProgrammers; ++r) {
      ticked[r] = r < static_cast<int>(view_.rows.size()) && view_.rows[r].checked ? 1 : 0;
    }
    DetectProgrammers();
    ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  } else if (id == kTimerGangRun && runPhase == 1) {
    pollRun();
    notify();
  }
}

void MainFlow::closeHandle(int row) {
  if (handles[row] != kNoHandle) ports_.bridge.BridgeClose(handles[row]);
  handles[row] = kNoHandle;
}

void MainFlow::DetectProgrammers() {
  std::uint32_t count = 0;
  // A count that cannot be read says nothing about the programmers: keep the list.
  if (ports_.bridge.BridgeGetNumDevices(count) != kBridgeOk) return;
  // A list left over from before the last forced rebuild is cleared even when no device
  // is attached any more.
  if (count == lastDeviceCount && !(count == 0 && !view_.rows.empty())) return;
  ports_.timers.stop(kTimerDetection);
  lastDeviceCount = count;

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
  Bridge& bridge = ports_.bridge;
  int r = 0;
  for (std::uint32_t index = 0; index < count; ++index) {
    BridgeHandle handle = kNoHandle;
    if (bridge.BridgeOpen(index, handle) != kBridgeOk) continue;
    bridge.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
    if (bridge.BridgeSetBaudRate(handle, kNormalBaud) != kBridgeOk ||
        bridge.BridgeSetLineControl(handle, kLineControl8N1) != kBridgeOk) {
      bridge.BridgeClose(handle);
      continue;
    }
    if (!protocol_.ResetProgrammer(handle, 0)) {
      bridge.BridgeClose(handle);
      continue;
    }
    protocol_.WriteSelectMark(handle, kMarkCleared);
    if (!protocol_.ReadProgrammerInfo(handle)) continue;
    handles[r] = handle;
    const auto texts = DetectionRowTexts(ports_.state.programmerInfo);
    view_.rows.push_back({TwoDigits(r + 1), {texts.begin(), texts.end()}, true});
    ++r;
  }
  setColumns(view_.columns);

  if (r == 0) {
    view_.startEnabled = view_.offlineEnabled = view_.onlineEnabled = false;
    view_.statusText = "No programmer is detected";
    selectedRow = -1;
    view_.selectedRow = -1;
    // Nothing is current any more; the old handle is closed and must not be used.
    ports_.state.currentHandle = kNoHandle;
    ports_.state.currentSn.clear();
  } else {
    view_.startEnabled = true;
    // A single operation and the gang poll must never talk to one programmer at once,
    // so the single-operation entries are offered only while no run is on.
    view_.offlineEnabled = view_.onlineEnabled = runPhase == 0;
    view_.statusText = r == 1 ? std::string("Only 1 programmer is detected")
                              : std::to_string(r) + " programmers are detected";
    if (selectedRow < 0 || selectedRow >= r) selectedRow = 0;
    view_.selectedRow = selectedRow;
    protocol_.WriteSelectMark(handles[selectedRow], kMarkSelected);
    ports_.state.currentHandle = handles[selectedRow];
    ports_.state.currentSn = view_.rows[selectedRow].sn;
  }
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

void MainFlow::selectRow(int row) {
  if (row < 0 || row >= static_cast<int>(view_.rows.size())) {
    view_.offlineEnabled = view_.onlineEnabled = false;
    notify();
    return;
  }
  view_.offlineEnabled = view_.onlineEnabled = runPhase == 0;
  ports_.state.currentHandle = handles[row];
  if (row != selectedRow) {
    if (selectedRow >= 0 && selectedRow < kMaxProgrammers && handles[selectedRow] != kNoHandle) {
      protocol_.WriteSelectMark(handles[selectedRow], kMarkCleared);
    }
    protocol_.WriteSelectMark(handles[row], kMarkSelected);
    selectedRow = row;
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
  switch (runPhase) {
    case 0: startRun(); break;
    case 1: enterResultView(); break;
    case 2: back(); break;
    default: break;
  }
}

void MainFlow::startRun() {
  ticked.fill(0);
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    if (row.cells.empty() || row.cells[0].empty()) row.checked = false;
    if (row.checked) ticked[r] = 1;
  }
  if (std::none_of(ticked.begin(), ticked.end(), [](int t) { return t != 0; })) {
    notify();
    ports_.prompter.warning(kMsgNoProgrammerSelected);
    return;
  }

  ports_.timers.stop(kTimerDetection);
  setColumns(ColumnSet::Run);
  view_.textColor = ListTextColor::Black;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    resultCodes[r] = 0xFF;
    if (!ticked[r]) {
      row.cells = {kNotApplicable, "", ""};
      continue;
    }
    const std::uint8_t start = kCmdStart;
    const bool started = protocol_.WriteSelectMark(handles[r], kMarkSelected) == kBridgeOk &&
                         protocol_.WriteBytes(handles[r], &start, 1) == 1;
    if (!started) {
      closeHandle(static_cast<int>(r));
      ticked[r] = 0;
      row.checked = false;
      continue;
    }
    row.cells = {"Wait for connecting......", "", "0%"};
    view_.progress[r] = {true, 0};
  }
  view_.listEnabled = false;
  view_.offlineEnabled = view_.onlineEnabled = false;
  view_.startCaption = "&Cancel";
  runPhase = 1;
  ports_.timers.start(kTimerGangRun, kRunPeriodMs);
  notify();
}

void MainFlow::pollRun() {
  Bridge& bridge = ports_.bridge;
  bool allFinished = true;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    const BridgeHandle handle = handles[r];
    if (!row.checked) {
      // Finished, dropped or not taking part: held in reset until the run is left.
      if (handle != kNoHandle) bridge.BridgeSetFlowControl(handle, kResetLine);
      continue;
    }
    allFinished = false;
    if (!protocol_.WaitStatusLine(handle, kBusyBit, 2)) {
      // A programmer that no longer answers at all has gone (unplugged): it leaves the
      // run without a result, so the others can still end it without a Cancel.
      std::uint8_t status = 0;
      if (bridge.BridgeGetModemStatus(handle, status) != kBridgeOk) {
        row.checked = false;
        resultCodes[r] = 0xFF;
      }
      continue;
    }
    if (protocol_.WaitStatusLine(handle, kResultBit, 2)) {
      row.checked = false;
      bridge.BridgeFlushBuffers(handle, 1, 1);
      bridge.BridgeSetFlowControl(handle, kErrorRequestLine);
      std::uint8_t code = 0xFF;
      resultCodes[r] = protocol_.ReadBytes(handle, &code, 1) ? code : 0xFF;
      continue;
    }
    std::uint32_t queued = 0, queueStatus = 0;
    if (bridge.BridgeCheckRxQueue(handle, queued, queueStatus) != kBridgeOk || queued == 0) continue;
    std::uint8_t buffer[kMaxProgressBytes];
    std::uint32_t got = 0;
    const int status = bridge.BridgeRead(handle, buffer, std::min(queued, kMaxProgressBytes), got);
    if (status != kBridgeOk || got == 0) {
      row.checked = false;
      resultCodes[r] = 0xFF;
      continue;
    }
    const std::uint8_t b = buffer[std::min(got, kMaxProgressBytes) - 1];
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
      resultCodes[r] = 0;
    }
  }
  if (allFinished) enterResultView();
}

void MainFlow::enterResultView() {
  ports_.timers.stop(kTimerGangRun);
  // Programmers still running when Cancel is pressed are stopped and held like the others,
  // so none goes on programming its target behind a result that says "Cancel".
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    if (view_.rows[r].checked && handles[r] != kNoHandle) {
      ports_.bridge.BridgeSetFlowControl(handles[r], kResetLine);
    }
  }
  view_.startCaption = "&Back";
  for (auto& bar : view_.progress) bar.visible = false;
  setColumns(ColumnSet::Result);
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    MainRow& row = view_.rows[r];
    row.checked = ticked[r] != 0;
    if (ticked[r]) {
      const auto [status, information] = ResultViewTexts(resultCodes[r]);
      row.cells = {status, information};
    }
  }
  runPhase = 2;
  notify();
}

void MainFlow::writeGangRecord() {
  // Failures while the record is written go into the record, not onto the screen.
  SilentPrompter silent;
  Protocol quiet(ports_.state, ports_.bridge, ports_.pacer, silent);
  std::vector<GangLogRow> rows;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    GangLogRow entry;
    entry.sn = view_.rows[r].sn;
    if (!ticked[r]) {
      entry.kind = GangLogRow::Kind::NotTaking;
    } else if (!quiet.ResetProgrammer(handles[r], 0)) {
      entry.kind = GangLogRow::Kind::ResetError;
    } else if (!quiet.ReadProgrammerInfo(handles[r])) {
      handles[r] = kNoHandle;  // closed by the failed read
      entry.kind = GangLogRow::Kind::InfoError;
    } else if (ports_.state.programmerInfo[info::kTypeCode] == 0xFF) {
      entry.kind = GangLogRow::Kind::FlashEmpty;
    } else {
      entry.kind = GangLogRow::Kind::Done;
      entry.mcuName = InfoMcuName(ports_.state.programmerInfo);
      entry.fileName = InfoFileName(ports_.state.programmerInfo);
      entry.resultCode = resultCodes[r];
    }
    rows.push_back(entry);
  }
  const LocalTime now = ports_.localTime ? ports_.localTime() : CurrentLocalTime();
  HistoryLog(ports_.state.appDir + kHistoryFileName).append(GangRecordText(now, rows));
}

void MainFlow::back() {
  if (AutoSaveLog(settings_)) writeGangRecord();
  view_.textColor = ListTextColor::Yellow;
  setColumns(ColumnSet::Detection);
  for (auto& bar : view_.progress) bar.visible = false;
  lastDeviceCount = 0;
  DetectProgrammers();
  for (std::size_t r = 0; r < view_.rows.size(); ++r) view_.rows[r].checked = ticked[r] != 0;
  view_.listEnabled = true;
  view_.startCaption = "&Start";
  runPhase = 0;
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
  if (!ports_.opener.openDocument(ports_.state.appDir + kManualFileName)) {
    ports_.prompter.error(kMsgCannotOpenManual);
  }
}

void MainFlow::close() {
  ports_.timers.stop(kTimerDetection);
  ports_.timers.stop(kTimerGangRun);
  for (std::size_t r = 0; r < view_.rows.size() && r < handles.size(); ++r) {
    if (handles[r] == kNoHandle) continue;
    protocol_.ResetProgrammer(handles[r], 0);
    protocol_.WriteSelectMark(handles[r], kMarkCleared);
    closeHandle(static_cast<int>(r));
  }
  ports_.state.currentHandle = kNoHandle;
  notify();
}

}  // namespace fd
