#include "gui/memory/BlockListWidget.h"

#include <QHeaderView>

#include "gui/app/SingleByteText.h"

namespace fd {

BlockListWidget::BlockListWidget(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderHidden(true);
  setRootIsDecorated(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setUniformRowHeights(true);
  header()->setStretchLastSection(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette colours = palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Base, Qt::black);
    // The check boxes' frames are drawn a shade darker than this: grey shows on black.
    colours.setColor(group, QPalette::Window, QColor(170, 170, 170));
    colours.setColor(group, QPalette::Text, QColor(0, 255, 0));
  }
  // The selection stays shown when the list loses the focus.
  colours.setColor(QPalette::Inactive, QPalette::Highlight, colours.color(QPalette::Active, QPalette::Highlight));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   colours.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(colours);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
    if (rendering_ || column != 0 || !onChecked) return;
    onChecked(indexOfTopLevelItem(item), item->checkState(0) == Qt::Checked);
  });
}

void BlockListWidget::resizeEvent(QResizeEvent* event) {
  QTreeWidget::resizeEvent(event);
  // 80, 80 and 40 pixels; in a narrower list the same proportions, so all three show.
  const int width = viewport()->width();
  const int name = width >= 200 ? 80 : width * 2 / 5;
  header()->resizeSection(0, name);
  header()->resizeSection(1, name);
  header()->resizeSection(2, width >= 200 ? 40 : width - 2 * name);
}

void BlockListWidget::render(const std::vector<BlockListRow>& rows, int hotRow) {
  rendering_ = true;
  while (topLevelItemCount() > static_cast<int>(rows.size())) delete takeTopLevelItem(topLevelItemCount() - 1);
  for (std::size_t r = 0; r < rows.size(); ++r) {
    QTreeWidgetItem* item = topLevelItem(static_cast<int>(r));
    if (item == nullptr) {
      item = new QTreeWidgetItem(this);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
      // Only a state that was set gives the row its box.
      item->setCheckState(0, Qt::Unchecked);
    }
    const BlockRow& block = rows[r].block;
    item->setText(0, SingleByteText(block.name));
    item->setText(1, SingleByteText(block.address));
    item->setText(2, SingleByteText(block.size));
    const Qt::CheckState state = rows[r].checked ? Qt::Checked : Qt::Unchecked;
    if (item->checkState(0) != state) item->setCheckState(0, state);
  }
  if (hotRow >= 0 && hotRow < topLevelItemCount()) {
    setCurrentItem(topLevelItem(hotRow));
    scrollToItem(topLevelItem(hotRow));
  } else if (lastHot_ >= 0) {
    // The run is over: its highlight goes; a row the user selected stays.
    clearSelection();
  }
  lastHot_ = hotRow;
  rendering_ = false;
}

}  // namespace fd
