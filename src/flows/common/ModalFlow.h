#pragma once
// A sub-window's logic: opened by a DialogHost, driven by clicks and its timers, ended
// with a result. Its view is plain data the window draws; `changed` tells the window to
// draw it again. Nothing here knows which toolkit (or none) shows it.
#include <functional>
#include <string>

#include "app/Timers.h"

namespace fd {

enum class FlowResult { Running, Ok, Cancel };

// For windows without timers: starting one is a mistake that does nothing.
class NullTimers final : public Timers {
public:
  void start(int, int) override {}
  void stop(int) override {}
};

class ModalFlow {
public:
  virtual ~ModalFlow() = default;

  // The window's caption.
  virtual std::string title() const = 0;
  // The window opens; `timers` are the window's own until it closes.
  void open(Timers& timers) {
    timers_ = &timers;
    result_ = FlowResult::Running;
    onOpen();
    notify();
  }
  // A window that never starts a timer can be opened without any.
  void open() { open(NoTimers()); }
  // A timer of the window fell due.
  virtual void onTimer(int /*id*/) {}
  // The close box or Escape. Most windows end as Cancel; some refuse while they work.
  virtual void closeBox() { end(FlowResult::Cancel); }

  bool ended() const { return result_ != FlowResult::Running; }
  FlowResult result() const { return result_; }

  std::function<void()> changed;

protected:
  virtual void onOpen() = 0;
  void end(FlowResult result) {
    result_ = result;
    notify();
  }
  void notify() {
    if (changed) changed();
  }
  Timers& timers() { return *timers_; }

private:
  static Timers& NoTimers() {
    static NullTimers none;
    return none;
  }

  Timers* timers_ = nullptr;
  FlowResult result_ = FlowResult::Running;
};

}  // namespace fd
