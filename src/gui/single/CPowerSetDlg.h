#pragma once
// The Power Setting window: three radio buttons and OK.
#include "gui/app/FlowDialog.h"

class QPushButton;
class QRadioButton;

namespace fd {

class PowerSetFlow;

class CPowerSetDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CPowerSetDlg(PowerSetFlow& flow, QWidget* parent = nullptr);

  void render() override;

  QRadioButton* output3V() const { return output3V_; }
  QRadioButton* output5V() const { return output5V_; }
  QRadioButton* noOutput() const { return noOutput_; }
  QPushButton* okButton() const { return ok_; }

private:
  PowerSetFlow& flow_;
  QRadioButton* output3V_;
  QRadioButton* output5V_;
  QRadioButton* noOutput_;
  QPushButton* ok_;
};

}  // namespace fd
