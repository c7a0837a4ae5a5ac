#include "flows/load/MultiLoad.h"

// The transfer of a load of many: the tick, each programmer's step on it, and how one
// that fails or finishes leaves the others going.

#include <algorithm>

#include "flows/load/LoadFile.h"
#include "flows/load/LoadingFlow.h"
#include "formats/LoadRecord.h"
#include "formats/SRecord.h"

namespace fd {

void MultiLoad::onTimer(int id) {
  if (id != kTimerMultiLoad || !running_) return;
  if (cancelRequested_) {
    cancelAll();
    return;
  }
  // Each programmer takes one step a tick, the step it was at when the tick began.
  std::vector<std::size_t> describing, sending, finishing;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    switch (lines_[i].state) {
      case LoadLineState::Describing: describing.push_back(i); break;
      case LoadLineState::Sending: sending.push_back(i); break;
      case LoadLineState::Finishing: finishing.push_back(i); break;
      default: break;
    }
  }
  ports_.timers.start(kTimerMultiLoad, kLoadSendingPeriodMs);
  if (!sending.empty()) sendStep(sending);
  if (!describing.empty()) describeStep(describing);
  if (!finishing.empty()) finishStep(finishing);
  notify();
  endIfDone();
}

void MultiLoad::describeStep(const std::vector<std::size_t>& which) {
  Protocol& protocol = ports_.protocol;
  const std::uint64_t now = ports_.clock.nowUs();
  std::vector<BridgeHandle> handles;
  std::vector<std::size_t> waiting;
  std::vector<std::size_t> retry;
  for (const std::size_t i : which) {
    MultiLoadLine& line = lines_[i];
    Transfer& t = transfers_[i];
    if (!t.describeStartUs) t.describeStartUs = now;
    if (!t.descriptorWritten) {
      std::copy_n(loadRecord_.begin(), kDescriptorSize, line.info.begin() + info::kDescriptor);
      const DescriptorFrame frame = MakeDescriptorFrame(line.info.data() + info::kDescriptor);
      if (!protocol.WriteBytes(line.handle, frame.data(), 2) ||
          !protocol.WriteBytes(line.handle, frame.data() + 2, kDescriptorBytes)) {
        retry.push_back(i);
        continue;
      }
      // Written once only: a second copy would be taken for the first page frame.
      t.descriptorWritten = true;
    }
    waiting.push_back(i);
  }
  for (const std::size_t i : waiting) handles.push_back(lines_[i].handle);
  const std::vector<bool> ready = protocol.WaitNotBusy(handles, kLoadBusyPollsAfterDescriptor);
  const auto giveUpOrRetry = [&](std::size_t i, const char* givingUpText) {
    Transfer& t = transfers_[i];
    // A programmer whose status line no longer reads has gone: it is not waited for.
    const bool gone = !protocol.ReadStatus(lines_[i].handle);
    if (gone || ports_.clock.nowUs() - *t.describeStartUs >= kDescribeWaitUs) {
      breakOff(lines_[i], Outcome::Error(Outcome::Failure::TimeOut, givingUpText), true);
    }
  };
  for (const std::size_t i : retry) giveUpOrRetry(i, kMsgUnknownError);
  for (std::size_t k = 0; k < waiting.size(); ++k) {
    const std::size_t i = waiting[k];
    MultiLoadLine& line = lines_[i];
    Transfer& t = transfers_[i];
    if (!ready[k]) {
      giveUpOrRetry(i, kMsgTimeOut);
      continue;
    }
    if (protocol.WaitStatusLine(line.handle, kResultBit, 2)) {
      breakOff(line, protocol.FetchProgrammerError(line.handle), false);
      continue;
    }
    std::uint8_t status = 0;
    if (!protocol.ReadBytes(line.handle, &status, 1)) {
      giveUpOrRetry(i, kMsgUnknownError);
      continue;
    }
    if (status != 0) {
      breakOff(line, Outcome::Error(Outcome::Failure::BadResult, kMsgUnknownError), true);
      continue;
    }
    t.pagesLeft = line.pageTotal;
    t.nextPage = 0;
    t.tickCounter = 0;
    t.sendStartUs = ports_.clock.nowUs();
    line.idText.clear();
    line.state = LoadLineState::Sending;
  }
}

void MultiLoad::sendStep(const std::vector<std::size_t>& which) {
  Protocol& protocol = ports_.protocol;
  std::vector<BridgeHandle> handles;
  for (const std::size_t i : which) handles.push_back(lines_[i].handle);
  // Every programmer's busy check, then all their groups side by side.
  const std::vector<GroupReady> ready = protocol.WaitReadyForGroups(handles, kLoadBusyPollsBeforeGroup);
  std::vector<Protocol::WriteBatch> batches;
  std::vector<std::size_t> batched;
  std::vector<std::size_t> framesIn;  // page frames in each batch
  for (std::size_t k = 0; k < which.size(); ++k) {
    MultiLoadLine& line = lines_[which[k]];
    Transfer& t = transfers_[which[k]];
    if (ready[k] == GroupReady::TimedOut) {
      breakOff(line, Outcome::Error(Outcome::Failure::TimeOut, kMsgTimeOut), true);
      continue;
    }
    if (ready[k] == GroupReady::Error) {
      breakOff(line, protocol.FetchProgrammerError(line.handle), false);
      continue;
    }
    Protocol::WriteBatch batch{line.handle, {}};
    const PageFrame& first = frames_[t.nextPage];
    batch.writes.emplace_back(first.begin(), first.end());
    std::size_t frames = 1;
    if (t.pagesLeft == 1) {
      // The last frame opened its group: the end mark tells the programmer no second comes.
      batch.writes.push_back({kCmdLast});
    } else {
      const PageFrame& second = frames_[t.nextPage + 1];
      batch.writes.emplace_back(second.begin(), second.end());
      frames = 2;
    }
    batches.push_back(std::move(batch));
    batched.push_back(which[k]);
    framesIn.push_back(frames);
  }
  const std::vector<std::size_t> done = protocol.WriteSideBySide(batches);
  for (std::size_t k = 0; k < batched.size(); ++k) {
    MultiLoadLine& line = lines_[batched[k]];
    Transfer& t = transfers_[batched[k]];
    const std::size_t sentFrames = std::min(done[k], framesIn[k]);
    for (std::size_t f = 0; f < sentFrames; ++f) {
      const std::uint16_t page = pageNumbers_[t.nextPage];
      const LoadRecordPage record = LoadRecordPageAt(loadRecord_, t.nextPage);
      if ((page & 0xFF) == 0xFF) {
        const auto data = DecodePageText(record.text);
        if (data) {
          if (std::optional<std::string> id = ImageIdTextOf(page, data->data(), typeCodeOf(line))) line.idText = *id;
        }
      }
      ++t.nextPage;
      --t.pagesLeft;
    }
    line.pagesSent = line.pageTotal - t.pagesLeft;
    line.percent = line.pageTotal == 0 ? 100 : static_cast<int>(100ull * line.pagesSent / line.pageTotal);
    if (done[k] < batches[k].writes.size()) {
      breakOff(line, Outcome::Error(Outcome::Failure::Link, kMsgUnknownError), true);
      continue;
    }
    if (t.pagesLeft == 0) {
      line.state = LoadLineState::Finishing;
      continue;
    }
    if (t.tickCounter == kLoadTicksPerTimeUpdate) {
      const std::uint64_t elapsedMs = (ports_.clock.nowUs() - t.sendStartUs) / 1000;
      line.remainText = RemainTimeText(RemainSeconds(elapsedMs, line.pagesSent, t.pagesLeft));
      t.tickCounter = 0;
    }
    ++t.tickCounter;
  }
}

void MultiLoad::finishStep(const std::vector<std::size_t>& which) {
  Protocol& protocol = ports_.protocol;
  std::vector<BridgeHandle> handles;
  for (const std::size_t i : which) handles.push_back(lines_[i].handle);
  const std::vector<Outcome> answers = protocol.CompletionHandshakes(handles, kLoadFinishBusyLimit, Protocol::SilentRead::No);
  for (std::size_t k = 0; k < which.size(); ++k) {
    MultiLoadLine& line = lines_[which[k]];
    if (!answers[k].ok()) {
      // A fetched error has reset the programmer already; every other failure resets it
      // without the mark, as the Loading window does.
      breakOff(line, answers[k], answers[k].failure != Outcome::Failure::ProgrammerError &&
                                     answers[k].failure != Outcome::Failure::UnreadableError);
      continue;
    }
    succeed(line);
  }
}

void MultiLoad::succeed(MultiLoadLine& line) {
  line.state = LoadLineState::Loaded;
  line.percent = 100;
  line.notes.push_back({LoadNote::Kind::Info, kMsgFileLoaded});
  const LocalTime now = ports_.localTime ? ports_.localTime() : CurrentLocalTime();
  const std::string name = InfoMcuName(line.info);
  line.history = ports_.log.recordSuccess(now, kTitleOfflineLoad, line.sn, name.empty() ? kNotSelect : name,
                                          imageTitle_, kLoadSuccessText, line.idText);
}

void MultiLoad::breakOff(MultiLoadLine& line, const Outcome& why, bool resetWithoutMark) {
  const std::vector<LoadNote> whyNotes = notesOf(why);
  line.notes.insert(line.notes.end(), whyNotes.begin(), whyNotes.end());
  if (resetWithoutMark) {
    const Outcome reset = ports_.protocol.ResetProgrammer(line.handle, 0);
    const std::vector<LoadNote> resetNotes = notesOf(reset);
    line.notes.insert(line.notes.end(), resetNotes.begin(), resetNotes.end());
  }
  line.notes.push_back({LoadNote::Kind::Warning, kMsgStoreDamaged});
  line.storeDamaged = true;
  // Announced again, so the programmer knows its store holds no whole image.
  ports_.protocol.WriteProgrammerHeader(line.handle, 1, line.info);
  line.state = LoadLineState::Failed;
}

}  // namespace fd
