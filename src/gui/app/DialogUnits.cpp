#include "gui/app/DialogUnits.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace fd {

QFont DialogFont(int pointSize) {
  QFont font(QString::fromLatin1(kDialogFontFamily));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(pointSize);
  return font;
}

void UseDialogFontFamily() {
  QFont font = QApplication::font();
  font.setFamily(QString::fromLatin1(kDialogFontFamily));
  font.setStyleHint(QFont::SansSerif);
  QApplication::setFont(font);
}

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average width is taken over both alphabets and rounded, as the dialog manager does.
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseX_ = std::max(1, (alphabet / 26 + 1) / 2);
  // Some substitute faces pad their line height far beyond a dialog font's (about 1.2 em),
  // which would stretch every layout vertically; the height counts at most that much.
  const int em = QFontInfo(font).pixelSize();
  const int padded = metrics.height();
  baseY_ = std::max(1, em > 0 ? std::min(padded, static_cast<int>(std::lround(em * 1.2))) : padded);
}

int WidenToFit(QWidget& widget, const QString& text, int available) {
  const int needed = QFontMetrics(widget.font()).horizontalAdvance(text);
  if (needed <= available || text.isEmpty()) return 0;
  const int grow = needed - available + 1;
  QWidget* window = widget.parentWidget();
  // The window keeps the margin it had on the control's right.
  const int margin = window != nullptr ? std::max(0, window->width() - widget.geometry().right() - 1) : 0;
  if (widget.minimumWidth() == widget.maximumWidth()) {
    widget.setFixedWidth(widget.width() + grow);
  } else {
    widget.resize(widget.width() + grow, widget.height());
  }
  if (window != nullptr && widget.geometry().right() + 1 + margin > window->width()) {
    window->setFixedWidth(widget.geometry().right() + 1 + margin);
  }
  return grow;
}

int DialogUnits::x(double du) const { return static_cast<int>(std::lround(du * baseX_ / 4.0)); }

int DialogUnits::y(double du) const { return static_cast<int>(std::lround(du * baseY_ / 8.0)); }

QRect DialogUnits::rect(double x0, double y0, double w, double h) const {
  // Convert both edges, not the size, so neighbouring controls meet without gaps.
  const int left = x(x0);
  const int top = y(y0);
  return QRect(left, top, x(x0 + w) - left, y(y0 + h) - top);
}

}  // namespace fd
