#pragma once
// The Erase window: the block list, the select-all toggle with its label, and OK.
#include "gui/app/FlowDialog.h"

class QLabel;
class QPushButton;

namespace fd {

class EraseFlow;
class BlockListWidget;

class CEraseDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CEraseDlg(EraseFlow& flow, QWidget* parent = nullptr);
  void render() override;

  BlockListWidget* list() const { return list_; }
  QPushButton* toggle() const { return toggle_; }
  QLabel* toggleLabel() const { return label_; }
  QPushButton* okButton() const { return ok_; }

private:
  EraseFlow& flow_;
  BlockListWidget* list_;
  QPushButton* toggle_;
  QLabel* label_;
  QPushButton* ok_;
};

}  // namespace fd
