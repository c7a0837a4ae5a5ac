#pragma once
// Window timers on QTimer: one timer per id, each calling the owner's handler with its id.
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>

#include "app/Timers.h"

namespace fd {

class QtTimers final : public QObject, public Timers {
  Q_OBJECT
public:
  explicit QtTimers(QObject* parent = nullptr);
  ~QtTimers() override;

  // Who handles a due timer (usually the window's flow, onTimer(id)).
  void setHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }

  void start(int id, int periodMs) override;
  void stop(int id) override;
  void stopAll();

  bool isActive(int id) const;
  // The period the timer was last started with, -1 when it never was.
  int period(int id) const;

  // Runs one tick of `id` now, as if it had become due (unless a tick is already running).
  void fire(int id);

private:
  std::map<int, QTimer*> timers_;
  std::function<void(int)> handler_;
  bool inTick_ = false;
};

}  // namespace fd
