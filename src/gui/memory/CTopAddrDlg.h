#pragma once
// The Top Address window: one address edit and OK.
#include "gui/app/FlowDialog.h"

class QLineEdit;
class QPushButton;

namespace fd {

class TopAddrFlow;

class CTopAddrDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CTopAddrDlg(TopAddrFlow& flow, QWidget* parent = nullptr);
  void render() override;

  QLineEdit* edit() const { return edit_; }
  QPushButton* okButton() const { return ok_; }

private:
  TopAddrFlow& flow_;
  QLineEdit* edit_;
  QPushButton* ok_;
};

}  // namespace fd
