#include "gui/app/GuiPacer.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <algorithm>

namespace fd {

GuiPacer::GuiPacer(Pacer& inner, QObject* parent) : QObject(parent), inner_(inner) {
  operationEnd_.setSingleShot(true);
  operationEnd_.setInterval(0);
  connect(&operationEnd_, &QTimer::timeout, this, &GuiPacer::endOperation);
}

GuiPacer::~GuiPacer() {
  if (cursorShown_) QGuiApplication::restoreOverrideCursor();
}

void GuiPacer::spin(std::uint64_t iterations) {
  if (depth_ > 0) {
    // Something handled between two slices waits too: it gets its time, but no events of
    // its own, or the first wait would be buried under a second.
    inner_.spin(iterations);
    return;
  }
  if (depth_++ == 0) ++waitingPacers_;
  operationEnd_.stop();
  std::uint64_t left = iterations;
  do {
    const std::uint64_t slice = std::min(left, kGuiSliceSpin);
    inner_.spin(slice);
    left -= slice;
    waitedInOperation_ += slice;
    if (!cursorShown_ && waitedInOperation_ >= kBusyCursorSpin) {
      QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
      cursorShown_ = true;
    }
    const QEventLoop::ProcessEventsFlags flags = QEventLoop::ExcludeUserInputEvents;
    if (pump_) {
      pump_(flags);
    } else {
      QCoreApplication::processEvents(flags);
    }
  } while (left > 0);
  if (--depth_ == 0) --waitingPacers_;
  operationEnd_.start();
  postPending();
  emit waitEnded();
}

void GuiPacer::afterWait(QObject* context, std::function<void()> action) {
  if (!waiting()) {
    action();
    return;
  }
  pending_.push_back({context, std::move(action)});
}

void GuiPacer::postPending() {
  if (pending_.empty() || pendingPosted_) return;
  pendingPosted_ = true;
  QMetaObject::invokeMethod(this, &GuiPacer::runPending, Qt::QueuedConnection);
}

void GuiPacer::runPending() {
  pendingPosted_ = false;
  // Reached from the events of a later wait: its end posts again.
  if (waiting()) return;
  std::vector<Pending> due;
  due.swap(pending_);
  for (Pending& p : due) {
    if (p.context) p.action();
  }
}

void GuiPacer::endOperation() {
  waitedInOperation_ = 0;
  if (cursorShown_) {
    cursorShown_ = false;
    QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace fd
