#include "flows/load/MultiLoad.h"

#include <algorithm>

#include "app/RunLog.h"
#include "flows/load/LoadFile.h"
#include "flows/load/LoadingFlow.h"
#include "formats/DeviceDatabase.h"
#include "formats/LoadRecord.h"
#include "formats/SRecord.h"
#include "formats/Sha256.h"

namespace fd {

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

std::vector<LoadNote> LoadNotesOf(const Outcome& outcome) {
  std::vector<LoadNote> notes;
  for (const Notice& notice : outcome.notices) {
    notes.push_back({notice.kind == Notice::Kind::Warning ? LoadNote::Kind::Warning : LoadNote::Kind::Error,
                     notice.text});
  }
  return notes;
}

std::vector<LoadNote> MultiLoad::notesOf(const Outcome& outcome) const { return LoadNotesOf(outcome); }

std::vector<PreparedProgrammer> ResetAndReadProgrammers(Protocol& protocol, AppState& state,
                                                        const std::vector<MultiLoadTarget>& targets) {
  std::vector<PreparedProgrammer> prepared(targets.size());
  std::vector<BridgeHandle> handles;
  for (const MultiLoadTarget& target : targets) handles.push_back(target.handle);
  const std::vector<Outcome> resets = protocol.ResetProgrammers(handles, 1);
  std::vector<std::size_t> reading;
  std::vector<BridgeHandle> readHandles;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (!resets[i].ok()) {
      prepared[i].notes = LoadNotesOf(resets[i]);
      if (prepared[i].notes.empty()) prepared[i].notes.push_back({LoadNote::Kind::Error, kMsgCannotReset});
      continue;
    }
    state.targetConnected = 0;
    reading.push_back(i);
    readHandles.push_back(handles[i]);
  }
  std::vector<ProgrammerInfo> blocks;
  const std::vector<Outcome> reads = protocol.ReadProgrammerInfos(readHandles, blocks);
  for (std::size_t k = 0; k < reading.size(); ++k) {
    PreparedProgrammer& programmer = prepared[reading[k]];
    if (!reads[k].ok()) {
      // The failed read has closed the handle.
      programmer.open = false;
      programmer.notes.push_back({LoadNote::Kind::Error, "The programmer did not give its information block."});
      continue;
    }
    programmer.info = blocks[k];
  }
  return prepared;
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
  noOperation_.assign(targets.size(), false);
  startUs_ = ports_.clock.nowUs();
  for (const MultiLoadTarget& target : targets) ports_.protocol.forgetErrorCode(target.handle);
  // What Off-line Set does before its window opens, for all of them together.
  const std::vector<PreparedProgrammer> prepared = ResetAndReadProgrammers(ports_.protocol, ports_.state, targets);
  for (std::size_t i = 0; i < targets.size(); ++i) {
    MultiLoadLine line;
    line.sn = targets[i].sn;
    line.handle = targets[i].handle;
    line.open = prepared[i].open;
    lines_.push_back(line);
    if (!prepared[i].taken()) {
      fail(lines_.back(), prepared[i].notes);
      continue;
    }
    lines_.back().info = prepared[i].info;
  }
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    MultiLoadLine& line = lines_[i];
    if (line.state != LoadLineState::Ready) continue;
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
    maps_[i] = *map;
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

void MultiLoad::endWithoutImage() {
  for (std::size_t i = 0; i < lines_.size(); ++i) noOperation_[i] = lines_[i].state == LoadLineState::Ready;
  failAll(kMsgNoFileTaken);
  endIfDone();
}

void MultiLoad::start(const ChosenImage& image) {
  imageTitle_ = image.title;
  cancelRequested_ = false;
  // The image once for all of them, before anything is sent: a file that cannot be
  // converted leaves every programmer as it is.
  const std::optional<ImageKey> key = image.source->key();
  imageFile_ = image.source->fileName();
  imageKey_ = key;
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
  writeRunLog();
  notify();
}

void MultiLoad::writeRunLog() {
  if (ports_.state.runLog == nullptr) return;
  const std::uint64_t durationMs = (ports_.clock.nowUs() - startUs_) / 1000;
  std::vector<RunLogWriter::Entry> entries;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const MultiLoadLine& line = lines_[i];
    if (noOperation_[i]) continue;
    RunRecord record;
    record.operation = "load";
    record.sn = line.sn;
    record.product = std::string(TrimTrailingSpaces(InfoMcuName(line.info)));
    record.file = imageFile_;
    if (imageKey_) {
      record.stamp = StampDisplayText(imageKey_->stamp.time);
      record.sha256 = Sha256Text(imageKey_->digest);
    }
    if (line.succeeded()) {
      record.result = kRunOk;
    } else {
      const bool canceled = line.state == LoadLineState::Kept || line.state == LoadLineState::Cancelled;
      record.result = canceled ? kRunCanceled : kRunFailed;
      record.code = ports_.protocol.lastErrorCode(line.handle);
    }
    record.text = MultiLoadResultText(line);
    record.durationMs = durationMs;
    entries.push_back({line.handle, std::move(record)});
  }
  ports_.state.runLog->write(std::move(entries));
}

bool MultiLoad::allSucceeded() const {
  return !lines_.empty() && std::all_of(lines_.begin(), lines_.end(), [](const MultiLoadLine& l) { return l.succeeded(); });
}

}  // namespace fd
