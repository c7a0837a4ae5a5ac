#pragma once
// The first-run Initiation window: two check boxes about the history log and OK.
#include "gui/app/FlowDialog.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace fd {

class InitOptionsFlow;

class CInitDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CInitDlg(InitOptionsFlow& flow, QWidget* parent = nullptr);

  void render() override;

  QLabel* text() const { return text_; }
  QCheckBox* logBox() const { return logBox_; }
  QCheckBox* idBox() const { return idBox_; }
  QPushButton* okButton() const { return ok_; }

private:
  InitOptionsFlow& flow_;
  QLabel* text_;
  QCheckBox* logBox_;
  QCheckBox* idBox_;
  QPushButton* ok_;
};

}  // namespace fd
