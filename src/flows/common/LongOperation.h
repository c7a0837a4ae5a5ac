#pragma once
// A long operation as a step machine: each tick of its timer runs one bounded step (at most
// one protocol exchange), which says what comes next and when. The base keeps the progress
// (0 to 100), a remaining-time estimate on a monotonic clock, and the Cancel request, which
// a step sees at its next tick. Loading, Erase, Read and Updating windows are built on it.
#include <cstdint>
#include <optional>
#include <string>

#include "flows/common/ModalFlow.h"
#include "link/Clock.h"

namespace fd {

// Progress and the time it will still take, measured from the first unit of work.
class ProgressEstimate {
public:
  explicit ProgressEstimate(Clock& clock) : clock_(clock) {}
  // Work of `total` units starts now (0 units: nothing to estimate).
  void begin(std::uint64_t total);
  void advance(std::uint64_t done);
  std::uint64_t done() const { return done_; }
  std::uint64_t total() const { return total_; }
  // 0..100; 100 only when every unit is done.
  int percent() const;
  // Time still needed at the pace so far; none before the first unit is done.
  std::optional<std::uint64_t> remainingMs() const;

private:
  Clock& clock_;
  std::uint64_t startUs_ = 0;
  std::uint64_t total_ = 0;
  std::uint64_t done_ = 0;
};

class LongOperation : public ModalFlow {
public:
  // Cancel (or the close box): taken at the next tick, by the step that sees it.
  void cancel();
  void closeBox() override { cancel(); }
  bool cancelRequested() const { return cancelRequested_; }
  const ProgressEstimate& progress() const { return progress_; }
  void onTimer(int id) final;

protected:
  LongOperation(Clock& clock, int timerId) : clock_(clock), progress_(clock), timerId_(timerId) {}

  // What a step asks for: run `step` next, after `periodMs` (0: at once). With
  // `timerRuns` false the timer is stopped while the step works and started again after
  // it, so a slow step never has a tick queued behind it. A negative period leaves the
  // timer stopped: the machine waits at `step` until the window starts it again (a
  // paused read, an erase window between runs).
  struct Next {
    int step = 0;
    int periodMs = 0;
    bool timerRuns = false;
  };
  // One bounded step; it ends the operation with end() when it is the last.
  virtual Next runStep(int step) = 0;
  // Starts the machine at `step` (from onOpen, or again after it was stopped); with
  // `timerRuns` the timer keeps its rhythm from the first tick on.
  void startSteps(int step, int periodMs = 0, bool timerRuns = false);
  // Stops the timer now, from a click or inside a step that asks a question: no tick
  // comes until startSteps().
  void stopSteps();
  // Runs the current step now, as if its tick had come: a click that must act before the
  // next tick (the gang run's Cancel shows its results at once).
  void stepNow() { onTimer(timerId_); }
  bool stepsRunning() const { return !stopped_; }
  int currentStep() const { return step_; }
  ProgressEstimate& estimate() { return progress_; }
  Clock& clock() { return clock_; }

private:
  Clock& clock_;
  ProgressEstimate progress_;
  int timerId_;
  int step_ = 0;
  int periodMs_ = -1;
  bool timerRuns_ = false;
  bool cancelRequested_ = false;
  bool stopped_ = true;
};

}  // namespace fd
