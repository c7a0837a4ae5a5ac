// Preloaded into the desktop program by startup.sh (LD_PRELOAD): once the first top-level
// window has been painted whole, prints "first window painted: TITLE" on stdout and ends the
// process at once. The program itself is the one users run, unchanged; the probe only
// watches its events from the application object on.
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

class FirstPaint final : public QObject {
public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!seen_ && event->type() == QEvent::Paint) {
      const auto* widget = qobject_cast<QWidget*>(watched);
      if (widget != nullptr && widget->isWindow()) {
        seen_ = true;
        const QByteArray title = widget->windowTitle().toUtf8();
        // A zero timer fires once the paint under way, children included, is done.
        QTimer::singleShot(0, [title] {
          std::printf("first window painted: %s\n", title.constData());
          std::fflush(stdout);
          ::_exit(0);
        });
      }
    }
    return false;
  }

private:
  bool seen_ = false;
};

void InstallProbe() { QCoreApplication::instance()->installEventFilter(new FirstPaint); }

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)
