// The main window's detection: the programmers counted, opened, reset together and read
// together, and the list rebuilt from their information blocks.
#include <algorithm>
#include <cstdio>

#include "flows/main/MainFlow.h"
#include "flows/main/MainFlowParts.h"
#include "link/ProgrammerSn.h"

namespace fd {
using namespace mainwindow;
namespace {

constexpr const char* kUnknownTime = "??????";
constexpr const char* kUnknownSize = "??????  ";


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
  cells[2] = StampDisplayText(PrintableText(InfoModifyDigits(block)));
  cells[3] = FormatFileSize(InfoFileSize(block));
  return cells;
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
    if (!openOnly_.empty() && std::find(openOnly_.begin(), openOnly_.end(), index) == openOnly_.end()) continue;
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
    blocks_[r] = blocks[i];
    const auto texts = DetectionRowTexts(blocks[i]);
    const int number = ports_.stableRows ? static_cast<int>(readyIndex[i]) + 1 : r + 1;
    view_.rows.push_back({SnText(number), {texts.begin(), texts.end()}, true, false, {}});
    ++r;
  }
  std::sort(failures.begin(), failures.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& [index, message] : failures) detectionFailures_.push_back({index, std::move(message)});
  SetColumns(view_, view_.columns);
  findLoadedImages();

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

}  // namespace fd
