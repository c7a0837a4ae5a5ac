#include "gui/memory/CTopAddrDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "flows/memory/TopAddrFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/SingleByteText.h"

namespace fd {

CTopAddrDlg::CTopAddrDlg(TopAddrFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kTopAddrTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(99), du.y(45));
  (new QLabel(QStringLiteral("Input a new address"), this))->setGeometry(du.rect(7, 7, 73, 8));
  edit_ = new QLineEdit(this);
  edit_->setGeometry(du.rect(7, 20, 35, 12));
  edit_->setAlignment(Qt::AlignRight);
  (new QLabel(QStringLiteral("H"), this))->setGeometry(du.rect(45, 21, 8, 8));
  ok_ = new QPushButton(QStringLiteral("&OK"), this);
  ok_->setGeometry(du.rect(62, 18, 30, 15));
  ok_->setDefault(true);
  connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) { flow_.setText(ToSingleByte(text)); });
  connect(ok_, &QPushButton::clicked, this, [this] { flow_.ok(); });
  render();
  edit_->setFocus();
}

void CTopAddrDlg::render() {
  const TopAddrView& view = flow_.view();
  edit_->setMaxLength(view.maxChars);
  const QString text = SingleByteText(view.text);
  if (edit_->text() != text) {
    const QSignalBlocker block(edit_);
    const int cursor = edit_->cursorPosition();
    edit_->setText(text);
    edit_->setCursorPosition(std::min(cursor, static_cast<int>(text.size())));
  }
}

}  // namespace fd
