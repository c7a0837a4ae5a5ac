#pragma once
// The Single Operation window: product and power labels, the setting and operation buttons,
// the tree of series and groups and the list of a group's products, green on black.
#include "flows/single/SingleOperationView.h"
#include "gui/app/FlowDialog.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace fd {

class SingleOperationFlow;

class CSingleOperDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CSingleOperDlg(SingleOperationFlow& flow, QWidget* parent = nullptr);

  void render() override;

  QLabel* productLabel() const { return productLabel_; }
  QLabel* powerLabel() const { return powerLabel_; }
  QLabel* modeHint() const { return modeHint_; }
  QPushButton* setIdButton() const { return setId_; }
  QPushButton* setPowerButton() const { return setPower_; }
  QPushButton* eraseButton() const { return erase_; }
  QPushButton* loadFileButton() const { return loadFile_; }
  QPushButton* programButton() const { return program_; }
  QPushButton* readButton() const { return read_; }
  QTreeWidget* tree() const { return tree_; }
  QTableWidget* list() const { return list_; }

private:
  void buildTree(const SingleOperationView& view);
  void fillList(const SingleOperationView& view);
  void onTreeItem(QTreeWidgetItem* item);
  void onListSelection();

  SingleOperationFlow& flow_;
  QGroupBox* productBox_;
  QLabel* productLabel_;
  QGroupBox* powerBox_;
  QLabel* powerLabel_;
  QGroupBox* settingBox_;
  QPushButton* setId_;
  QPushButton* setPower_;
  QPushButton* erase_;
  QPushButton* loadFile_;
  QPushButton* program_;
  QPushButton* read_;
  QTreeWidget* tree_;
  QTableWidget* list_;
  QLabel* modeHint_;

  ProductTree shownTree_;
  std::vector<ProductRow> shownProducts_;
  bool treeShown_ = false;
  bool rendering_ = false;  // tree and list signals caused by drawing are not the user's
};

}  // namespace fd
