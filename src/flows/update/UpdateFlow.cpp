#include "flows/update/UpdateFlow.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "flows/load/ChooseImageFile.h"
#include "formats/ImageInput.h"
#include "link/BootLoader.h"

namespace fd {

namespace {
constexpr int kLastLeadIn = boot::kLeadInCount - 1;
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
    : LongOperation(ports.clock, kTimerUpdate), ports_(ports), boot_(ports.bridge, ports.pacer, handle) {}

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

LongOperation::Next UpdateFlow::runStep(int step) {
  if (step == kChooseFile) return chooseFile();
  if (cancelRequested() && !view_.closeRefused) {
    end(FlowResult::Cancel);
    return {};
  }
  if (step <= kFirstStatusRead) {
    bool sent = false;
    if (step <= kLastLeadIn) {
      sent = boot_.SendLeadIn();
    } else if (step == kConnect) {
      sent = boot_.SendConnect();
    } else if (step == kIdCheck) {
      sent = boot_.SendIdCheck();
    } else {
      sent = boot_.AskStatus();
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
    fileName_ = std::filesystem::path(choice->path).filename().string();
    fileKey_ = ImageKeyFor(choice->input);
    break;
  }
  estimate().begin(100);
  return {0, kLeadInPeriodMs};
}

LongOperation::Next UpdateFlow::checkAndErase(int step) {
  // Steps 20, 22 and 24 ask for the status of the erase sent two steps before.
  if (step != kConnectAnswer && (step - kConnectAnswer) % 2 == 1) {
    if (!boot_.AskStatus()) {
      fail(kMsgCannotConnect);
      return {};
    }
    return {step + 1, kBlockErasePeriodMs};
  }
  const int erased = (step - kConnectAnswer) / 2;  // blocks erased before this step
  if (step == kConnectAnswer) {
    switch (boot_.ReadConnectAnswer()) {
      case BootConnect::NoAnswer: fail(kMsgCannotConnect); return {};
      case BootConnect::IdRefused: fail(kMsgIdNotMatch); return {};
      case BootConnect::Connected: break;
    }
  } else {
    // Nothing at all: the boot loader is gone. Half an answer: it did not finish in time.
    switch (boot_.ReadEraseStatus()) {
      case BootStatus::NoAnswer: fail(kMsgCannotConnect); return {};
      case BootStatus::NotReady: fail(kMsgBootTimeOut); return {};
      case BootStatus::Failed: fail(BlockEraseErrorText(erased - 1)); return {};
      case BootStatus::Done: break;
    }
  }
  setProgress(kProgressAfterErase[erased]);
  if (erased == static_cast<int>(boot::kBlockPages.size())) return {kProgramming, kProgramLeadPeriodMs};
  view_.closeRefused = true;
  if (!boot_.SendBlockErase(boot::kBlockPages[static_cast<std::size_t>(erased)])) {
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
  switch (boot_.ProgramPage(page.page, DecodePageText(page.text))) {
    case BootPage::NotSent:
    case BootPage::NoAnswer: fail(kMsgBootUnknownError); return {};
    case BootPage::NotReady: fail(kMsgBootTimeOut); return {};
    case BootPage::Failed: fail(kMsgProgramError); return {};
    case BootPage::Done: break;
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
