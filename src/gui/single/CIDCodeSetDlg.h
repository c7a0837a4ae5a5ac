#pragma once
// The ID Setting window: the ID code as hex digits or as a short text, and OK.
#include "gui/app/FlowDialog.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace fd {

class IdCodeSetFlow;

class CIDCodeSetDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CIDCodeSetDlg(IdCodeSetFlow& flow, QWidget* parent = nullptr);

  void render() override;

  QLabel* prompt() const { return prompt_; }
  QLineEdit* edit() const { return edit_; }
  QCheckBox* stringBox() const { return stringBox_; }
  QPushButton* okButton() const { return ok_; }

private:
  IdCodeSetFlow& flow_;
  QLabel* prompt_;
  QLineEdit* edit_;
  QCheckBox* stringBox_;
  QPushButton* ok_;
  int focusShown_ = 0;
};

}  // namespace fd
