#pragma once
// The About box: the program's icon, its version and an OK button.
#include <QDialog>

class QLabel;
class QPushButton;

namespace fd {

class CAboutDlg final : public QDialog {
  Q_OBJECT
public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  QLabel* iconLabel() const { return icon_; }
  QLabel* versionLabel() const { return version_; }
  QPushButton* okButton() const { return ok_; }

private:
  QLabel* icon_;
  QLabel* version_;
  QPushButton* ok_;
};

}  // namespace fd
