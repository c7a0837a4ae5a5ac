#include "gui/app/QtTimers.h"

#include <algorithm>

#include "gui/app/GuiPacer.h"

namespace fd {

QtTimers::QtTimers(QObject* parent) : QObject(parent) {}

QtTimers::~QtTimers() { stopAll(); }

void QtTimers::setPacer(GuiPacer* pacer) {
  if (pacer_ != nullptr) disconnect(pacer_, nullptr, this, nullptr);
  pacer_ = pacer;
  if (pacer_ != nullptr) connect(pacer_, &GuiPacer::waitEnded, this, &QtTimers::postHeld);
}

void QtTimers::start(int id, int periodMs) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { fire(id); });
  }
  // QTimer::start restarts a running timer, which is what a window timer does too; the
  // period then counts from now, so a tick held from before is void.
  drop(id);
  timer->start(std::max(0, periodMs));
}

void QtTimers::stop(int id) {
  drop(id);
  const auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void QtTimers::stopAll() {
  held_.clear();
  for (auto& [id, timer] : timers_) timer->stop();
}

bool QtTimers::isActive(int id) const {
  const auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

int QtTimers::period(int id) const {
  const auto it = timers_.find(id);
  return it == timers_.end() ? -1 : it->second->interval();
}

bool QtTimers::isHeld(int id) const { return std::find(held_.begin(), held_.end(), id) != held_.end(); }

bool QtTimers::mustHold() const { return inTick_ || (pacer_ != nullptr && pacer_->waiting()); }

void QtTimers::hold(int id) {
  if (!isHeld(id)) held_.push_back(id);
}

void QtTimers::drop(int id) { held_.erase(std::remove(held_.begin(), held_.end(), id), held_.end()); }

void QtTimers::fire(int id) {
  if (!handler_) return;
  if (mustHold()) {
    hold(id);
    return;
  }
  drop(id);  // this tick is the one that was due
  inTick_ = true;
  handler_(id);
  inTick_ = false;
  postHeld();
}

void QtTimers::postHeld() {
  // From the event loop, not from here: the code that ends a wait is still in the middle
  // of its own step.
  if (held_.empty() || posted_) return;
  posted_ = true;
  QMetaObject::invokeMethod(this, &QtTimers::runHeld, Qt::QueuedConnection);
}

void QtTimers::runHeld() {
  posted_ = false;
  // Reached from the events of a wait or of a box inside a tick: the end of that wait or
  // tick posts again.
  if (held_.empty() || mustHold()) return;
  // One held tick per pass of the event loop, so user input gets its turn between them.
  fire(held_.front());
}

}  // namespace fd
