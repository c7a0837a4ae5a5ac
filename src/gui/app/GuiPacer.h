#pragma once
// The desktop's pacer. A protocol wait (the reset pulse, busy polls, a time-out) is spent in
// short slices, and between them the window's events are handled: it keeps painting and the
// desktop never takes it for hung. User input is not taken during a wait; it is handled
// once the operation has returned, so no click lands in the middle of a protocol step and
// the flows stay single-threaded. A wait longer than a moment shows the busy cursor.
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/Pacer.h"

namespace fd {

// Longest piece of a wait between two looks at the window's events: 10 ms.
inline constexpr std::uint64_t kGuiSliceSpin = 10000 * kSpinsPerMicrosecond;
// Waiting beyond this (50 ms) is more than a moment: the busy cursor shows.
inline constexpr std::uint64_t kBusyCursorSpin = 50000 * kSpinsPerMicrosecond;

class GuiPacer final : public QObject, public Pacer {
  Q_OBJECT
public:
  // Handles the events between slices; QCoreApplication::processEvents unless replaced.
  using EventPump = std::function<void(QEventLoop::ProcessEventsFlags)>;

  // `inner` spends the time itself (sleeps, or advances a virtual clock).
  explicit GuiPacer(Pacer& inner, QObject* parent = nullptr);
  ~GuiPacer() override;

  void spin(std::uint64_t iterations) override;

  // True while a wait runs, also while its slices let events through.
  bool waiting() const { return depth_ > 0; }
  // True while any GuiPacer of the program waits (for code that cannot reach the one).
  static bool anyWaiting() { return waitingPacers_ > 0; }
  // Whether this pacer has the busy cursor up (it stays up across the waits of one
  // operation and comes down when the event loop next runs outside a wait).
  bool busyCursorShown() const { return cursorShown_; }
  void setEventPump(EventPump pump) { pump_ = std::move(pump); }

  // Runs `action` now when no wait is running, else from the event loop once the wait is
  // over: for what reaches a window during a wait without being user input (a close
  // request from the desktop) and must not run inside the operation that waits. Dropped
  // when `context` is gone by then.
  void afterWait(QObject* context, std::function<void()> action);

signals:
  // A wait has ended; the operation that waited is still running.
  void waitEnded();

private:
  void endOperation();
  void postPending();
  void runPending();

  struct Pending {
    QPointer<QObject> context;
    std::function<void()> action;
  };

  Pacer& inner_;
  EventPump pump_;
  // Fires when the event loop runs outside a wait: the operation has returned (or shows a
  // message box), so the busy stretch is over.
  QTimer operationEnd_;
  int depth_ = 0;
  static inline int waitingPacers_ = 0;
  std::uint64_t waitedInOperation_ = 0;
  bool cursorShown_ = false;
  std::vector<Pending> pending_;
  bool pendingPosted_ = false;
};

}  // namespace fd
