#include "gui/memory/CEraseDlg.h"

#include <QLabel>
#include <QFontMetrics>
#include <QPushButton>
#include <algorithm>

#include "flows/memory/EraseFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/SingleByteText.h"
#include "gui/memory/BlockListWidget.h"

namespace fd {

CEraseDlg::CEraseDlg(EraseFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kEraseTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(129), du.y(164));

  list_ = new BlockListWidget(this);
  list_->setGeometry(du.rect(7, 7, 115, 130));
  toggle_ = new QPushButton(this);
  toggle_->setGeometry(du.rect(7, 143, 12, 12));
  label_ = new QLabel(QString::fromLatin1(kSelectAllBlocksText), this);
  label_->setGeometry(du.rect(21, 145, 67, 8));
  ok_ = new QPushButton(QStringLiteral("&OK"), this);
  ok_->setGeometry(du.rect(92, 142, 30, 15));
  ok_->setDefault(true);
  // The label reads either text in turn: it holds the longer one whole, and OK moves over
  // (the window with it) so that the two never meet.
  const int gap = ok_->x() - label_->geometry().right() - 1;
  const QFontMetrics metrics(label_->font());
  const QString longer = metrics.horizontalAdvance(QString::fromLatin1(kClearAllBlocksText)) >
                                 metrics.horizontalAdvance(QString::fromLatin1(kSelectAllBlocksText))
                             ? QString::fromLatin1(kClearAllBlocksText)
                             : QString::fromLatin1(kSelectAllBlocksText);
  if (const int grow = WidenToFit(*label_, longer, label_->contentsRect().width()); grow > 0) {
    ok_->move(label_->geometry().right() + 1 + gap, ok_->y());
    setFixedWidth(std::max(width(), ok_->geometry().right() + 1 + du.x(7)));
  }

  list_->onChecked = [this](int row, bool checked) { flow_.setChecked(row, checked); };
  connect(toggle_, &QPushButton::clicked, this, [this] { flow_.toggleAll(); });
  connect(ok_, &QPushButton::clicked, this, [this] { flow_.ok(); });
  render();
  toggle_->setFocus();
}

void CEraseDlg::render() {
  const EraseView& view = flow_.view();
  list_->render(view.rows, view.hotRow);
  label_->setText(SingleByteText(view.toggleLabel));
  toggle_->setEnabled(view.toggleEnabled);
  ok_->setEnabled(view.okEnabled);
}

}  // namespace fd
