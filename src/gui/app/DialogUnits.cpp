#include "gui/app/DialogUnits.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QWidget>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace fd {

QFont DialogFont(int pointSize) {
  QFont font;
  // Metric-compatible or look-alike faces first, then whatever sans serif is there.
  font.setFamilies({QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                    QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                    QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(pointSize);
  return font;
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

void CondenseToFit(QWidget& widget, const QString& text, int available) {
  QFont font = widget.font();
  font.setLetterSpacing(QFont::AbsoluteSpacing, 0);
  const int needed = QFontMetrics(font).horizontalAdvance(text);
  if (needed > available && available > 0 && !text.isEmpty()) {
    // Close up the letters just enough; a fraction of a pixel each is not seen.
    font.setLetterSpacing(QFont::AbsoluteSpacing, -double(needed - available + 1) / text.size());
  }
  widget.setFont(font);
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
