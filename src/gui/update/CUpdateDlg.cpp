#include "gui/update/CUpdateDlg.h"

#include <QFontMetrics>
#include <QLabel>
#include <algorithm>
#include <QProgressBar>

#include "flows/update/UpdateFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/SingleByteText.h"

namespace fd {

CUpdateDlg::CUpdateDlg(UpdateFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kUpdatingTitle));
  setWindowIcon(AppIcon());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont(10));
  const DialogUnits du(font());
  setFixedSize(du.x(136), du.y(50));

  text_ = new QLabel(this);
  text_->setTextFormat(Qt::PlainText);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text_->setGeometry(du.rect(7, 7, 122, 18));

  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setTextVisible(false);
  bar_->setGeometry(du.rect(7, 30, 122, 8));
  render();
}

void CUpdateDlg::render() {
  const UpdateView& view = flow_.view();
  const QString text = SingleByteText(view.text);
  if (text_->text() != text) {
    text_->setText(text);
    // Both lines show whole: the widest one decides how close the letters are set.
    const QFontMetrics metrics(font());
    QString widest;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
      if (metrics.horizontalAdvance(line) > metrics.horizontalAdvance(widest)) widest = line;
    }
    text_->setFont(font());
    WidenToFit(*text_, widest, text_->width());
  }
  bar_->setValue(std::clamp(view.progress, 0, 100));
}

}  // namespace fd
