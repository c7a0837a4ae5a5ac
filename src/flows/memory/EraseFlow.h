#pragma once
// The Erase window's logic: the user ticks flash blocks, OK erases them one after another
// in list order, one erase command a block, a step each tick of the window's timer. All
// ticks are cleared when a run starts and each block's tick comes back the moment it is
// erased, so the ticks always show what this run has erased.
#include <cstdint>
#include <string>

#include "flows/common/LongOperation.h"
#include "flows/common/WindowProtocol.h"
#include "flows/memory/EraseView.h"
#include "flows/memory/MemoryPorts.h"
#include "link/Protocol.h"

namespace fd {

inline constexpr const char* kEraseTitle = "Erase";
inline constexpr const char* kMsgNoBlockSelected = "No block is selected.";
inline constexpr const char* kMsgEraseCompleted = "Erase completed. Exit erase mode?";
// The erase command did not go out whole: the programmer may hold half of it.
inline constexpr const char* kMsgEraseNotSent = "Can not send the erase command to the programmer!";

// Ticks a block may keep the programmer busy before the run gives up (100 ms each). A tick
// that waits for a result byte that never comes takes the link's read time-out, not 100 ms,
// so the wait is bounded on the clock too: by the ticks' time and half as much again.
inline constexpr int kEraseWaitTicks = 100;
inline constexpr int kErasePeriodMs = 100;

class EraseFlow final : public LongOperation {
public:
  explicit EraseFlow(MemoryPorts ports);

  std::string title() const override { return kEraseTitle; }
  const EraseView& view() const { return view_; }

  // The user ticks or clears a row; ignored during a run.
  void setChecked(int row, bool checked);
  // The select-all toggle: ticks every row, or clears every row, by its label.
  void toggleAll();
  // OK: starts a run with the ticked rows. Ignored while a run is under way, so a second
  // OK never sends a command to a programmer that is still erasing.
  void ok();
  // The close box and Escape: the window closes as Cancel (during a run at the next tick).
  void closeBox() override;

  // The rows erased by the last run (their display names), in list order.
  std::vector<std::string> erasedBlocks() const;

private:
  enum Step { kScan = 1, kWait = 2 };
  void onOpen() override;
  Next runStep(int step) override;
  Next scan();
  Next wait();
  // A run that ends without the completion question: the toggle back, the programmer reset.
  Next endRun(const char* error);
  bool sendErase(const BlockRow& row);

  MemoryPorts ports_;
  Protocol& protocol_;
  WindowProtocol link_;
  EraseView view_;
  std::string selection_;  // "E" or "N" a row, taken at OK
  std::size_t index_ = 0;  // the row the run is at
  int waitTicks_ = 0;
  std::uint64_t waitEndUs_ = 0;  // the block's time-out on the clock
  std::uint64_t erased_ = 0;
};

}  // namespace fd
