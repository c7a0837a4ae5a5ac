// The gang Erase-Program-Verify run in the main window's list: the start of every ticked
// programmer, one poll round a tick, Cancel, the result view and the gang record's rows.
#include "flows/main/GangRunFlow.h"

#include "link/ProgrammerErrors.h"

#include <algorithm>
#include <cstdio>

#include "flows/main/MainFlowParts.h"

namespace fd {
using namespace mainwindow;


GangRunFlow::GangRunFlow(GangRunPorts ports) : LongOperation(ports.clock, kTimerGangRun), ports_(ports) {
  resultCodes_.fill(0xFF);
}

void GangRunFlow::closeHandle(std::size_t row) {
  if (ports_.handles[row] != kNoHandle) ports_.protocol.CloseProgrammer(ports_.handles[row]);
  ports_.handles[row] = kNoHandle;
}

void GangRunFlow::onOpen() {
  MainView& view = ports_.view;
  SetColumns(view, ColumnSet::Run);
  view.textColor = ListTextColor::Black;
  startedRows_ = 0;
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    MainRow& row = view.rows[r];
    resultCodes_[r] = 0xFF;
    started_[r] = false;
    chosen_[r] = ports_.ticked[r] != 0;
    if (!ports_.ticked[r]) {
      row.cells = {kNotApplicable, "", ""};
      continue;
    }
    // One start per programmer; a programmer that cannot be started leaves the run.
    if (!ports_.protocol.StartGang(ports_.handles[r])) {
      closeHandle(r);
      ports_.ticked[r] = 0;
      row.checked = false;
      continue;
    }
    started_[r] = true;
    ++startedRows_;
    row.cells = {"Wait for connecting......", "", "0%"};
    view.progress[r] = {true, 0};
  }
  view.listEnabled = false;
  view.offlineEnabled = view.onlineEnabled = false;
  view.startCaption = "&Cancel";
  // Each started programmer counts 100 units: its own percent, all of it once it ended.
  estimate().begin(startedRows_ * 100);
  // The poll keeps its rhythm: a round that takes long does not push the next one back.
  startSteps(kPoll, kRunPeriodMs, true);
}

void GangRunFlow::closeBox() {
  if (ended()) return;
  cancel();
  stepNow();
}

LongOperation::Next GangRunFlow::runStep(int /*step*/) {
  if (cancelRequested()) {
    showResults();
    end(FlowResult::Cancel);
    return {};
  }
  if (pollRound()) {
    showResults();
    end(FlowResult::Ok);
    return {};
  }
  return {kPoll, kRunPeriodMs, true};
}

bool GangRunFlow::pollRound() {
  MainView& view = ports_.view;
  bool allFinished = true;
  std::uint64_t done = 0;
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    MainRow& row = view.rows[r];
    const BridgeHandle handle = ports_.handles[r];
    if (!row.checked) {
      // Finished, dropped or not taking part: held in reset until the run is left.
      if (handle != kNoHandle) ports_.protocol.HoldInReset(handle);
      if (started_[r]) done += 100;
      continue;
    }
    allFinished = false;
    const GangPoll poll = ports_.protocol.PollGang(handle);
    switch (poll.kind) {
      case GangPoll::Kind::Busy:
      case GangPoll::Kind::Quiet:
        done += static_cast<std::uint64_t>(view.progress[r].value);
        continue;
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
        done += 100;
        continue;
      case GangPoll::Kind::Progress: break;
    }
    const std::uint8_t b = poll.value;
    if (b == kProgressErasing) {
      row.cells[0] = "Wait for Erasing......";
      done += static_cast<std::uint64_t>(view.progress[r].value);
      continue;
    }
    row.cells[0] = "Wait for programming......";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3u%%", static_cast<unsigned>(b));
    row.cells[2] = percent;
    view.progress[r].value = std::min<int>(b, 100);
    done += static_cast<std::uint64_t>(view.progress[r].value);
    if (b == kProgressDone) {
      row.checked = false;
      row.cells[0] = "E.P.V is successfully completed.";
      resultCodes_[r] = 0;
    }
  }
  estimate().advance(allFinished ? estimate().total() : done);
  return allFinished;
}

void GangRunFlow::showFailure(std::size_t row) {
  // The operator sees a failure the moment it happens, in the words of the result view.
  MainRow& shown = ports_.view.rows[row];
  shown.cells[0] = ProgrammerResultTexts(resultCodes_[row]).first;
  shown.failed = true;
  ports_.view.progress[row].visible = false;
}

void GangRunFlow::showResults() {
  MainView& view = ports_.view;
  // Programmers still running when Cancel is pressed are stopped and held like the others,
  // so none goes on programming its target behind a result that says "Cancel".
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    if (view.rows[r].checked && ports_.handles[r] != kNoHandle) ports_.protocol.HoldInReset(ports_.handles[r]);
  }
  view.startCaption = "&Back";
  for (auto& bar : view.progress) bar.visible = false;
  SetColumns(view, ColumnSet::Result);
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    MainRow& row = view.rows[r];
    row.checked = ports_.ticked[r] != 0;
    if (ports_.ticked[r]) {
      const auto [status, information] = ProgrammerResultTexts(resultCodes_[r]);
      row.cells = {status, information};
      row.failed = resultCodes_[r] != 0x00;
    } else if (!chosen_[r]) {
      row.cells[0] = kNotApplicable;
    }
  }
}

std::vector<RowResult> GangRunFlow::results() const {
  std::vector<RowResult> out;
  for (std::size_t r = 0; r < ports_.view.rows.size(); ++r) {
    out.push_back({ports_.view.rows[r].sn, chosen_[r], started_[r], resultCodes_[r]});
  }
  return out;
}

std::vector<GangLogRow> GangRunFlow::recordRows(AppState& state) {
  const MainView& view = ports_.view;
  std::vector<std::size_t> taking;
  std::vector<BridgeHandle> takingHandles;
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    if (!ports_.ticked[r]) continue;
    taking.push_back(r);
    takingHandles.push_back(ports_.handles[r]);
  }
  const std::vector<Outcome> resets = ports_.protocol.ResetProgrammers(takingHandles, 0);
  std::vector<BridgeHandle> resetHandles;
  for (std::size_t i = 0; i < taking.size(); ++i) {
    if (!resets[i].ok()) continue;
    state.targetConnected = 0;
    resetHandles.push_back(takingHandles[i]);
  }
  std::vector<ProgrammerInfo> blocks;
  const std::vector<Outcome> reads = ports_.protocol.ReadProgrammerInfos(resetHandles, blocks);

  std::vector<GangLogRow> rows;
  std::size_t next = 0;  // into taking
  std::size_t read = 0;  // into reads
  for (std::size_t r = 0; r < view.rows.size(); ++r) {
    GangLogRow entry;
    entry.sn = view.rows[r].sn;
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
      ports_.handles[r] = kNoHandle;  // closed by the failed read
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
  return rows;
}

}  // namespace fd
