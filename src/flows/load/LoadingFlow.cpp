#include "flows/load/LoadingFlow.h"

#include <algorithm>
#include <cstdio>

#include "formats/Hex.h"
#include "link/Frames.h"
#include "link/TypeCodes.h"

namespace fd {
namespace {

constexpr std::uint8_t kIdOffsets[7] = {0xDF, 0xE3, 0xEB, 0xEF, 0xF3, 0xF7, 0xFB};

// "%2d" cut to its first two characters.
std::string TwoColumns(std::uint64_t value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%2llu", static_cast<unsigned long long>(value));
  return std::string(buffer).substr(0, 2);
}

}  // namespace

int SendingPeriodMs(bool offline, char typeCode) {
  if (offline) return 10;
  return TypeCodeFactsOf(typeCode).onlinePagePeriodMs;
}

std::string RemainTimeText(std::uint64_t seconds) {
  const std::uint64_t m = seconds / 60;
  const std::uint64_t s = seconds % 60;
  std::string text = "Remain time: ";
  if (m != 0) text += TwoColumns(m) + "m ";
  return text + TwoColumns(s + 1) + "s";
}

std::uint64_t RemainSeconds(std::uint64_t elapsedMs, std::uint64_t pagesDone, std::uint64_t pagesLeft) {
  const std::uint64_t perPage = pagesDone == 0 ? elapsedMs : elapsedMs / pagesDone;
  return pagesLeft * perPage / 1000;
}

std::optional<std::string> ImageIdTextOf(std::uint16_t page, const std::uint8_t* data, char typeCode) {
  if ((page & 0xFF) != 0xFF) return std::nullopt;
  if (TypeCodeFactsOf(typeCode).idPageInTopSegmentOnly && (page >> 8) != 0x0F) return std::nullopt;
  std::string text;
  for (std::uint8_t offset : kIdOffsets) text += HexText(data[offset], 2);
  return text;
}

LoadingFlow::LoadingFlow(LoadingPorts ports) : LongOperation(ports.clock, kTimerSubWindow), ports_(std::move(ports)) {
  if (ports_.loadRecordPath.empty()) ports_.loadRecordPath = ports_.state.appDir + kLoadRecordFileName;
}

char LoadingFlow::typeCode() const {
  // Off-line the product being loaded for is the one in the information block; the
  // on-line settings may name another.
  if (offline()) return static_cast<char>(ports_.state.programmerInfo[info::kTypeCode]);
  return ports_.state.mcuTypeCode;
}

void LoadingFlow::onOpen() {
  view_ = LoadingView{};
  view_.animationPlaying = true;
  view_.fileName = ports_.state.imageTitle + ".mot";
  view_.status = kLoadingPrepareText;
  if (!offline()) view_.product = ports_.state.productNumber;
  periodMs_ = SendingPeriodMs(offline(), ports_.state.mcuTypeCode);
  startSteps(kConvert, 0);
}

LongOperation::Next LoadingFlow::runStep(int step) {
  if (cancelRequested()) {
    userCancel();
    return {};
  }
  switch (step) {
    case kConvert: return convertStep();
    case kDescribe: return describeStep();
    case kSend: return sendStep();
    default: finishStep(); return {};
  }
}

void LoadingFlow::stopTimer() { timers().stop(kTimerSubWindow); }

void LoadingFlow::fail(const std::string& text) {
  stopTimer();
  view_.animationPlaying = false;
  if (!text.empty()) ports_.prompter.error(text);
  ports_.windows.ResetProgrammer(ports_.state.currentHandle, 0);
  end(FlowResult::Cancel);
}

void LoadingFlow::failWithProgrammerError() {
  stopTimer();
  view_.animationPlaying = false;
  ports_.windows.ShowProgrammerError(ports_.state.currentHandle);
  end(FlowResult::Cancel);
}

void LoadingFlow::userCancel() {
  stopTimer();
  view_.animationPlaying = false;
  ports_.prompter.info(kMsgFileLoadingCanceled);
  ports_.windows.ResetProgrammer(ports_.state.currentHandle, 1);
  end(FlowResult::Cancel);
}

LongOperation::Next LoadingFlow::convertStep() {
  // The file may have gone since it was chosen: the window says so rather than waiting.
  const std::optional<ImageKey> key = ports_.source.key();
  if (!key) {
    fail(kCannotOpenFileText);
    return {};
  }
  PreparedLoadRecord prepared = PrepareLoadRecord(
      ports_.loadRecordPath, *key, [this](PageSink& sink) { return ports_.source.convert(sink); },
      ports_.source.sizeHint());
  if (!prepared.result.ok) {
    // Nothing was stored: a later load of the same file converts again.
    fail(prepared.result.message);
    return {};
  }
  if (prepared.result.pageCount == 0) {
    // Tested at the choice; the file may have been emptied since.
    fail(kNoDataText);
    return {};
  }
  converted_ = prepared.converted;
  if (converted_) view_.fileName = ports_.source.fileName();
  loadRecord_ = std::move(prepared.content);
  return {kDescribe, 0, false};
}

LongOperation::Next LoadingFlow::describeStep() {
  const BridgeHandle handle = ports_.state.currentHandle;
  Protocol& protocol = ports_.windows.protocol();
  if (!describeStartUs_) describeStartUs_ = clock().nowUs();
  if (!descriptorWritten_) {
    ProgrammerInfo& block = ports_.state.programmerInfo;
    std::copy_n(loadRecord_.begin(), kDescriptorSize, block.begin() + info::kDescriptor);
    const DescriptorFrame frame = MakeDescriptorFrame(block.data() + info::kDescriptor);
    if (!protocol.WriteBytes(handle, frame.data(), 2) ||
        !protocol.WriteBytes(handle, frame.data() + 2, kDescriptorBytes)) {
      return retryDescribe(kMsgUnknownError);
    }
    descriptorWritten_ = true;
  }
  // Once the frame is out it is never written again: a second copy would be taken for the
  // first page frame. A programmer that is slow to answer is only asked again.
  if (!protocol.WaitStatusLine(handle, kBusyBit, kLoadBusyPollsAfterDescriptor)) return retryDescribe(kMsgTimeOut);
  if (protocol.WaitStatusLine(handle, kResultBit, 2)) {
    failWithProgrammerError();
    return {};
  }
  std::uint8_t status = 0;
  if (!protocol.ReadBytes(handle, &status, 1)) return retryDescribe(kMsgUnknownError);
  if (status != 0) {
    fail(kMsgUnknownError);
    return {};
  }
  pageTotal_ = pagesLeft_ = LoadRecordPageCount(loadRecord_);
  nextPage_ = 0;
  view_.barRange = pageTotal_;
  view_.barPosition = 0;
  estimate().begin(pageTotal_);
  ports_.state.imageIdText.clear();
  tickCounter_ = 0;
  sendStartUs_ = clock().nowUs();
  // With no page to send the next tick is the last.
  return {pageTotal_ == 0 ? kFinish : kSend, periodMs_, true};
}

LongOperation::Next LoadingFlow::retryDescribe(const char* givingUpText) {
  // Only a programmer that still answers is worth waiting for: one whose status line no
  // longer reads has gone (unplugged, its port hung up), and the wait would only delay
  // the same failure by half a minute.
  const bool gone = !ports_.windows.protocol().ReadStatus(ports_.state.currentHandle);
  if (gone || clock().nowUs() - *describeStartUs_ >= kDescribeWaitUs) {
    fail(givingUpText);
    return {};
  }
  waitingForProgrammer_ = true;
  view_.status = kLoadingPrepareText;
  ports_.state.imageIdText.clear();
  tickCounter_ = 0;
  sendStartUs_ = clock().nowUs();
  return {kDescribe, periodMs_, false};
}

bool LoadingFlow::sendPage() {
  const LoadRecordPage page = LoadRecordPageAt(loadRecord_, nextPage_);
  const auto data = DecodePageText(page.text);
  if (!data) {
    // The cache is tested whole before it is used; a page that does not decode means the
    // load is not what was converted, and it must not pass as loaded.
    fail(kMsgUnknownError);
    return false;
  }
  const PageFrame frame = MakePageFrame(page.page, data->data());
  if (!ports_.windows.protocol().WriteBytes(ports_.state.currentHandle, frame.data(),
                                            static_cast<std::uint32_t>(frame.size()))) {
    fail(kMsgUnknownError);
    return false;
  }
  ++nextPage_;
  --pagesLeft_;
  estimate().advance(pagesSent());
  if (std::optional<std::string> id = ImageIdTextOf(page.page, data->data(), typeCode())) {
    ports_.state.imageIdText = std::move(*id);
  }
  return true;
}

LongOperation::Next LoadingFlow::sendStep() {
  const BridgeHandle handle = ports_.state.currentHandle;
  Protocol& protocol = ports_.windows.protocol();
  switch (protocol.WaitReadyForGroup(ports_.state.currentHandle, kLoadBusyPollsBeforeGroup)) {
    case GroupReady::TimedOut: fail(kMsgTimeOut); return {};
    case GroupReady::Error: failWithProgrammerError(); return {};
    case GroupReady::Yes: break;
  }
  if (!sendPage()) return {};
  if (pagesLeft_ == 0) {
    // The last frame opened its group: the end mark tells the programmer no second one comes.
    const std::uint8_t last = kCmdLast;
    if (!protocol.WriteBytes(handle, &last, 1)) {
      fail(kMsgUnknownError);
      return {};
    }
    return {kFinish, periodMs_, true};
  }
  if (offline()) {
    if (!sendPage()) return {};
    ++view_.barPosition;
  }
  if (tickCounter_ == kLoadTicksPerTimeUpdate) {
    const std::uint64_t elapsedMs = (clock().nowUs() - sendStartUs_) / 1000;
    view_.status = RemainTimeText(RemainSeconds(elapsedMs, pagesSent(), pagesLeft_));
    tickCounter_ = 0;
  }
  ++view_.barPosition;
  ++tickCounter_;
  return {pagesLeft_ == 0 ? kFinish : kSend, periodMs_, true};
}

void LoadingFlow::finishStep() {
  stopTimer();
  view_.animationPlaying = false;
  const BridgeHandle handle = ports_.state.currentHandle;
  if (!ports_.windows.CompletionHandshake(handle, kLoadFinishBusyLimit, Protocol::SilentRead::No)) {
    ports_.windows.ResetProgrammer(handle, 0);
    end(FlowResult::Cancel);
    return;
  }
  end(FlowResult::Ok);
}

}  // namespace fd
