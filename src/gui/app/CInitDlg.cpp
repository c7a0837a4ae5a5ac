#include "gui/app/CInitDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

#include "flows/init/InitOptionsFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"

namespace fd {

CInitDlg::CInitDlg(InitOptionsFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kInitTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(227), du.y(65));

  text_ = new QLabel(QString::fromLatin1(kInitText), this);
  text_->setTextFormat(Qt::PlainText);
  text_->setWordWrap(true);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text_->setGeometry(du.rect(15, 7, 197, 22));

  logBox_ = new QCheckBox(QString::fromLatin1(kInitLogCaption), this);
  logBox_->setGeometry(du.rect(16, 31, 127, 10));
  idBox_ = new QCheckBox(QString::fromLatin1(kInitIdCaption), this);
  idBox_->setGeometry(du.rect(16, 46, 140, 10));

  for (QCheckBox* box : {logBox_, idBox_}) {
    const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                          box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    WidenToFit(*box, box->text(), box->width() - indicator);
  }

  ok_ = new QPushButton(QString::fromLatin1(kInitOkCaption), this);
  ok_->setGeometry(du.rect(162, 44, 50, 14));
  ok_->setDefault(true);

  // `clicked` comes from the user only, never from render() setting a box.
  connect(logBox_, &QCheckBox::clicked, this, [this](bool on) { flow_.setLogChecked(on); });
  connect(idBox_, &QCheckBox::clicked, this, [this](bool on) { flow_.setIdChecked(on); });
  // OK ends the flow, which closes the window; the close box and Esc store nothing.
  connect(ok_, &QPushButton::clicked, this, [this] { flow_.ok(); });
  render();
}

void CInitDlg::render() {
  const auto& view = flow_.view();
  const QSignalBlocker blockLog(logBox_);
  const QSignalBlocker blockId(idBox_);
  logBox_->setChecked(view.logChecked);
  idBox_->setChecked(view.idChecked);
  idBox_->setEnabled(view.idEnabled);
}

}  // namespace fd
