#pragma once
// The Updating window: the boot loader dialogue that rewrites the programmer's own flash,
// one step a tick of the update timer. It asks for the firmware file, converts it and
// refuses one without data, one with pages outside the three blocks it erases and one
// without the last page (so a programmer is never left without firmware); then lead-in, connect, ID
// check, the three block erases with their status reads, and one page program a tick.
// Ends Ok once the last page is programmed, Cancel on every failure (after its message).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Prompter.h"
#include "flows/common/LongOperation.h"
#include "flows/update/UpdateView.h"
#include "formats/LoadRecord.h"
#include "formats/SRecord.h"
#include "link/BootLoaderLink.h"
#include "link/Bridge.h"
#include "link/Pacer.h"

namespace fd {

inline constexpr const char* kUpdatingTitle = "Updating";
inline constexpr const char* kMsgCannotConnect = "Can not connect!";
inline constexpr const char* kMsgIdNotMatch = "ID code not match!";
inline constexpr const char* kMsgBootTimeOut = "Time out!";
inline constexpr const char* kMsgBootUnknownError = "Unknown error!";
inline constexpr const char* kMsgProgramError = "Program error!";
// "Block N erase error!" for block N.
std::string BlockEraseErrorText(int block);
// The refusal of a file that brings data the update would not erase first.
std::string OutsideFirmwareText(std::uint32_t address);
// The refusal of a file without the last page of the programmer's flash, which holds the ID
// the boot loader checks before every update.
inline constexpr const char* kMsgNoLastFirmwarePage =
    "Selected file has no data for the last page of the programmer's flash (0xFFF00 to 0xFFFFF)!";

// The update's pacing between ticks.
inline constexpr int kLeadInPeriodMs = 20;
inline constexpr int kBlockErasePeriodMs = 200;
inline constexpr int kProgramLeadPeriodMs = 10;

struct UpdateFlowPorts {
  Bridge& bridge;
  Pacer& pacer;
  Prompter& prompter;
  Clock& clock;
};

class UpdateFlow final : public LongOperation {
public:
  // Steps, as numbered by the dialogue: 0 to 15 lead-in, 16 connect, 17 ID check, 18 the
  // first status read, 19 to 25 the answers and the erases, 26 the pages; 100 the file.
  static constexpr int kChooseFile = 100;
  static constexpr int kConnect = 16;
  static constexpr int kIdCheck = 17;
  static constexpr int kFirstStatusRead = 18;
  static constexpr int kConnectAnswer = 19;
  static constexpr int kProgramming = 26;

  // `handle`: the boot loader link, opened at the update's rate.
  UpdateFlow(UpdateFlowPorts ports, BridgeHandle handle);

  std::string title() const override { return kUpdatingTitle; }
  // Before the first erase it cancels; after it the window stays until the dialogue ends.
  void closeBox() override;

  const UpdateView& view() const { return view_; }
  // The pages of the chosen file, in file order (known after the file step).
  const std::vector<PageRecord>& pages() const { return pages_; }
  std::size_t pagesWritten() const { return written_; }
  // The chosen file's name, and its key (stamp and SHA-256) where it could be taken.
  const std::string& fileName() const { return fileName_; }
  const std::optional<ImageKey>& fileKey() const { return fileKey_; }

private:
  void onOpen() override;
  Next runStep(int step) override;

  Next chooseFile();
  Next checkAndErase(int step);
  Next programPage();
  void setProgress(int percent);
  void fail(const std::string& message);

  UpdateFlowPorts ports_;
  BootLoaderLink boot_;
  UpdateView view_;
  std::vector<PageRecord> pages_;
  std::size_t written_ = 0;
  std::string fileName_;
  std::optional<ImageKey> fileKey_;
};

}  // namespace fd
