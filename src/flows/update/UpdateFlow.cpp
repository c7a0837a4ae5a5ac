#include "flows/update/UpdateFlow.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "flows/load/ChooseImageFile.h"
#include "link/BootLoader.h"

namespace fd {

namespace {
constexpr int kLastLeadIn = boot::kLeadInCount - 1;
constexpr std::uint32_t kConnectAnswerBytes = 3;
constexpr std::uint32_t kStatusBytes = 2;
// Progress after the connect answer and after each erase that passed.
constexpr int kProgressAfterErase[] = {5, 10, 15, 20};
constexpr int kProgressBeforePages = 30;
constexpr int kProgressForPages = 70;
}  // namespace

std::string BlockEraseErrorText(int block) { return "Block " + std::to_string(block) + " erase error!"; }

std::string OutsideFirmwareText(std::uint32_t address) {
  char text[160];
  std::snprintf(text, sizeof text,
                "Selected file has data at 0x%05X, outside the programmer's flash (0xFC000 to 0xFFFFF)!",
                static_cast<unsigned>(address));
  return text;
}

UpdateFlow::UpdateFlow(UpdateFlowPorts ports, BridgeHandle handle)
    : LongOperation(ports.clock, kTimerUpdate), ports_(ports), handle_(handle) {}

void UpdateFlow::onOpen() {
  view_ = UpdateView{};
  pages_.clear();
  written_ = 0;
  startSteps(kChooseFile, 0);
}

void UpdateFlow::closeBox() {
  // The flash is being rewritten: leaving now would leave the programmer without firmware.
  if (view_.closeRefused) return;
  cancel();
}

void UpdateFlow::setProgress(int percent) {
  view_.progress = percent;
  estimate().advance(static_cast<std::uint64_t>(percent));
}

void UpdateFlow::fail(const std::string& message) {
  ports_.prompter.error(message);
  end(FlowResult::Cancel);
}

bool UpdateFlow::write(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t written = 0;
  const int status = ports_.bridge.BridgeWrite(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  return status == kBridgeOk && written == bytes.size();
}

std::uint32_t UpdateFlow::read(std::uint8_t* buffer, std::uint32_t count) {
  std::uint32_t got = 0;
  ports_.bridge.BridgeRead(handle_, buffer, count, got);
  return got < count ? got : count;
}

LongOperation::Next UpdateFlow::runStep(int step) {
  if (step == kChooseFile) return chooseFile();
  if (cancelRequested() && !view_.closeRefused) {
    end(FlowResult::Cancel);
    return {};
  }
  if (step <= kFirstStatusRead) {
    bool sent = false;
    if (step <= kLastLeadIn) {
      sent = write({boot::kLeadIn});
    } else if (step == kConnect) {
      sent = write({boot::kConnect});
    } else if (step == kIdCheck) {
      sent = write(boot::IdCheckFrame());
    } else {
      sent = write({boot::kStatusRead});
    }
    // A link that takes no bytes will not answer either.
    if (!sent) {
      fail(kMsgCannotConnect);
      return {};
    }
    return {step + 1, kLeadInPeriodMs};
  }
  if (step < kProgramming) return checkAndErase(step);
  return programPage();
}

LongOperation::Next UpdateFlow::chooseFile() {
  for (;;) {
    std::optional<ImageFileChoice> choice = ChooseImageFile(ports_.prompter, kSelectProgramFileTitle, nullptr);
    if (!choice) {
      end(FlowResult::Cancel);
      return {};
    }
    // Converted right after its choice, so a file that cannot go in whole is refused
    // before the programmer's flash is touched.
    TextPageSink sink;
    const ConvertResult converted = ConvertChosenImage(*choice, sink);
    if (!converted.ok) {
      ports_.prompter.error(converted.message);
      continue;
    }
    const auto outside = std::find_if(sink.pages().begin(), sink.pages().end(),
                                      [](const PageRecord& page) { return !boot::IsFirmwarePage(page.page); });
    if (outside != sink.pages().end()) {
      ports_.prompter.error(OutsideFirmwareText(std::uint32_t{outside->page} << 8));
      continue;
    }
    // A file without a page of the programmer's flash is refused by the choice (no page at
    // all) or just above (another page). One without the last page would leave the boot
    // loader's ID check reading erased flash: the programmer could never be updated again.
    const bool hasLastPage = std::any_of(sink.pages().begin(), sink.pages().end(),
                                         [](const PageRecord& page) { return page.page == boot::kLastFirmwarePage; });
    if (!hasLastPage) {
      ports_.prompter.error(kMsgNoLastFirmwarePage);
      continue;
    }
    pages_ = sink.pages();
    break;
  }
  estimate().begin(100);
  return {0, kLeadInPeriodMs};
}

LongOperation::Next UpdateFlow::checkAndErase(int step) {
  // Steps 20, 22 and 24 ask for the status of the erase sent two steps before.
  if (step != kConnectAnswer && (step - kConnectAnswer) % 2 == 1) {
    if (!write({boot::kStatusRead})) {
      fail(kMsgCannotConnect);
      return {};
    }
    return {step + 1, kBlockErasePeriodMs};
  }
  const int erased = (step - kConnectAnswer) / 2;  // blocks erased before this step
  if (step == kConnectAnswer) {
    std::uint8_t answer[kConnectAnswerBytes] = {};
    if (read(answer, kConnectAnswerBytes) < kConnectAnswerBytes || answer[0] != boot::kConnect) {
      fail(kMsgCannotConnect);
      return {};
    }
    if (!boot::IdPassed(answer[2])) {
      fail(kMsgIdNotMatch);
      return {};
    }
  } else {
    std::uint8_t status[kStatusBytes] = {};
    const std::uint32_t got = read(status, kStatusBytes);
    // Nothing at all: the boot loader is gone. Half an answer: it did not finish in time.
    if (got == 0) {
      fail(kMsgCannotConnect);
      return {};
    }
    if (got < kStatusBytes || !boot::IsReady(status[0])) {
      fail(kMsgBootTimeOut);
      return {};
    }
    if (boot::EraseFailed(status[0])) {
      fail(BlockEraseErrorText(erased - 1));
      return {};
    }
  }
  setProgress(kProgressAfterErase[erased]);
  if (erased == static_cast<int>(boot::kBlockPages.size())) return {kProgramming, kProgramLeadPeriodMs};
  view_.closeRefused = true;
  if (!write(boot::BlockEraseFrame(boot::kBlockPages[static_cast<std::size_t>(erased)]))) {
    fail(kMsgCannotConnect);
    return {};
  }
  return {step + 1, kBlockErasePeriodMs};
}

LongOperation::Next UpdateFlow::programPage() {
  if (written_ >= pages_.size()) {
    end(FlowResult::Ok);
    return {};
  }
  const PageRecord& page = pages_[written_];
  const auto data = DecodePageText(page.text);
  Bridge& bridge = ports_.bridge;
  bridge.BridgeFlushBuffers(handle_, 1, 1);
  // A page that did not go out whole is not programmed, whatever the status says.
  if (!data || !write(boot::PageProgramFrame(page.page, *data))) {
    fail(kMsgBootUnknownError);
    return {};
  }
  ports_.pacer.spin(kAfterPageSpin);
  write({boot::kStatusRead});
  ports_.pacer.spin(kAfterStatusReadSpin);
  std::uint8_t status[kStatusBytes] = {};
  if (read(status, kStatusBytes) < kStatusBytes) {
    fail(kMsgBootUnknownError);
    return {};
  }
  if (!boot::IsReady(status[0])) {
    fail(kMsgBootTimeOut);
    return {};
  }
  if (boot::ProgramFailed(status[0])) {
    fail(kMsgProgramError);
    return {};
  }
  ++written_;
  setProgress(static_cast<int>(kProgressForPages * written_ / pages_.size() + kProgressBeforePages));
  if (written_ == pages_.size()) {
    end(FlowResult::Ok);
    return {};
  }
  // One page a tick, so the window paints its progress between pages.
  return {kProgramming, 0};
}

}  // namespace fd
