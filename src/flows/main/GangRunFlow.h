#pragma once
// The gang Erase-Program-Verify run: every ticked programmer programs its target from its
// own store, all at once. It is a long operation like Loading or Erase, but it has no
// window of its own: it works in the main window's list (its rows, progress bars and
// handles), so the main window opens it on its own timers and forwards its ticks, while
// the command line runs it with the same runner as every other long operation.
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "flows/common/LongOperation.h"
#include "flows/main/MainView.h"
#include "link/Protocol.h"

namespace fd {

// One row's part in the last gang run.
struct RowResult {
  std::string sn;
  bool taking = false;       // ticked when Start was pressed
  bool started = false;      // its start reached the programmer
  std::uint8_t code = 0xFF;  // 0x00 success, a programmer error code, 0xFF none
  bool succeeded() const { return started && code == 0x00; }
};

// What the run works on; all of it belongs to the main window.
struct GangRunPorts {
  Clock& clock;
  Protocol& protocol;
  MainView& view;
  // The rows' handles; a programmer that cannot be started is closed and its handle cleared.
  std::array<BridgeHandle, kMaxProgrammers>& handles;
  // The rows that take part, as Start found them; a row that cannot be started is cleared.
  std::array<int, kMaxProgrammers>& ticked;
};

class GangRunFlow final : public LongOperation {
public:
  explicit GangRunFlow(GangRunPorts ports);
  std::string title() const override { return "Gang E.P.V"; }
  // Cancel (the Start button during a run, the close box, a signal or a time-out on the
  // command line): the step takes it at once, so the result view shows without waiting
  // for the next poll, and the programmers still running are held in reset.
  void closeBox() override;

  // The rows of the run, as the result view shows them.
  std::vector<RowResult> results() const;
  const std::array<std::uint8_t, kMaxProgrammers>& resultCodes() const { return resultCodes_; }
  // The gang record's rows, one per list row. The programmers that took part are reset
  // together, then asked for their blocks together; failures go into the record, not onto
  // the screen. A failed read has closed its handle, which is cleared.
  std::vector<GangLogRow> recordRows(AppState& state);

private:
  enum Step { kPoll = 1 };
  void onOpen() override;
  Next runStep(int step) override;
  // One poll of every running programmer; true when none is running any more.
  bool pollRound();
  void showFailure(std::size_t row);
  void showResults();
  void closeHandle(std::size_t row);

  GangRunPorts ports_;
  std::array<std::uint8_t, kMaxProgrammers> resultCodes_{};
  std::array<bool, kMaxProgrammers> started_{};
  std::array<bool, kMaxProgrammers> chosen_{};  // ticked when Start was pressed
  std::uint64_t startedRows_ = 0;
};


}  // namespace fd
