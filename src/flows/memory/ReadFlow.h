#pragma once
// The Read window's logic: reads [readStart, readEnd] from the target of the current
// programmer, one 256-byte page each tick of the window's timer, into the hex view; Pause
// and Go; ADDRESS jumps in the view; Save writes what was read as S-records; closing with
// unsaved data asks first.
#include <cstdint>
#include <string>
#include <vector>

#include "flows/common/LongOperation.h"
#include "flows/common/WindowProtocol.h"
#include "flows/memory/MemoryPorts.h"
#include "flows/memory/ReadView.h"
#include "link/Protocol.h"

namespace fd {

inline constexpr const char* kReadTitle = "Read";
inline constexpr const char* kReadCompletedText = "Read completed. But not saved.";
inline constexpr const char* kSaveCompletedText = "Save completed.";
inline constexpr const char* kSaveCaption = "Save?";
inline constexpr const char* kMsgSaveBeforeClose = "Save the data to file?";

inline constexpr int kReadFirstPeriodMs = 100;
inline constexpr int kReadPeriodMs = 10;
inline constexpr int kReadBusyPolls = 200;

// "Wait for reading... 45%" and "Reading is paused. 45% is read."
std::string ReadingStatusText(int percent);
std::string PausedStatusText(int percent);

class ReadFlow final : public LongOperation {
public:
  explicit ReadFlow(MemoryPorts ports);

  std::string title() const override { return kReadTitle; }
  const ReadView& view() const { return view_; }

  // Pause / Go.
  void pauseGo();
  // Save: the bytes read so far to a file the user chooses.
  void save();
  // ADDRESS: the Top Address window, then the view scrolled to the line of the address.
  void address();
  // The close box and Escape: with unsaved data the question "Save the data to file?".
  void closeBox() override;

  // Every page of the range has arrived.
  bool complete() const { return complete_; }
  // The last stop came from a request that could not be sent or an answer that did not
  // come: the window shows nothing for it.
  bool stoppedUnanswered() const { return unanswered_; }
  bool saved() const { return saved_; }
  // The bytes read so far, from readStart on.
  const std::vector<std::uint8_t>& data() const { return data_; }
  // The file the last successful save wrote.
  const std::string& savedPath() const { return savedPath_; }

private:
  enum Step { kPage = 1 };
  void onOpen() override;
  Next runStep(int step) override;
  bool saveData();
  void showPage(const std::uint8_t* page);

  MemoryPorts ports_;
  Protocol& protocol_;
  WindowProtocol link_;
  ReadView view_;
  std::int32_t start_ = 0;
  std::int32_t end_ = 0;
  std::int32_t position_ = 0;  // address of the next page to ask for
  int pages_ = 0;
  bool complete_ = false;
  bool saved_ = false;
  bool unanswered_ = false;
  std::vector<std::uint8_t> data_;
  std::string savedPath_;
};

}  // namespace fd
