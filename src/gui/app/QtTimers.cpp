#include "gui/app/QtTimers.h"

#include <algorithm>

namespace fd {

QtTimers::QtTimers(QObject* parent) : QObject(parent) {}

QtTimers::~QtTimers() { stopAll(); }

void QtTimers::start(int id, int periodMs) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this, id] { fire(id); });
  }
  // QTimer::start restarts a running timer, which is what a window timer does too.
  timer->start(std::max(0, periodMs));
}

void QtTimers::stop(int id) {
  const auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void QtTimers::stopAll() {
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

void QtTimers::fire(int id) {
  // A tick can open a message box, whose event loop would deliver the next timeouts of the
  // same window while the tick is still half done. Ticks of one window never overlap: a
  // timeout arriving during a tick is dropped, the next one comes a period later.
  if (inTick_ || !handler_) return;
  inTick_ = true;
  handler_(id);
  inTick_ = false;
}

}  // namespace fd
