#include "flows/common/LongOperation.h"

#include <algorithm>

namespace fd {

void ProgressEstimate::begin(std::uint64_t total) {
  startUs_ = clock_.nowUs();
  total_ = total;
  done_ = 0;
}

void ProgressEstimate::advance(std::uint64_t done) { done_ = std::min(done, total_); }

int ProgressEstimate::percent() const {
  if (total_ == 0) return 0;
  return static_cast<int>(done_ * 100 / total_);
}

std::optional<std::uint64_t> ProgressEstimate::remainingMs() const {
  if (done_ == 0 || total_ == 0) return std::nullopt;
  const std::uint64_t elapsedUs = clock_.nowUs() - startUs_;
  // Whole units only, as the work is counted; rounded to the millisecond.
  const long double perUnit = static_cast<long double>(elapsedUs) / static_cast<long double>(done_);
  return static_cast<std::uint64_t>(perUnit * static_cast<long double>(total_ - done_) / 1000.0L + 0.5L);
}

void LongOperation::cancel() {
  cancelRequested_ = true;
  notify();
}

void LongOperation::startSteps(int step, int periodMs, bool timerRuns) {
  step_ = step;
  periodMs_ = periodMs;
  timerRuns_ = timerRuns;
  stopped_ = false;
  timers().start(timerId_, periodMs);
}

void LongOperation::stopSteps() {
  timers().stop(timerId_);
  timerRuns_ = false;
  periodMs_ = -1;
  stopped_ = true;
}

void LongOperation::onTimer(int id) {
  if (id != timerId_ || ended() || stopped_) return;
  if (!timerRuns_) timers().stop(timerId_);
  const Next next = runStep(step_);
  if (ended()) {
    timers().stop(timerId_);
    stopped_ = true;
    return;
  }
  step_ = next.step;
  if (next.periodMs < 0) {
    stopSteps();
    notify();
    return;
  }
  // A step that stopped the machine itself (before a question it asks) leaves it stopped.
  if (stopped_) {
    notify();
    return;
  }
  // A running timer keeps its rhythm; it is only started again for a new period.
  if (!timerRuns_ || !next.timerRuns || next.periodMs != periodMs_) timers().start(timerId_, next.periodMs);
  periodMs_ = next.periodMs;
  timerRuns_ = next.timerRuns;
  notify();
}

}  // namespace fd
