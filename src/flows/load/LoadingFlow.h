#pragma once
// The Loading window: turns the chosen image into pages (or takes them from the
// load-record cache) and sends them to the current programmer one timer tick at a time,
// after 'D' and its header (off-line: into the on-board store) or after 'P' (on-line:
// straight onto the target). It ends with OK only once the programmer has confirmed the
// whole transfer; every other end is Cancel, after the window has said why.
//
// Steps: convert (at once) -> describe (at once, the image descriptor) -> send (a group of
// frames a tick: two off-line every 10 ms, one on-line every 60, 35 or 70 ms by type code)
// -> finish (the final handshake).
#include <cstdint>
#include <optional>
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/common/LongOperation.h"
#include "flows/common/WindowProtocol.h"
#include "flows/load/ImageSource.h"
#include "flows/load/LoadingView.h"

namespace fd {

inline constexpr const char* kMsgFileLoadingCanceled = "File loading is canceled.";

// The pacing and the limits of an off-line load, of one programmer or of many side by side.
inline constexpr int kLoadSendingPeriodMs = 10;
inline constexpr int kLoadBusyPollsBeforeGroup = 100;
inline constexpr int kLoadBusyPollsAfterDescriptor = 10;
inline constexpr int kLoadFinishBusyLimit = 100;
inline constexpr int kLoadTicksPerTimeUpdate = 10;

// How often a group of page frames goes out: off-line 10 ms; on-line by the product's type
// code, "2" 60 ms, "3" 35 ms, any other 70 ms.
int SendingPeriodMs(bool offline, char typeCode);

// The remaining-time text for an estimate of `seconds`: "Remain time:  1m 16s" for 75,
// "Remain time: 10s" for 9 (the seconds are shown one up, so the count never reads 0).
std::string RemainTimeText(std::uint64_t seconds);
// The estimate: the pages still to send at the pace of those sent in `elapsedMs`.
std::uint64_t RemainSeconds(std::uint64_t elapsedMs, std::uint64_t pagesDone, std::uint64_t pagesLeft);

// The ID code an image carries: on its ID page (page number ending in FF; for type code "3"
// only page 0x0FFF), the bytes at 0xDF, 0xE3, 0xEB, 0xEF, 0xF3, 0xF7 and 0xFB as 14 hex
// digits. Nothing for any other page.
std::optional<std::string> ImageIdTextOf(std::uint16_t page, const std::uint8_t* data, char typeCode);

struct LoadingPorts {
  AppState& state;
  WindowProtocol& windows;
  Prompter& prompter;
  Clock& clock;
  const ImageSource& source;
  // The load-record file; empty: the one in appDir.
  std::string loadRecordPath{};
};

class LoadingFlow final : public LongOperation {
public:
  explicit LoadingFlow(LoadingPorts ports);

  std::string title() const override { return kLoadingTitle; }
  const LoadingView& view() const { return view_; }

  // After the convert step: the page list was converted now (false: taken from the cache).
  bool converted() const { return converted_; }
  std::uint32_t pageTotal() const { return pageTotal_; }
  std::uint32_t pagesSent() const { return pageTotal_ - pagesLeft_; }

  // A describe step that gets no answer is tried again at the next tick until this much
  // time has passed on the clock since the first try: a programmer preparing its store
  // may take a while, and Cancel works all along.
  static constexpr std::uint64_t kDescribeWaitUs = 30'000'000;

  // True once the programmer has been waited for at the describe step.
  bool waitingForProgrammer() const { return waitingForProgrammer_; }

private:
  enum Step { kConvert = 1, kDescribe, kSend, kFinish };

  void onOpen() override;
  Next runStep(int step) override;
  Next convertStep();
  Next describeStep();
  Next retryDescribe(const char* givingUpText);
  Next sendStep();
  void finishStep();
  // One page frame; false when it could not be sent (the window has ended).
  bool sendPage();
  // The window ends as Cancel after `text` (if any) and a reset without the select mark.
  void fail(const std::string& text);
  // The programmer reported an error: shown, the programmer reset, the window cancelled.
  void failWithProgrammerError();
  void userCancel();
  void stopTimer();
  bool offline() const { return ports_.state.offlineMode != 0; }
  char typeCode() const;

  LoadingPorts ports_;
  LoadingView view_;
  int periodMs_ = kLoadSendingPeriodMs;
  std::string loadRecord_;
  bool converted_ = false;
  std::uint32_t pageTotal_ = 0;
  std::uint32_t pagesLeft_ = 0;
  std::size_t nextPage_ = 0;
  int tickCounter_ = 0;
  std::uint64_t sendStartUs_ = 0;
  bool descriptorWritten_ = false;
  std::optional<std::uint64_t> describeStartUs_;
  bool waitingForProgrammer_ = false;
};

}  // namespace fd
