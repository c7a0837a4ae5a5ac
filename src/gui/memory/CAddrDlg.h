#pragma once
// The Address Setting window: start and end address edits, the block list, the two
// "All ... Blocks" boxes and OK.
#include "gui/app/FlowDialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace fd {

class AddrFlow;
class BlockListWidget;

class CAddrDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CAddrDlg(AddrFlow& flow, QWidget* parent = nullptr);
  void render() override;

  QLineEdit* startEdit() const { return start_; }
  QLineEdit* endEdit() const { return end_; }
  BlockListWidget* list() const { return list_; }
  QCheckBox* allData() const { return allData_; }
  QCheckBox* allUser() const { return allUser_; }
  QPushButton* okButton() const { return ok_; }

private:
  AddrFlow& flow_;
  QLineEdit* start_;
  QLineEdit* end_;
  BlockListWidget* list_;
  QCheckBox* allData_;
  QCheckBox* allUser_;
  QPushButton* ok_;
};

}  // namespace fd
