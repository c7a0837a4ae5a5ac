#pragma once
// The Updating window: two lines that tell the user not to unplug the programmer, and the
// progress bar of the boot loader dialogue. It has a close box and no buttons; the flow
// decides whether closing it is still allowed.
#include "gui/app/FlowDialog.h"

class QLabel;
class QProgressBar;

namespace fd {

class UpdateFlow;

class CUpdateDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CUpdateDlg(UpdateFlow& flow, QWidget* parent = nullptr);

  void render() override;

  QLabel* text() const { return text_; }
  QProgressBar* progressBar() const { return bar_; }

private:
  UpdateFlow& flow_;
  QLabel* text_;
  QProgressBar* bar_;
};

}  // namespace fd
