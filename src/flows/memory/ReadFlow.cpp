#include "flows/memory/ReadFlow.h"

#include "flows/memory/HexView.h"
#include "flows/memory/SaveReadData.h"
#include "flows/memory/TopAddrFlow.h"
#include "link/Frames.h"

namespace fd {

std::string ReadingStatusText(int percent) { return "Wait for reading... " + std::to_string(percent) + "%"; }

std::string PausedStatusText(int percent) { return "Reading is paused. " + std::to_string(percent) + "% is read."; }

ReadFlow::ReadFlow(MemoryPorts ports)
    : LongOperation(ports.clock, kTimerSubWindow),
      ports_(ports),
      protocol_(ports.link),
      link_(ports.state, protocol_, ports.prompter) {}

void ReadFlow::onOpen() {
  start_ = ports_.state.readStart;
  end_ = ports_.state.readEnd;
  position_ = start_ & ~0xFF;
  // The page count as the progress bar takes it: 16 bits.
  pages_ = static_cast<std::uint16_t>((end_ >> 8) - (start_ >> 8) + 1);
  view_ = {};
  view_.status = ReadingStatusText(0);
  view_.progressMax = pages_;
  complete_ = saved_ = false;
  unanswered_ = false;
  data_.clear();
  estimate().begin(static_cast<std::uint64_t>(pages_));
  startSteps(kPage, kReadFirstPeriodMs);
}

LongOperation::Next ReadFlow::runStep(int) {
  if (position_ > end_) {
    complete_ = true;
    view_.status = kReadCompletedText;
    view_.pauseEnabled = false;
    view_.saveEnabled = true;
    view_.progressVisible = false;
    return {kPage, -1};
  }
  const BridgeHandle handle = ports_.state.currentHandle;
  unanswered_ = false;
  std::uint8_t answer[kReadAnswerSize];
  // Any failure stops the read with the page not counted; Go asks for the same page again.
  switch (protocol_.ReadPage(handle, static_cast<std::uint16_t>(position_ >> 8), kReadBusyPolls, answer)) {
    case PageRead::NotSent:
    case PageRead::NoAnswer: unanswered_ = true; return {kPage, -1};
    case PageRead::TimedOut: ports_.prompter.error(kMsgTimeOut); return {kPage, -1};
    case PageRead::ErrorWaiting: link_.ShowProgrammerError(handle); return {kPage, -1};
    case PageRead::Ok: break;
  }
  if (!ReadAnswerIntact(answer)) {
    ports_.prompter.error(kMsgCrcError);
    return {kPage, -1};
  }
  showPage(answer + 2);
  position_ += 256;
  ++view_.progressPos;
  estimate().advance(static_cast<std::uint64_t>(view_.progressPos));
  view_.status = ReadingStatusText(estimate().percent());
  return {kPage, kReadPeriodMs};
}

void ReadFlow::showPage(const std::uint8_t* page) {
  const std::int32_t firstLine = start_ & ~0xF;
  const std::int32_t lastLine = end_ & ~0xF;
  for (int j = 0; j < 16; ++j) {
    const std::int32_t line = position_ + 16 * j;
    if (line > lastLine) break;
    if (line < firstLine) continue;
    const std::uint8_t* bytes = page + 16 * j;
    view_.lines.push_back(HexViewLine(static_cast<std::uint32_t>(line), bytes, start_, end_));
    for (int i = 0; i < 16; ++i) {
      if (line + i >= start_ && line + i <= end_) data_.push_back(bytes[i]);
    }
  }
}

void ReadFlow::pauseGo() {
  if (ended() || !view_.pauseEnabled) return;
  stopSteps();
  if (view_.pauseCaption == kPauseCaption) {
    // The percentage comes from the pages read, not from the status text, which may say
    // something else by now ("Save completed.").
    view_.status = PausedStatusText(estimate().percent());
    view_.pauseCaption = kGoCaption;
    view_.saveEnabled = true;
  } else {
    startSteps(kPage, kReadPeriodMs);
    view_.pauseCaption = kPauseCaption;
    view_.saveEnabled = false;
  }
  notify();
}

bool ReadFlow::saveData() {
  const std::optional<std::string> path =
      SaveReadData(ports_.prompter, data_, static_cast<std::uint32_t>(start_));
  if (!path) return false;
  saved_ = true;
  savedPath_ = *path;
  view_.status = kSaveCompletedText;
  notify();
  return true;
}

void ReadFlow::save() {
  if (ended() || !view_.saveEnabled) return;
  saveData();
}

void ReadFlow::address() {
  if (ended()) return;
  TopAddrFlow top(ports_.state, ports_.prompter);
  if (ports_.dialogs.run(top) != FlowResult::Ok) return;
  const std::int32_t line = (ports_.state.viewTop >> 4) - (start_ >> 4);
  // A line the view does not hold yet stays where it is; the address is kept for next time.
  if (line < 0 || line >= static_cast<std::int32_t>(view_.lines.size())) return;
  view_.topLine = line;
  ++view_.jumps;
  notify();
}

void ReadFlow::closeBox() {
  if (ended()) return;
  const bool wasReading = stepsRunning();
  stopSteps();
  if (saved_) {
    end(FlowResult::Ok);
    return;
  }
  switch (ports_.prompter.ask(QuestionId::SaveReadData, kSaveCaption, MsgIcon::Question, kMsgSaveBeforeClose, MsgButtons::YesNoCancel)) {
    case MsgAnswer::Yes:
      saveData();
      end(FlowResult::Ok);
      return;
    case MsgAnswer::No:
      end(FlowResult::Cancel);
      return;
    default:
      // The user did not mean to close: a read that was running goes on.
      if (wasReading) startSteps(kPage, kReadPeriodMs);
      notify();
      return;
  }
}

}  // namespace fd
