// The context menu's entries for the ticked programmers: the set-up of them all like the
// selected one, and the load of one file into them all, which runs in the list as the gang
// run does, each row with its own bar and then its result.
#include "flows/main/MainFlow.h"

#include <algorithm>
#include <cstdio>

#include "flows/load/ChooseImageFile.h"
#include "flows/load/LoadFile.h"
#include "flows/main/MainFlowParts.h"
#include "flows/single/MultiSetup.h"

namespace fd {
using namespace mainwindow;

std::vector<int> MainFlow::tickedRows() const {
  std::vector<int> rows;
  for (std::size_t r = 0; r < view_.rows.size(); ++r) {
    if (view_.rows[r].checked && handles_[r] != kNoHandle) rows.push_back(static_cast<int>(r));
  }
  return rows;
}

bool MainFlow::canSetUpTickedLikeSelected() const {
  if (runPhase_ != RunPhase::Idle || view_.operatorMode || selectedRow_ < 0 || !rowHasSetup(selectedRow_)) return false;
  for (const int r : tickedRows()) {
    if (r != selectedRow_) return true;
  }
  return false;
}

bool MainFlow::canLoadFileToTicked() const {
  if (runPhase_ != RunPhase::Idle || view_.operatorMode || ports_.clock == nullptr) return false;
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
  saveTicked();
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
  saveTicked();
  loadRows_ = tickedRows();
  std::vector<MultiLoadTarget> targets;
  for (const int r : loadRows_) targets.push_back({view_.rows[r].sn, handles_[r]});
  loadLog_ = std::make_unique<SingleOperationLog>(settings_, historyLog_);
  MultiLoadPorts ports{ports_.state, protocol_, ports_.timers, *ports_.clock, *loadLog_, {}, ports_.localTime};
  ports.askReload = [this](const MultiLoadLine&) {
    return ports_.prompter.ask(QuestionId::ReloadSameFile, kCaptionInfo, MsgIcon::Question, kMsgReloadQuestion,
                               MsgButtons::YesNoCancel);
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
    image = ImageFileChooser(ports_.prompter, ports_.state)(kSelectLoadFileTitle, map.has_value());
  }
  if (!image) {
    multiLoad_->endWithoutImage();
    if (!anyReady) {
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
  SetColumns(view_, ColumnSet::Run);
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
    SetColumns(view_, ColumnSet::Result);
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
  SetColumns(view_, ColumnSet::Detection);
  for (auto& bar : view_.progress) bar.visible = false;
  view_.listEnabled = true;
  view_.startCaption = "&Start";
  runPhase_ = RunPhase::Idle;
  redetectKeepingBoxes();
  if (!view_.rows.empty()) view_.offlineEnabled = view_.onlineEnabled = true;
  notify();
}

}  // namespace fd
