#include "gui/load/LoadingClip.h"

#include <QPainter>
#include <QPainterPath>

namespace fd {
namespace {

void DrawFile(QPainter& p, const QRectF& r, const QColor& paper) {
  QPainterPath sheet;
  const qreal fold = r.width() * 0.3;
  sheet.moveTo(r.left(), r.top());
  sheet.lineTo(r.right() - fold, r.top());
  sheet.lineTo(r.right(), r.top() + fold);
  sheet.lineTo(r.right(), r.bottom());
  sheet.lineTo(r.left(), r.bottom());
  sheet.closeSubpath();
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(paper);
  p.drawPath(sheet);
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
  p.setPen(QPen(QColor(120, 120, 120), 1));
  for (qreal y = r.top() + fold + 3; y < r.bottom() - 2; y += 3) {
    p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - 3, y));
  }
}

QPixmap DrawFrame(int frame) {
  QPixmap pixmap(kLoadingClipWidth, kLoadingClipHeight);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  // The image file.
  DrawFile(p, QRectF(6, 5, 24, 30), QColor(250, 250, 240));
  // The cable between them.
  p.setPen(QPen(QColor(90, 90, 90), 2));
  p.drawLine(QPointF(36, 24), QPointF(212, 24));
  // The programmer: a box with a socket and its lamp.
  const QRectF box(214, 8, 40, 26);
  p.setPen(QPen(QColor(30, 30, 30), 1));
  p.setBrush(QColor(40, 70, 120));
  p.drawRoundedRect(box, 3, 3);
  p.setBrush(QColor(20, 20, 20));
  p.drawRect(QRectF(222, 14, 24, 10));
  p.setPen(QPen(QColor(170, 170, 170), 1));
  for (int pin = 0; pin < 6; ++pin) p.drawLine(QPointF(224 + 4 * pin, 24), QPointF(224 + 4 * pin, 27));
  const bool arriving = frame >= kLoadingClipFrames - 3;
  p.setPen(Qt::NoPen);
  p.setBrush(arriving ? QColor(255, 60, 40) : QColor(90, 20, 20));
  p.drawEllipse(QPointF(249, 29), 2.5, 2.5);

  // The travelling page: out of the file, along the cable, into the socket.
  const qreal t = static_cast<qreal>(frame) / (kLoadingClipFrames - 1);
  const qreal x = 26 + t * (214 - 26 - 12);
  const qreal lift = 6.0 * (1.0 - (2 * t - 1) * (2 * t - 1));
  DrawFile(p, QRectF(x, 10 - lift, 12, 15), QColor(255, 250, 200));
  // A trail of bits behind it.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 160, 0));
  for (int k = 1; k <= 3; ++k) {
    const qreal bx = x - 8 * k;
    if (bx > 34) p.drawRect(QRectF(bx, 22, 3, 3));
  }
  return pixmap;
}

}  // namespace

const std::vector<QPixmap>& LoadingClip() {
  static const std::vector<QPixmap> frames = [] {
    std::vector<QPixmap> out;
    out.reserve(kLoadingClipFrames);
    for (int f = 0; f < kLoadingClipFrames; ++f) out.push_back(DrawFrame(f));
    return out;
  }();
  return frames;
}

}  // namespace fd
