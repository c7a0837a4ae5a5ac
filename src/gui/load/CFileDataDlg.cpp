#include "gui/load/CFileDataDlg.h"

#include <QLabel>
#include <algorithm>
#include <QProgressBar>
#include <QPushButton>

#include "flows/load/LoadingFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/SingleByteText.h"
#include "gui/load/LoadingClip.h"

namespace fd {

CFileDataDlg::CFileDataDlg(LoadingFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kLoadingTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(9));
  const DialogUnits du(font());
  setFixedSize(du.x(239), du.y(70));

  // The control takes the clip's size.
  animation_ = new QLabel(this);
  animation_->setGeometry(du.x(15), du.y(7), kLoadingClipWidth, kLoadingClipHeight);
  animation_->setAttribute(Qt::WA_TranslucentBackground);
  animation_->setPixmap(LoadingClip().front());

  fileName_ = new QLabel(QString::fromLatin1(kLoadingFileNameInitial), this);
  fileName_->setGeometry(du.rect(10, 30, 115, 8));
  product_ = new QLabel(QString::fromLatin1(kLoadingProductInitial), this);
  product_->setGeometry(du.rect(135, 30, 77, 8));
  for (QLabel* label : {fileName_, product_}) label->setTextFormat(Qt::PlainText);

  bar_ = new QProgressBar(this);
  bar_->setGeometry(du.rect(10, 45, 170, 7));
  bar_->setTextVisible(false);
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setStyleSheet(QStringLiteral(
      "QProgressBar { background-color: black; border: 1px solid #808080; }"
      "QProgressBar::chunk { background-color: #0078d7; }"));

  status_ = new QLabel(QString::fromLatin1(kLoadingRemainInitial), this);
  status_->setTextFormat(Qt::PlainText);
  status_->setGeometry(du.rect(10, 55, 72, 8));
  WidenToFit(*status_, QString::fromLatin1(kLoadingPrepareText), status_->width());

  cancel_ = new QPushButton(QString::fromLatin1(kLoadingCancelCaption), this);
  cancel_->setGeometry(du.rect(187, 45, 40, 15));
  cancel_->setDefault(true);
  // Taken at the next tick, which ends the window.
  connect(cancel_, &QPushButton::clicked, this, [this] { flow_.cancel(); });

  clipTimer_.setInterval(kLoadingClipFrameMs);
  connect(&clipTimer_, &QTimer::timeout, this, &CFileDataDlg::nextFrame);
  render();
}

void CFileDataDlg::nextFrame() {
  frame_ = (frame_ + 1) % kLoadingClipFrames;
  animation_->setPixmap(LoadingClip()[static_cast<std::size_t>(frame_)]);
}

void CFileDataDlg::render() {
  const LoadingView& view = flow_.view();
  fileName_->setText(SingleByteText(view.fileName));
  product_->setText(SingleByteText(view.product));
  status_->setText(SingleByteText(view.status));
  // A range of 0 pages still shows an empty bar rather than a busy one.
  bar_->setRange(0, static_cast<int>(std::max<std::uint32_t>(1, view.barRange)));
  bar_->setValue(static_cast<int>(std::min(view.barPosition, std::max<std::uint32_t>(1, view.barRange))));
  if (view.animationPlaying && !clipTimer_.isActive()) clipTimer_.start();
  if (!view.animationPlaying && clipTimer_.isActive()) clipTimer_.stop();
}

}  // namespace fd
