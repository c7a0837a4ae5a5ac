#include "GuiTestSupport.h"

#include "gui/app/DialogUnits.h"
#include "gui/app/GuiPacer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QDir>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
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
    // The program's own face, so every measure is the one the program makes.
    UseDialogFontFamily();
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

namespace {

// What a button draws: its mnemonic marks are not shown.
QString Drawn(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return text;
}

int LabelRoom(const QLabel& label) {
  const QFontMetrics metrics(label.font());
  int indent = label.indent();
  if (indent < 0) indent = label.frameWidth() > 0 ? metrics.horizontalAdvance(QLatin1Char('x')) / 2 : 0;
  const bool sided = (label.alignment() & (Qt::AlignLeft | Qt::AlignRight)) != 0;
  return label.contentsRect().width() - 2 * label.margin() - (sided ? indent : 0);
}

}  // namespace

void ExpectCaptionsWhole(QWidget& window, const char* shown) {
  const QRect client = window.rect();
  for (QWidget* widget : window.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&window) || widget->window() != &window) continue;
    const QRect inWindow(widget->mapTo(&window, QPoint(0, 0)), widget->size());
    const QFontMetrics metrics(widget->font());
    const char* kind = widget->metaObject()->className();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
      if (label->text().isEmpty() || label->wordWrap()) continue;
      int widest = 0;
      for (const QString& line : label->text().split(QLatin1Char('\n'))) widest = std::max(widest, metrics.horizontalAdvance(line));
      EXPECT_LE(widest, LabelRoom(*label))
          << shown << ": label \"" << label->text().toStdString() << "\"";
      EXPECT_TRUE(client.contains(inWindow)) << shown << ": label \"" << label->text().toStdString() << "\"";
      // A label drawn on a group box keeps off its frame.
      for (QGroupBox* box : window.findChildren<QGroupBox*>()) {
        const QRect boxInWindow(box->mapTo(&window, QPoint(0, 0)), box->size());
        if (box == label->parentWidget() || !boxInWindow.intersects(inWindow)) continue;
        EXPECT_TRUE(boxInWindow.adjusted(2, 2, -2, -2).contains(inWindow))
            << shown << ": label \"" << label->text().toStdString() << "\" on the box \"" << box->title().toStdString() << "\"";
      }
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      const QString text = Drawn(button->text());
      if (text.isEmpty()) continue;
      QStyleOptionButton option;
      option.initFrom(button);
      option.text = button->text();
      QStyle::SubElement contents = QStyle::SE_PushButtonContents;
      if (qobject_cast<QCheckBox*>(button)) contents = QStyle::SE_CheckBoxContents;
      if (qobject_cast<QRadioButton*>(button)) contents = QStyle::SE_RadioButtonContents;
      const int room = button->style()->subElementRect(contents, &option, button).width();
      EXPECT_LE(metrics.horizontalAdvance(text), room) << shown << ": " << kind << " \"" << text.toStdString() << "\"";
      EXPECT_TRUE(client.contains(inWindow)) << shown << ": " << kind << " \"" << text.toStdString() << "\"";
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
      const int room = box->width() - 2 * metrics.horizontalAdvance(QLatin1Char(' '));
      EXPECT_LE(metrics.horizontalAdvance(box->title()), room) << shown << ": group box \"" << box->title().toStdString() << "\"";
      EXPECT_TRUE(client.contains(inWindow)) << shown << ": group box \"" << box->title().toStdString() << "\"";
    } else if (auto* header = qobject_cast<QHeaderView*>(widget)) {
      if (header->isHidden() || header->model() == nullptr) continue;
      const QFontMetrics headerMetrics(header->font());
      for (int s = 0; s < header->count(); ++s) {
        const QString title = header->model()->headerData(s, header->orientation(), Qt::DisplayRole).toString();
        if (title.isEmpty() || header->isSectionHidden(s)) continue;
        EXPECT_LE(headerMetrics.horizontalAdvance(title), header->sectionSize(s) - 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin))
            << shown << ": column \"" << title.toStdString() << "\"";
      }
    }
  }
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
