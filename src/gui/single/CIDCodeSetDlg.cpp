#include "gui/single/CIDCodeSetDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QValidator>

#include "flows/single/IdCodeSetFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"

namespace fd {

namespace {

// The ID code is single-byte text: a character that has no single-byte code cannot be typed.
class SingleByteValidator final : public QValidator {
public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    for (const QChar c : input) {
      if (c.unicode() > 0xFF) return Invalid;
    }
    return Acceptable;
  }
};

}  // namespace

CIDCodeSetDlg::CIDCodeSetDlg(IdCodeSetFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kIdTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(102), du.y(56));

  // The edit first, so it has the focus when the window opens.
  edit_ = new QLineEdit(this);
  edit_->setGeometry(du.rect(12, 18, 78, 12));
  edit_->setAlignment(Qt::AlignCenter);
  edit_->setValidator(new SingleByteValidator(edit_));

  prompt_ = new QLabel(QString::fromLatin1(kIdPromptText), this);
  prompt_->setTextFormat(Qt::PlainText);
  prompt_->setGeometry(du.rect(7, 7, 88, 8));
  WidenToFit(*prompt_, prompt_->text(), prompt_->width());

  stringBox_ = new QCheckBox(QString::fromLatin1(kIdStringCaption), this);
  stringBox_->setGeometry(du.rect(9, 38, 43, 10));
  const int indicator = stringBox_->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, stringBox_) +
                        stringBox_->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, stringBox_);
  WidenToFit(*stringBox_, stringBox_->text(), stringBox_->width() - indicator);

  ok_ = new QPushButton(QString::fromLatin1(kIdOkCaption), this);
  ok_->setGeometry(du.rect(59, 35, 35, 14));
  ok_->setDefault(true);

  connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) { flow_.setText(text.toLatin1().toStdString()); });
  connect(stringBox_, &QCheckBox::clicked, this, [this](bool on) { flow_.setStringInput(on); });
  // OK ends the flow when the entry is accepted, which closes the window.
  connect(ok_, &QPushButton::clicked, this, [this] { flow_.ok(); });
  render();
}

void CIDCodeSetDlg::render() {
  const auto& view = flow_.view();
  const QSignalBlocker blockBox(stringBox_);
  stringBox_->setChecked(view.stringInput);
  edit_->setMaxLength(static_cast<int>(view.maxLength));
  const QString text = QString::fromLatin1(view.text.data(), static_cast<qsizetype>(view.text.size()));
  if (edit_->text() != text) edit_->setText(text);
  if (view.focusRequests != focusShown_) {
    focusShown_ = view.focusRequests;
    edit_->setFocus();
  }
}

}  // namespace fd
