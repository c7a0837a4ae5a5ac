#include "gui/main/CAboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "flows/main/MainView.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"

namespace fd {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kAboutCaption));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());

  icon_ = new QLabel(this);
  const QRect iconRect = du.rect(11, 14, 21, 20);
  const int side = std::min(iconRect.width(), iconRect.height());
  icon_->setPixmap(AppIcon().pixmap(side, side));
  icon_->setGeometry(iconRect.x(), iconRect.y(), side, side);

  version_ = new QLabel(QString::fromLatin1(kVersionText), this);
  version_->setTextFormat(Qt::PlainText);
  version_->setGeometry(du.rect(40, 14, 119, 8));

  ok_ = new QPushButton(QStringLiteral("&OK"), this);
  ok_->setGeometry(du.rect(178, 7, 50, 14));
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

  setFixedSize(du.x(235), du.y(55));
}

}  // namespace fd
