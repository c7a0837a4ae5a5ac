#include "gui/memory/CReadDlg.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include "flows/memory/HexView.h"
#include "flows/memory/ReadFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/SingleByteText.h"

namespace fd {

namespace {

// Courier New where it is installed, else the platform's fixed-pitch face.
QFont ReadWindowFont() {
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  if (QFontInfo(font).fixedPitch()) return font;
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSize(10);
  return fixed;
}

}  // namespace

CReadDlg::CReadDlg(ReadFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kReadTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(ReadWindowFont());
  const DialogUnits du(font());
  setFixedSize(du.x(250), du.y(200));

  status_ = new QLabel(this);
  status_->setGeometry(du.rect(7, 7, 160, 8));
  progress_ = new QProgressBar(this);
  progress_->setGeometry(du.rect(7, 16, 159, 7));
  progress_->setTextVisible(false);
  progress_->setStyleSheet(QStringLiteral("QProgressBar { background: black; border: 1px solid gray; }"
                                          "QProgressBar::chunk { background: #3399ff; }"));
  pause_ = new QPushButton(QString::fromLatin1(kPauseCaption), this);
  pause_->setGeometry(du.rect(175, 9, 30, 14));
  pause_->setDefault(true);
  save_ = new QPushButton(QStringLiteral("&Save"), this);
  save_->setGeometry(du.rect(213, 9, 30, 14));
  save_->setEnabled(false);
  address_ = new QPushButton(QStringLiteral("ADDRESS"), this);
  address_->setGeometry(du.rect(7, 27, 32, 11));
  view_ = new QListWidget(this);
  QRect viewRect = du.rect(7, 37, 236, 156);
  // A whole line shows, its checksum included, whatever the fixed font's width.
  const int lineWidth = QFontMetrics(font()).horizontalAdvance(QString(static_cast<int>(kHexViewLineLength) + 1, QLatin1Char('0'))) +
                        2 * view_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 8;
  if (viewRect.width() < lineWidth) {
    setFixedWidth(width() + lineWidth - viewRect.width());
    viewRect.setWidth(lineWidth);
  }
  view_->setGeometry(viewRect);
  view_->setSelectionMode(QAbstractItemView::SingleSelection);
  view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  view_->setUniformItemSizes(true);
  // The heading stands over the first byte column: after the list's frame, the item's own
  // margin and the eight characters of "0x" and the address.
  heading_ = new QLabel(QString::fromLatin1(kHexViewHeading), this);
  const QFontMetrics metrics(font());
  const int textStart = view_->x() + view_->frameWidth() + 2 * view_->spacing() + 3;
  heading_->setGeometry(textStart + metrics.horizontalAdvance(QStringLiteral("0x00000 ")), du.y(28),
                        metrics.horizontalAdvance(QString::fromLatin1(kHexViewHeading)) + 4, du.y(8));

  connect(pause_, &QPushButton::clicked, this, [this] { flow_.pauseGo(); });
  connect(save_, &QPushButton::clicked, this, [this] { flow_.save(); });
  connect(address_, &QPushButton::clicked, this, [this] { flow_.address(); });
  render();
}

void CReadDlg::render() {
  const ReadView& view = flow_.view();
  status_->setText(SingleByteText(view.status));
  progress_->setRange(0, std::max(1, view.progressMax));
  progress_->setValue(view.progressPos);
  progress_->setVisible(view.progressVisible);
  pause_->setText(SingleByteText(view.pauseCaption));
  pause_->setEnabled(view.pauseEnabled);
  save_->setEnabled(view.saveEnabled);
  // Lines only ever come at the end: add the new ones.
  for (int i = view_->count(); i < static_cast<int>(view.lines.size()); ++i) {
    view_->addItem(SingleByteText(view.lines[static_cast<std::size_t>(i)]));
  }
  if (view.jumps != jumpsShown_ && view.topLine >= 0 && view.topLine < view_->count()) {
    QListWidgetItem* line = view_->item(view.topLine);
    view_->setCurrentItem(line);
    view_->scrollToItem(line, QAbstractItemView::PositionAtTop);
  }
  jumpsShown_ = view.jumps;
}

}  // namespace fd
