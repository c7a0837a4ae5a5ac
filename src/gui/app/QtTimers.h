#pragma once
// Window timers on QTimer: one timer per id, each calling the owner's handler with its id.
//
// Ticks never nest: a tick that falls due while another tick runs (a message box inside a
// tick runs an event loop) or while a protocol wait of the GUI pacer lets events through is
// held and runs once, right after, from the event loop. Like a window timer, a held tick is
// one tick however often the timer fell due meanwhile, and stopping or restarting the timer
// drops it.
#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <vector>

#include "app/Timers.h"

namespace fd {

class GuiPacer;

class QtTimers final : public QObject, public Timers {
  Q_OBJECT
public:
  explicit QtTimers(QObject* parent = nullptr);
  ~QtTimers() override;

  // Who handles a due timer (usually the window's flow, onTimer(id)).
  void setHandler(std::function<void(int)> handler) { handler_ = std::move(handler); }
  // The pacer whose waits hold the ticks back. Every window whose flow waits through it
  // must know it, or a tick could run inside a wait of its own flow.
  void setPacer(GuiPacer* pacer);

  void start(int id, int periodMs) override;
  void stop(int id) override;
  void stopAll();

  bool isActive(int id) const;
  // The period the timer was last started with, -1 when it never was.
  int period(int id) const;
  // A tick of `id` fell due during a tick or a wait and has not run yet.
  bool isHeld(int id) const;

  // Runs one tick of `id` now, as if it had become due (held until after a running tick
  // or wait).
  void fire(int id);

private:
  bool mustHold() const;
  void hold(int id);
  void drop(int id);
  void postHeld();
  void runHeld();

  std::map<int, QTimer*> timers_;
  std::function<void(int)> handler_;
  GuiPacer* pacer_ = nullptr;
  std::vector<int> held_;  // in the order they fell due
  bool inTick_ = false;
  bool posted_ = false;
};

}  // namespace fd
