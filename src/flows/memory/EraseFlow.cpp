#include "flows/memory/EraseFlow.h"

#include <algorithm>

#include "flows/memory/AddrFlow.h"
#include "formats/Hex.h"

namespace fd {

EraseFlow::EraseFlow(MemoryPorts ports)
    : LongOperation(ports.clock, kTimerSubWindow),
      ports_(ports),
      protocol_(ports.link),
      link_(ports.state, protocol_, ports.prompter) {}

void EraseFlow::onOpen() {
  BlockListLoad load = LoadBlockList(ports_.state);
  if (load.databaseMissing) ports_.prompter.error(kMcuFileMissingText);
  view_ = {};
  view_.rows = std::move(load.rows);
}

void EraseFlow::setChecked(int row, bool checked) {
  if (!view_.running && row >= 0 && row < static_cast<int>(view_.rows.size())) view_.rows[row].checked = checked;
  notify();
}

void EraseFlow::toggleAll() {
  if (!view_.toggleEnabled) return;
  const bool selectAll = view_.toggleLabel == kSelectAllBlocksText;
  for (BlockListRow& row : view_.rows) row.checked = selectAll;
  view_.toggleLabel = selectAll ? kClearAllBlocksText : kSelectAllBlocksText;
  notify();
}

void EraseFlow::ok() {
  if (view_.running || ended()) return;
  // A start address that is not hex would go out as page FFFF: the run is refused before
  // anything is sent, with the ticks left as the user set them.
  for (const BlockListRow& row : view_.rows) {
    if (row.checked && BlockStartAddress(row.block) == kParseHexInvalid) {
      ports_.prompter.error(BlockAddressUnreadableText(row.block.name));
      return;
    }
  }
  selection_.clear();
  for (BlockListRow& row : view_.rows) {
    selection_ += row.checked ? 'E' : 'N';
    row.checked = false;
  }
  const auto toErase = static_cast<std::uint64_t>(std::count(selection_.begin(), selection_.end(), 'E'));
  if (toErase == 0) {
    notify();
    ports_.prompter.warning(kMsgNoBlockSelected);
    return;
  }
  if (ports_.state.targetConnected == 0 && !link_.ConnectTarget(ports_.state.currentHandle)) {
    end(FlowResult::Cancel);
    return;
  }
  view_.toggleEnabled = false;
  view_.okEnabled = false;
  view_.running = true;
  index_ = 0;
  erased_ = 0;
  estimate().begin(toErase);
  startSteps(kScan, kErasePeriodMs);
  notify();
}

void EraseFlow::closeBox() {
  // Between runs nothing is under way; during one the step that sees the request ends it.
  if (!view_.running) {
    stopSteps();
    end(FlowResult::Cancel);
    return;
  }
  cancel();
}

std::vector<std::string> EraseFlow::erasedBlocks() const {
  std::vector<std::string> names;
  for (const BlockListRow& row : view_.rows) {
    if (row.checked) names.push_back(row.block.name);
  }
  return names;
}

LongOperation::Next EraseFlow::runStep(int step) {
  if (cancelRequested()) {
    end(FlowResult::Cancel);
    return {};
  }
  return step == kScan ? scan() : wait();
}

bool EraseFlow::sendErase(const BlockRow& row) {
  return protocol_.SendErase(ports_.state.currentHandle, static_cast<std::uint16_t>(BlockPageNumber(row)));
}

LongOperation::Next EraseFlow::scan() {
  while (index_ < view_.rows.size()) {
    if (selection_[index_] == 'E') {
      view_.hotRow = static_cast<int>(index_);
      // Half a command would make the next command byte read as its page number: the run
      // ends here and the reset clears whatever the programmer took.
      if (!sendErase(view_.rows[index_].block)) return endRun(kMsgEraseNotSent);
      waitTicks_ = kEraseWaitTicks;
      waitEndUs_ = clock().nowUs() + std::uint64_t{kEraseWaitTicks} * kErasePeriodMs * 1000 * 3 / 2;
      return {kWait, kErasePeriodMs, true};
    }
    ++index_;
  }
  stopSteps();
  view_.hotRow = -1;
  view_.toggleLabel = kSelectAllBlocksText;
  notify();
  if (ports_.prompter.ask(QuestionId::EraseCompleted, kCaptionInfo, MsgIcon::None, kMsgEraseCompleted, MsgButtons::YesNo) == MsgAnswer::Yes) {
    end(FlowResult::Ok);
    return {};
  }
  view_.toggleEnabled = true;
  view_.okEnabled = true;
  view_.running = false;
  link_.ResetProgrammer(ports_.state.currentHandle, 0);
  return {kScan, -1};
}

LongOperation::Next EraseFlow::wait() {
  const BridgeHandle handle = ports_.state.currentHandle;
  if (waitTicks_ <= 0 || clock().nowUs() > waitEndUs_) return endRun(kMsgTimeOut);
  --waitTicks_;
  switch (protocol_.PollErase(handle)) {
    case EraseState::Busy:
    // No result byte yet: the wait goes on, at the latest until the time-out.
    case EraseState::NoResult: return {kWait, kErasePeriodMs, true};
    case EraseState::ErrorWaiting:
      stopSteps();
      view_.toggleEnabled = view_.okEnabled = true;
      view_.running = false;
      notify();
      link_.ShowProgrammerError(handle);
      return {kScan, -1};
    case EraseState::Failed: return endRun(kMsgUnknownError);
    case EraseState::Done: break;
  }
  view_.rows[index_].checked = true;
  ++index_;
  estimate().advance(++erased_);
  return {kScan, kErasePeriodMs, true};
}

LongOperation::Next EraseFlow::endRun(const char* error) {
  stopSteps();
  view_.toggleEnabled = view_.okEnabled = true;
  view_.running = false;
  notify();
  ports_.prompter.error(error);
  link_.ResetProgrammer(ports_.state.currentHandle, 0);
  return {kScan, -1};
}

}  // namespace fd
