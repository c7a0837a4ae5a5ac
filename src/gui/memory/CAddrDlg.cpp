#include "gui/memory/CAddrDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <tuple>

#include "flows/memory/AddrFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/SingleByteText.h"
#include "gui/memory/BlockListWidget.h"

namespace fd {

namespace {

void ShowText(QLineEdit& edit, const std::string& text) {
  const QString shown = SingleByteText(text);
  if (edit.text() == shown) return;
  const QSignalBlocker block(&edit);
  const int cursor = edit.cursorPosition();
  edit.setText(shown);
  edit.setCursorPosition(std::min(cursor, static_cast<int>(shown.size())));
}

}  // namespace

CAddrDlg::CAddrDlg(AddrFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kAddrTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(145), du.y(215));

  for (const auto& [text, x, w] : {std::tuple{"Start address", 15, 42}, std::tuple{"End address", 83, 40}}) {
    auto* label = new QLabel(QString::fromLatin1(text), this);
    label->setGeometry(du.rect(x, 5, w + 6, 11));
    WidenToFit(*label, label->text(), label->width());
  }
  start_ = new QLineEdit(this);
  start_->setGeometry(du.rect(15, 16, 40, 12));
  (new QLabel(QStringLiteral("H"), this))->setGeometry(du.rect(58, 18, 8, 8));
  end_ = new QLineEdit(this);
  end_->setGeometry(du.rect(83, 16, 40, 12));
  (new QLabel(QStringLiteral("H"), this))->setGeometry(du.rect(126, 18, 8, 8));
  for (QLineEdit* edit : {start_, end_}) edit->setAlignment(Qt::AlignRight);
  list_ = new BlockListWidget(this);
  list_->setGeometry(du.rect(7, 35, 131, 139));
  allData_ = new QCheckBox(QStringLiteral("All &Data Blocks"), this);
  allData_->setGeometry(du.rect(10, 182, 63, 10));
  allUser_ = new QCheckBox(QStringLiteral("All &User Blocks"), this);
  allUser_->setGeometry(du.rect(10, 194, 60, 13));
  for (QCheckBox* box : {allData_, allUser_}) {
    box->setFixedWidth(du.x(85));
    const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                          box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
    WidenToFit(*box, box->text().remove(QLatin1Char('&')), box->width() - indicator);
  }
  ok_ = new QPushButton(QStringLiteral("&OK"), this);
  ok_->setGeometry(du.rect(99, 188, 30, 15));
  ok_->setDefault(true);

  // The flow forces upper case and the length; the edit shows what it kept.
  connect(start_, &QLineEdit::textEdited, this, [this](const QString& text) { flow_.setStartText(ToSingleByte(text)); });
  connect(end_, &QLineEdit::textEdited, this, [this](const QString& text) { flow_.setEndText(ToSingleByte(text)); });
  list_->onChecked = [this](int row, bool checked) { flow_.setChecked(row, checked); };
  connect(allData_, &QCheckBox::clicked, this, [this](bool on) { flow_.setAllData(on); });
  connect(allUser_, &QCheckBox::clicked, this, [this](bool on) { flow_.setAllUser(on); });
  connect(ok_, &QPushButton::clicked, this, [this] { flow_.ok(); });
  render();
  start_->setFocus();
}

void CAddrDlg::render() {
  const AddrView& view = flow_.view();
  for (QLineEdit* edit : {start_, end_}) edit->setMaxLength(view.maxChars);
  ShowText(*start_, view.startText);
  ShowText(*end_, view.endText);
  list_->render(view.rows);
  const QSignalBlocker blockData(allData_);
  const QSignalBlocker blockUser(allUser_);
  allData_->setChecked(view.allData);
  allUser_->setChecked(view.allUser);
}

}  // namespace fd
