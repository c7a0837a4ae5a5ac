#include "GuiTestSupport.h"

#include "gui/app/GuiPacer.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace fd::test {
namespace {

// Widgets need one application object, alive for every test.
class QtApplicationEnvironment final : public ::testing::Environment {
public:
  void SetUp() override {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tests_gui";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

private:
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace

void SaveGrab(QWidget& widget, const QString& name) {
  const QByteArray dir = qgetenv("FLASHDOCK_GRAB_DIR");
  if (dir.isEmpty()) return;
  const QString path = QDir(QString::fromLocal8Bit(dir)).filePath(name + QStringLiteral(".png"));
  EXPECT_TRUE(widget.grab().save(path)) << path.toStdString();
}

QPointer<QTimer> OnNextModal(std::function<void(QWidget*)> action, const QMetaObject* type,
                             std::function<bool(QWidget*)> ready) {
  // Polls from the event loop of the modal dialog itself, so no real time passes waiting.
  auto* poll = new QTimer;
  poll->setInterval(0);
  QObject::connect(poll, &QTimer::timeout, poll, [poll, type, action = std::move(action), ready = std::move(ready)] {
    // A user acts between operations, never inside a programmer wait: that is when input
    // is taken.
    if (GuiPacer::anyWaiting()) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    if (type != nullptr && !modal->inherits(type->className())) return;
    if (ready && !ready(modal)) return;
    poll->stop();
    poll->deleteLater();
    action(modal);
  });
  poll->start();
  return poll;
}

}  // namespace fd::test
