#include "flows/load/MultiLoad.h"

#include <algorithm>

#include "flows/load/LoadFile.h"
#include "flows/load/LoadingFlow.h"
#include "formats/LoadRecord.h"
#include "formats/SRecord.h"

namespace fd {
namespace {

// The pacing and the limits of a single off-line load.
constexpr int kSendingPeriodMs = 10;
constexpr int kBusyPollsBeforeGroup = 100;
constexpr int kBusyPollsAfterDescriptor = 10;
constexpr int kFinishBusyLimit = 100;
constexpr int kTicksPerTimeUpdate = 10;

}  // namespace

std::string MultiLoadResultText(const MultiLoadLine& line) {
  if (line.state == LoadLineState::Loaded) return kLoadSuccessText;
  if (line.state == LoadLineState::NameReloaded) return kMsgNameReloaded;
  std::string text;
  for (const LoadNote& note : line.notes) {
    if (note.kind == LoadNote::Kind::Info && line.state != LoadLineState::Cancelled) continue;
    if (!text.empty()) text += " / ";
    text += note.text;
  }
  if (text.empty() && line.state == LoadLineState::Kept) text = "Not loaded: the programmer holds this file";
  return text;
}

MultiLoad::MultiLoad(MultiLoadPorts ports) : ports_(std::move(ports)) {
  if (ports_.loadRecordPath.empty()) ports_.loadRecordPath = ports_.state.appDir + kLoadRecordFileName;
}

void MultiLoad::notify() {
  if (changed) changed();
}

std::vector<LoadNote> MultiLoad::notesOf(const Outcome& outcome) const {
  std::vector<LoadNote> notes;
  for (const Notice& notice : outcome.notices) {
    notes.push_back({notice.kind == Notice::Kind::Warning ? LoadNote::Kind::Warning : LoadNote::Kind::Error,
                     notice.text});
  }
  return notes;
}

char MultiLoad::typeCodeOf(const MultiLoadLine& line) const { return static_cast<char>(line.info[info::kTypeCode]); }

void MultiLoad::fail(MultiLoadLine& line, const std::vector<LoadNote>& notes) {
  line.notes.insert(line.notes.end(), notes.begin(), notes.end());
  line.state = LoadLineState::Failed;
}

bool MultiLoad::prepare(const std::vector<MultiLoadTarget>& targets) {
  lines_.clear();
  maps_.assign(targets.size(), MemoryMap{});
  transfers_.assign(targets.size(), Transfer{});
  std::vector<BridgeHandle> handles;
  for (const MultiLoadTarget& target : targets) {
    MultiLoadLine line;
    line.sn = target.sn;
    line.handle = target.handle;
    lines_.push_back(line);
    handles.push_back(target.handle);
  }
  // What Off-line Set does before its window opens, for all of them together.
  const std::vector<Outcome> resets = ports_.protocol.ResetProgrammers(handles, 1);
  std::vector<std::size_t> reading;
  std::vector<BridgeHandle> readHandles;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!resets[i].ok()) {
      fail(lines_[i], notesOf(resets[i]));
      continue;
    }
    ports_.state.targetConnected = 0;
    reading.push_back(i);
    readHandles.push_back(handles[i]);
  }
  std::vector<ProgrammerInfo> blocks;
  const std::vector<Outcome> reads = ports_.protocol.ReadProgrammerInfos(readHandles, blocks);
  for (std::size_t k = 0; k < reading.size(); ++k) {
    MultiLoadLine& line = lines_[reading[k]];
    if (!reads[k].ok()) {
      // The failed read has closed the handle; a single load would not open its window.
      line.open = false;
      fail(line, {{LoadNote::Kind::Error, "The programmer did not give its information block."}});
      continue;
    }
    line.info = blocks[k];
    if (line.info[info::kNames] == 0xFF) {
      fail(line, {{LoadNote::Kind::Warning, kMsgNoProduct}});
      continue;
    }
    std::string error;
    const std::optional<MemoryMap> map = StoredProductMemoryMap(ports_.state, line.info, error);
    if (!map) {
      fail(line, {{LoadNote::Kind::Error, error}});
      continue;
    }
    maps_[reading[k]] = *map;
  }
  const bool anyReady = std::any_of(lines_.begin(), lines_.end(),
                                    [](const MultiLoadLine& l) { return l.state == LoadLineState::Ready; });
  notify();
  return anyReady;
}

std::optional<MemoryMap> MultiLoad::commonMemoryMap() const {
  std::optional<std::string> product;
  std::optional<MemoryMap> map;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].state != LoadLineState::Ready) continue;
    const std::string name = InfoMcuName(lines_[i].info);
    if (product && *product != name) return std::nullopt;
    product = name;
    map = maps_[i];
  }
  return map;
}

void MultiLoad::failAll(const std::string& text) {
  for (MultiLoadLine& line : lines_) {
    if (line.state == LoadLineState::Ready) fail(line, {{LoadNote::Kind::Error, text}});
  }
}

void MultiLoad::start(const ChosenImage& image) {
  imageTitle_ = image.title;
  cancelRequested_ = false;
  // The image once for all of them, before anything is sent: a file that cannot be
  // converted leaves every programmer as it is.
  const std::optional<ImageKey> key = image.source->key();
  if (!key) {
    failAll(kCannotOpenFileText);
    endIfDone();
    return;
  }
  PreparedLoadRecord prepared = PrepareLoadRecord(
      ports_.loadRecordPath, *key, [&image](PageSink& sink) { return image.source->convert(sink); },
      image.source->sizeHint());
  if (!prepared.result.ok || prepared.result.pageCount == 0) {
    failAll(prepared.result.ok ? std::string(kNoDataText) : prepared.result.message);
    endIfDone();
    return;
  }
  converted_ = prepared.converted;
  loadRecord_ = std::move(prepared.content);
  const std::size_t pages = LoadRecordPageCount(loadRecord_);
  frames_.clear();
  pageNumbers_.clear();
  for (std::size_t p = 0; p < pages; ++p) {
    const LoadRecordPage page = LoadRecordPageAt(loadRecord_, p);
    const auto data = DecodePageText(page.text);
    if (!data) {
      // A page that does not decode is not what was converted: nothing is sent.
      failAll(kMsgUnknownError);
      endIfDone();
      return;
    }
    frames_.push_back(MakePageFrame(page.page, data->data()));
    pageNumbers_.push_back(page.page);
  }

  // Each programmer's own tests and question, in row order.
  const bool otherImage = LoadRecordFileHoldsOtherImage(ports_.loadRecordPath, *key);
  std::vector<std::size_t> nameOnly;
  std::vector<std::size_t> reload;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    MultiLoadLine& line = lines_[i];
    if (line.state != LoadLineState::Ready) continue;
    if (FirstPageOutside(pageNumbers_, maps_[i])) {
      fail(line, {{LoadNote::Kind::Error, kOutOfMemoryMapText}});
      continue;
    }
    MsgAnswer answer = MsgAnswer::Yes;
    const FileStamp held = DecodeDescriptor(line.info.data() + info::kDescriptor).stamp;
    if (key->stamp == held && !otherImage && ports_.askReload) answer = ports_.askReload(line);
    if (answer == MsgAnswer::Cancel) {
      line.state = LoadLineState::Kept;
      continue;
    }
    const std::string padded = image.title + std::string(info::kFileNameSize, ' ');
    std::copy_n(padded.begin(), info::kFileNameSize, line.info.begin() + info::kFileName);
    (answer == MsgAnswer::No ? nameOnly : reload).push_back(i);
  }

  const auto writeHeaders = [this](const std::vector<std::size_t>& which, int dataFollows) {
    std::vector<BridgeHandle> handles;
    std::vector<ProgrammerInfo> blocks;
    for (const std::size_t i : which) {
      handles.push_back(lines_[i].handle);
      blocks.push_back(lines_[i].info);
    }
    return ports_.protocol.WriteProgrammerHeaders(handles, dataFollows, blocks);
  };
  const std::vector<Outcome> names = writeHeaders(nameOnly, 0);
  for (std::size_t k = 0; k < nameOnly.size(); ++k) {
    MultiLoadLine& line = lines_[nameOnly[k]];
    if (!names[k].ok()) {
      fail(line, notesOf(names[k]));
      continue;
    }
    line.notes.push_back({LoadNote::Kind::Info, kMsgNameReloaded});
    line.state = LoadLineState::NameReloaded;
  }
  const std::vector<Outcome> announced = writeHeaders(reload, 1);
  for (std::size_t k = 0; k < reload.size(); ++k) {
    MultiLoadLine& line = lines_[reload[k]];
    if (!announced[k].ok()) {
      fail(line, notesOf(announced[k]));
      continue;
    }
    line.state = LoadLineState::Describing;
    line.pageTotal = static_cast<std::uint32_t>(pages);
    transfers_[reload[k]] = Transfer{};
  }
  if (std::any_of(lines_.begin(), lines_.end(), [](const MultiLoadLine& l) { return l.working(); })) {
    running_ = true;
    // The descriptor goes out at once, as the Loading window's first steps do.
    ports_.timers.start(kTimerMultiLoad, 0);
  }
  endIfDone();
}

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
  ports_.timers.start(kTimerMultiLoad, kSendingPeriodMs);
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
  const std::vector<bool> ready = protocol.WaitNotBusy(handles, kBusyPollsAfterDescriptor);
  const auto giveUpOrRetry = [&](std::size_t i, const char* givingUpText) {
    Transfer& t = transfers_[i];
    if (ports_.clock.nowUs() - *t.describeStartUs >= kDescribeWaitUs) {
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
  const std::vector<GroupReady> ready = protocol.WaitReadyForGroups(handles, kBusyPollsBeforeGroup);
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
    if (t.tickCounter == kTicksPerTimeUpdate) {
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
  const std::vector<Outcome> answers = protocol.CompletionHandshakes(handles, kFinishBusyLimit, Protocol::SilentRead::No);
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

void MultiLoad::cancelAll() {
  std::vector<std::size_t> stopped;
  std::vector<BridgeHandle> handles;
  std::vector<ProgrammerInfo> blocks;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!lines_[i].working()) continue;
    stopped.push_back(i);
    handles.push_back(lines_[i].handle);
    blocks.push_back(lines_[i].info);
  }
  // What Cancel in the Loading window and the Load File command after it do, for all of
  // them together: a reset with the mark, the warning, 'D' once more.
  const std::vector<Outcome> resets = ports_.protocol.ResetProgrammers(handles, 1);
  ports_.protocol.WriteProgrammerHeaders(handles, 1, blocks);
  for (std::size_t k = 0; k < stopped.size(); ++k) {
    MultiLoadLine& line = lines_[stopped[k]];
    line.notes.push_back({LoadNote::Kind::Info, kMsgFileLoadingCanceled});
    const std::vector<LoadNote> resetNotes = notesOf(resets[k]);
    line.notes.insert(line.notes.end(), resetNotes.begin(), resetNotes.end());
    line.notes.push_back({LoadNote::Kind::Warning, kMsgStoreDamaged});
    line.storeDamaged = true;
    line.state = LoadLineState::Cancelled;
  }
  notify();
  endIfDone();
}

void MultiLoad::endIfDone() {
  if (ended_) return;
  if (std::any_of(lines_.begin(), lines_.end(), [](const MultiLoadLine& l) { return l.working(); })) return;
  ended_ = true;
  ports_.timers.stop(kTimerMultiLoad);
  // Every load ends with a reset with the select mark, whatever happened.
  std::vector<BridgeHandle> handles;
  std::vector<std::size_t> which;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (!lines_[i].open) continue;
    handles.push_back(lines_[i].handle);
    which.push_back(i);
  }
  const std::vector<Outcome> resets = ports_.protocol.ResetProgrammers(handles, 1);
  for (std::size_t k = 0; k < which.size(); ++k) {
    if (resets[k].ok()) continue;
    const std::vector<LoadNote> notes = notesOf(resets[k]);
    lines_[which[k]].notes.insert(lines_[which[k]].notes.end(), notes.begin(), notes.end());
  }
  running_ = false;
  notify();
}

bool MultiLoad::allSucceeded() const {
  return !lines_.empty() && std::all_of(lines_.begin(), lines_.end(), [](const MultiLoadLine& l) { return l.succeeded(); });
}

}  // namespace fd
