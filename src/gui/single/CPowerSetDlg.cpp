#include "gui/single/CPowerSetDlg.h"

#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <utility>

#include "flows/single/PowerSetFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"

namespace fd {

CPowerSetDlg::CPowerSetDlg(PowerSetFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kPowerTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(140), du.y(68));

  const auto radio = [&](const char* caption, const QRect& geometry, PowerChoice choice) {
    auto* button = new QRadioButton(QString::fromLatin1(caption), this);
    button->setGeometry(geometry);
    // The flow keeps exactly one set; the buttons only show it.
    button->setAutoExclusive(false);
    connect(button, &QRadioButton::clicked, this, [this, choice] { flow_.choose(choice); });
    return button;
  };
  output3V_ = radio(kPower3VCaption, du.rect(15, 10, 46, 10), PowerChoice::Output3V);
  output5V_ = radio(kPower5VCaption, du.rect(15, 30, 46, 10), PowerChoice::Output5V);
  noOutput_ = radio(kPowerNoneCaption, du.rect(15, 50, 117, 10), PowerChoice::NoOutput);
  for (QRadioButton* button : {output3V_, output5V_, noOutput_}) {
    const int indicator = button->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, button) +
                          button->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, button);
    WidenToFit(*button, button->text(), button->width() - indicator);
  }

  ok_ = new QPushButton(QString::fromLatin1(kPowerOkCaption), this);
  ok_->setGeometry(du.rect(93, 7, 40, 14));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, [this] { flow_.ok(); });
  render();
}

void CPowerSetDlg::render() {
  const PowerChoice choice = flow_.view().choice;
  const std::pair<QRadioButton*, PowerChoice> buttons[] = {
      {output3V_, PowerChoice::Output3V}, {output5V_, PowerChoice::Output5V}, {noOutput_, PowerChoice::NoOutput}};
  for (const auto& [button, shows] : buttons) {
    const QSignalBlocker block(button);
    button->setChecked(choice == shows);
  }
}

}  // namespace fd
