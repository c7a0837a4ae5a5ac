#pragma once
// The flash-block list of the Erase and Address Setting windows: no heading, a check box a
// row, full-row selection that stays shown, green text on black; the block name right-
// aligned in 80 pixels, the start address in 80 and the size in 40.
#include <QTreeWidget>
#include <functional>
#include <vector>

#include "flows/memory/BlockList.h"

namespace fd {

class BlockListWidget final : public QTreeWidget {
  Q_OBJECT
public:
  explicit BlockListWidget(QWidget* parent);
  // The rows as the flow has them; `hotRow` is shown selected (-1: none).
  void render(const std::vector<BlockListRow>& rows, int hotRow = -1);
  // The user ticked or cleared a row's box.
  std::function<void(int row, bool checked)> onChecked;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  bool rendering_ = false;
  int lastHot_ = -1;
};

}  // namespace fd
