#include "gui/single/CSingleOperDlg.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTableWidget>
#include <QTreeWidget>
#include <algorithm>
#include <utility>

#include "flows/single/SingleOperationFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"

namespace fd {

namespace {

constexpr int kSeriesRole = Qt::UserRole;
constexpr int kGroupRole = Qt::UserRole + 1;
// The least widths of the list's two columns, in pixels.
constexpr int kNameColumnWidth = 100;
constexpr int kMemoryColumnWidth = 80;

const QColor kBlack(0, 0, 0);
const QColor kGreen(0, 255, 0);

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Green text on black, in every state of the widget; the selection stays visible when the
// widget loses the focus.
void GreenOnBlack(QWidget& widget) {
  QPalette palette = widget.palette();
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, kBlack);
    palette.setColor(group, QPalette::Window, kBlack);
    palette.setColor(group, QPalette::Text, kGreen);
  }
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  widget.setPalette(palette);
}

QPushButton* MakeButton(const char* caption, const QRect& geometry, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setGeometry(geometry);
  // The window has no OK: Enter presses nothing.
  button->setAutoDefault(false);
  return button;
}

QLabel* MakeLabel(const char* text, const QRect& geometry, Qt::Alignment alignment, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(alignment);
  label->setGeometry(geometry);
  return label;
}

}  // namespace

CSingleOperDlg::CSingleOperDlg(SingleOperationFlow& flow, QWidget* parent) : FlowDialog(flow, parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kSingleTitle));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setFont(DialogFont(8));
  const DialogUnits du(font());
  setFixedSize(du.x(245), du.y(184));

  // Group boxes first, so the labels and buttons drawn inside them lie on top.
  productBox_ = new QGroupBox(QString::fromLatin1(kSingleProductBox), this);
  productBox_->setGeometry(du.rect(7, 7, 50, 22));
  powerBox_ = new QGroupBox(QString::fromLatin1(kSinglePowerBox), this);
  powerBox_->setGeometry(du.rect(7, 32, 50, 22));
  settingBox_ = new QGroupBox(QString::fromLatin1(kSingleSettingBox), this);
  settingBox_->setGeometry(du.rect(7, 60, 50, 117));

  productLabel_ = MakeLabel("", du.rect(9, 16, 46, 8), Qt::AlignHCenter | Qt::AlignVCenter, this);
  powerLabel_ = MakeLabel("", du.rect(9, 41, 46, 8), Qt::AlignHCenter | Qt::AlignVCenter, this);

  setId_ = MakeButton(kSetIdCaption, du.rect(12, 71, 40, 15), this);
  setPower_ = MakeButton(kSetPowerCaption, du.rect(12, 92, 40, 15), this);
  erase_ = MakeButton(kEraseCaption, du.rect(12, 113, 40, 15), this);
  loadFile_ = MakeButton(kLoadFileCaption, du.rect(12, 113, 40, 15), this);
  program_ = MakeButton(kProgramCaption, du.rect(12, 135, 40, 15), this);
  read_ = MakeButton(kReadCaption, du.rect(12, 157, 40, 15), this);

  tree_ = new QTreeWidget(this);
  tree_->setGeometry(du.rect(63, 7, 75, 157));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setRootIsDecorated(true);
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A style that draws the tree's lines as well as its buttons.
  if (QStyle* lines = QStyleFactory::create(QStringLiteral("Windows"))) {
    lines->setParent(tree_);
    tree_->setStyle(lines);
  }
  GreenOnBlack(*tree_);

  list_ = new QTableWidget(this);
  list_->setGeometry(du.rect(138, 7, 100, 157));
  list_->setColumnCount(2);
  list_->horizontalHeader()->hide();
  list_->verticalHeader()->hide();
  list_->setShowGrid(false);
  list_->setWordWrap(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).height() + 2);
  // A name no column could hold still shows whole, the list then scrolling sideways.
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setEnabled(false);
  GreenOnBlack(*list_);
  // Both columns at their full widths side by side: the list, and the window with it, grow
  // to hold them beside the scroll bar.
  list_->setColumnWidth(0, kNameColumnWidth);
  list_->setColumnWidth(1, kMemoryColumnWidth);
  const int needed = kNameColumnWidth + kMemoryColumnWidth + list_->verticalScrollBar()->sizeHint().width() +
                     list_->width() - list_->maximumViewportSize().width();
  if (needed > list_->width()) {
    const int grow = needed - list_->width();
    list_->resize(needed, list_->height());
    setFixedWidth(width() + grow);
  }

  modeHint_ = MakeLabel(kSingleModeHint, du.rect(63, 169, 175, 8), Qt::AlignLeft | Qt::AlignVCenter, this);

  connect(setId_, &QPushButton::clicked, this, [this] { flow_.setId(); });
  connect(setPower_, &QPushButton::clicked, this, [this] { flow_.setPower(); });
  connect(erase_, &QPushButton::clicked, this, [this] { flow_.erase(); });
  connect(loadFile_, &QPushButton::clicked, this, [this] { flow_.loadFile(); });
  connect(program_, &QPushButton::clicked, this, [this] { flow_.program(); });
  connect(read_, &QPushButton::clicked, this, [this] { flow_.read(); });
  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) { onTreeItem(current); });
  connect(list_, &QTableWidget::itemSelectionChanged, this, &CSingleOperDlg::onListSelection);
  // On an item only: a double click on the list's empty space does nothing.
  connect(list_, &QTableWidget::itemDoubleClicked, this,
          [this](QTableWidgetItem* item) { flow_.writeProduct(item->row()); });
  render();
}

void CSingleOperDlg::buildTree(const SingleOperationView& view) {
  if (treeShown_ && shownTree_ == view.tree) return;
  tree_->clear();
  for (std::size_t s = 0; s < view.tree.size(); ++s) {
    auto* series = new QTreeWidgetItem(tree_, QStringList(Latin1(view.tree[s].text)));
    series->setData(0, kSeriesRole, static_cast<int>(s));
    series->setData(0, kGroupRole, -1);
    for (std::size_t g = 0; g < view.tree[s].groups.size(); ++g) {
      auto* group = new QTreeWidgetItem(series, QStringList(Latin1(view.tree[s].groups[g])));
      group->setData(0, kSeriesRole, static_cast<int>(s));
      group->setData(0, kGroupRole, static_cast<int>(g));
    }
  }
  shownTree_ = view.tree;
  treeShown_ = true;
}

void CSingleOperDlg::fillList(const SingleOperationView& view) {
  if (shownProducts_ != view.products) {
    list_->clearContents();
    list_->setRowCount(static_cast<int>(view.products.size()));
    for (std::size_t r = 0; r < view.products.size(); ++r) {
      const int row = static_cast<int>(r);
      list_->setItem(row, 0, new QTableWidgetItem(Latin1(view.products[r].product)));
      list_->setItem(row, 1, new QTableWidgetItem(Latin1(view.products[r].memory)));
      for (int c = 0; c < 2; ++c) list_->item(row, c)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }
    shownProducts_ = view.products;
    // Every name whole, trailing spaces and all: two names differing only in their last
    // character must never read alike.
    const auto* shownList = static_cast<const QAbstractItemView*>(list_);
    list_->setColumnWidth(0, std::max(kNameColumnWidth, shownList->sizeHintForColumn(0)));
    list_->setColumnWidth(1, std::max(kMemoryColumnWidth, shownList->sizeHintForColumn(1)));
  }
  const int selected = view.selectedProduct;
  if (selected >= 0 && selected < list_->rowCount()) {
    if (!list_->selectionModel()->isRowSelected(selected, QModelIndex())) {
      list_->setCurrentCell(selected, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
  } else if (list_->selectionModel()->hasSelection()) {
    list_->clearSelection();
  }
  list_->setEnabled(view.listEnabled);
}

void CSingleOperDlg::render() {
  const SingleOperationView& view = flow_.view();
  rendering_ = true;
  for (const auto& [label, text] : {std::pair{productLabel_, &view.productLabel}, std::pair{powerLabel_, &view.powerLabel}}) {
    const QString shown = Latin1(*text);
    if (label->text() == shown) continue;
    label->setText(shown);
    WidenToFit(*label, shown, label->width());
  }
  erase_->setVisible(view.eraseVisible);
  loadFile_->setVisible(view.loadFileVisible);
  program_->setVisible(view.programVisible);
  read_->setVisible(view.readVisible);
  buildTree(view);
  fillList(view);
  rendering_ = false;
}

void CSingleOperDlg::onTreeItem(QTreeWidgetItem* item) {
  if (rendering_ || item == nullptr) return;
  flow_.selectNode(item->data(0, kSeriesRole).toInt(), item->data(0, kGroupRole).toInt());
}

void CSingleOperDlg::onListSelection() {
  if (rendering_) return;
  const auto selected = list_->selectionModel()->selectedRows();
  if (selected.isEmpty()) return;
  flow_.selectProduct(selected.front().row());
}

}  // namespace fd
