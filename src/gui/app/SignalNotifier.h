#pragma once
// SIGINT, SIGTERM and SIGHUP reach the desktop program as a Qt signal on its own thread
// (through a self-pipe), so the window can end its operation the way Cancel does and close
// in order instead of dying with programmers left running.
#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace fd {

class SignalNotifier final : public QObject {
  Q_OBJECT
public:
  explicit SignalNotifier(QObject* parent = nullptr);
  ~SignalNotifier() override;

  // The first signal that came, 0 for none.
  int caught() const { return caught_; }

signals:
  void received(int signal);

private:
  void drain();

  std::unique_ptr<QSocketNotifier> notifier_;
  int caught_ = 0;
};

}  // namespace fd
