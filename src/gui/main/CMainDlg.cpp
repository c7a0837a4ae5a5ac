#include "gui/main/CMainDlg.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <cmath>
#include <vector>

#include "flows/main/MainFlow.h"
#include "gui/app/AppIcon.h"
#include "gui/app/DialogUnits.h"
#include "gui/app/GuiPacer.h"
#include "gui/app/SingleByteText.h"
#include "gui/main/CAboutDlg.h"

namespace fd {

namespace {

// Layout, in dialog units.
constexpr int kDialogWidth = 260;
constexpr int kDialogHeight = 132;
constexpr int kListX = 7;
constexpr int kListY = 30;
constexpr int kListWidth = 246;
constexpr int kListHeight = 70;
constexpr int kBarX = 130;
constexpr int kBarWidth = 100;
constexpr int kBarHeight = 7;
constexpr std::array<int, kMaxProgrammers> kBarY = {32, 40, 49, 57, 66, 74, 83, 91};
// The session's counts, in a line of their own under the list; the buttons below them.
constexpr int kCountsY = 102;
constexpr int kCountsHeight = 8;
constexpr int kButtonsY = 112;

const QColor kListBackground(0, 0, 0);
// A disabled list keeps its text colour (black during a run), so it needs a light ground.
const QColor kDisabledListBackground(212, 212, 212);
// A row of the result view that did not succeed: seen at a glance among eight.
const QColor kFailedRowText(255, 0, 0);

QColor TextColour(ListTextColor colour) {
  switch (colour) {
    case ListTextColor::Black: return QColor(0, 0, 0);
    case ListTextColor::Yellow: return QColor(255, 255, 0);
    case ListTextColor::Green: break;
  }
  return QColor(0, 255, 0);
}

Qt::Alignment CellAlignment(ColumnAlign align) {
  switch (align) {
    case ColumnAlign::Right: return Qt::AlignRight | Qt::AlignVCenter;
    case ColumnAlign::Center: return Qt::AlignHCenter | Qt::AlignVCenter;
    case ColumnAlign::Left: break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

QPushButton* MakeButton(const char* text, const QRect& geometry, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setGeometry(geometry);
  return button;
}

// Under a failed row's red text the selection is light, so the red stays on it.
const QColor kFailedSelection(255, 215, 215);

// The selected row is marked by its colour alone; a focus frame around its first cell
// would only cut through the check box and the number. A selected row with a colour of its
// own (a failure) keeps that colour: drawn white on the selection it would look like any
// other row.
class NoFocusFrameDelegate final : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyleOptionViewItem shown(option);
    shown.state &= ~QStyle::State_HasFocus;
    const QVariant own = index.data(Qt::ForegroundRole);
    if ((shown.state & QStyle::State_Selected) && own.canConvert<QBrush>()) {
      const QColor colour = own.value<QBrush>().color();
      for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        shown.palette.setColor(group, QPalette::HighlightedText, colour);
        shown.palette.setColor(group, QPalette::Highlight, kFailedSelection);
      }
    }
    QStyledItemDelegate::paint(painter, shown, index);
  }
};

}  // namespace

QKeySequence RunKeySequence(const std::string& text) {
  const QKeySequence fallback(Qt::Key_F5);
  const QString trimmed = QString::fromStdString(text).trimmed();
  if (trimmed.isEmpty()) return fallback;
  const QKeySequence sequence = QKeySequence::fromString(trimmed, QKeySequence::PortableText);
  // One key (with its modifiers), and not one the window keeps for itself: Space ticks the
  // row, Esc closes the window.
  if (sequence.count() != 1) return fallback;
  const Qt::Key key = sequence[0].key();
  if (key == Qt::Key_unknown || key == 0 || key == Qt::Key_Space || key == Qt::Key_Escape) return fallback;
  return sequence;
}

CMainDlg::CMainDlg(MainFlow& flow, QWidget* parent) : QDialog(parent), flow_(flow) {
  setWindowTitle(QString::fromLatin1(kMainCaption));
  setWindowIcon(AppIcon());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setFont(DialogFont(11));
  const DialogUnits du(font());
  setFixedSize(du.x(kDialogWidth), du.y(kDialogHeight));

  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setGeometry(du.rect(7, 6, 135, 8));

  logo_ = new QLabel(this);
  logo_->setGeometry(du.rect(181, 4, 72, 12));
  logo_->setPixmap(LogoPixmap().scaled(logo_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
  logo_->setAlignment(Qt::AlignCenter);

  // The list has no header of its own: this label is the one the user reads.
  columnLabel_ = new QLabel(QString::fromLatin1(kColumnLabel), this);
  columnLabel_->setTextFormat(Qt::PlainText);
  columnLabel_->setFrameStyle(QFrame::Box | QFrame::Plain);
  columnLabel_->setLineWidth(1);
  columnLabel_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columnLabel_->setIndent(2);
  columnLabel_->setGeometry(du.rect(7, 20, 246, 10));
  // The label is the list's header and keeps the list's width: where our face sets its
  // spaced titles wider, the label's type is set a little smaller until all of it shows.
  const int room = columnLabel_->contentsRect().width() - 2 * columnLabel_->indent();
  QFont labelFont = columnLabel_->font();
  while (QFontMetrics(labelFont).horizontalAdvance(columnLabel_->text()) > room && labelFont.pointSizeF() > 6) {
    labelFont.setPointSizeF(labelFont.pointSizeF() - 0.5);
  }
  columnLabel_->setFont(labelFont);

  buildList(du);

  // Created after the list so they lie on top of it, each over its row's Progress column.
  for (int r = 0; r < kMaxProgrammers; ++r) {
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setGeometry(du.rect(kBarX, kBarY[static_cast<std::size_t>(r)], kBarWidth, kBarHeight));
    bar->setStyleSheet(QStringLiteral(
        "QProgressBar { background-color: black; border: 1px solid #808080; }"
        "QProgressBar::chunk { background-color: #0078d7; }"));
    // The bars belong to the list: a right click on them is the list's, not the window's.
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->hide();
    bars_[static_cast<std::size_t>(r)] = bar;
  }

  counts_ = new QLabel(this);
  counts_->setTextFormat(Qt::PlainText);
  counts_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  counts_->setGeometry(du.rect(kListX, kCountsY, kListWidth, kCountsHeight));

  start_ = MakeButton("&Start", du.rect(7, kButtonsY, 40, 15), this);
  offline_ = MakeButton("&Off-line Set", du.rect(47, kButtonsY, 40, 15), this);
  online_ = MakeButton("On-line &Test", du.rect(87, kButtonsY, 40, 15), this);
  log_ = MakeButton("&Log", du.rect(173, kButtonsY, 40, 15), this);
  help_ = MakeButton("&Help", du.rect(213, kButtonsY, 40, 15), this);
  start_->setDefault(true);

  // The run key works wherever the focus is in this window, but not while a dialog is
  // open over it (that dialog is the active window then). A key held down repeats: only
  // its first press counts, so holding it never starts a run and goes Back at once.
  runKey_ = new QShortcut(RunKeySequence(flow_.runKeySetting()), this);
  runKey_->setContext(Qt::WindowShortcut);
  runKey_->setAutoRepeat(false);
  connect(runKey_, &QShortcut::activated, this, [this] {
    flow_.runKey();
    render();
  });

  connect(start_, &QPushButton::clicked, this, [this] { flow_.startButton(); });
  connect(log_, &QPushButton::clicked, this, [this] { flow_.openLog(); });
  connect(help_, &QPushButton::clicked, this, [this] { flow_.openHelp(); });
  connect(offline_, &QPushButton::clicked, this, [this] { flow_.offlineSet(); });
  connect(online_, &QPushButton::clicked, this, [this] { flow_.onlineTest(); });

  flow_.changed = [this] { render(); };
  render();
}

CMainDlg::~CMainDlg() { flow_.changed = nullptr; }

void CMainDlg::buildList(const DialogUnits& du) {
  list_ = new QTableWidget(this);
  list_->setGeometry(du.rect(kListX, kListY, kListWidth, kListHeight));
  list_->horizontalHeader()->hide();
  list_->verticalHeader()->hide();
  list_->setShowGrid(false);
  list_->setWordWrap(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Right clicks on the list are a gesture of the list itself.
  list_->setContextMenuPolicy(Qt::PreventContextMenu);
  list_->setItemDelegate(new NoFocusFrameDelegate(list_));

  QHeaderView* columns = list_->horizontalHeader();
  columns->setMinimumSectionSize(1);
  columns->setSectionResizeMode(QHeaderView::Fixed);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  QHeaderView* rows = list_->verticalHeader();
  rows->setMinimumSectionSize(1);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(static_cast<int>(
      std::lround((du.y(kBarY.back()) - du.y(kBarY.front())) / double(kMaxProgrammers - 1))));

  // The column widths are pixels at the layout's own scale. Scaling them so that "SN" and
  // "Status" together reach the progress bars' left edge keeps each bar over its row's
  // Progress column, whatever the font makes of a dialog unit.
  const auto run = ColumnsOf(ColumnSet::Run);
  const int beforeProgress = run[0].width + run[1].width;
  columnScale_ = double(du.x(kBarX) - du.x(kListX) - list_->frameWidth()) / beforeProgress;

  // The update gesture is made on the empty list, where no item could report a click.
  list_->viewport()->installEventFilter(this);
  connect(list_, &QTableWidget::itemChanged, this, &CMainDlg::onItemChanged);
  connect(list_, &QTableWidget::itemSelectionChanged, this, &CMainDlg::onSelectionChanged);
}

void CMainDlg::applyColumns(ColumnSet set) {
  if (columnsShown_ && set == shownColumns_) return;
  const auto specs = ColumnsOf(set);
  list_->setColumnCount(static_cast<int>(specs.size()));
  QStringList titles;
  for (const auto& spec : specs) titles << SingleByteText(spec.title);
  list_->setHorizontalHeaderLabels(titles);
  shownColumns_ = set;
  columnsShown_ = true;
}

void CMainDlg::fitColumns(ColumnSet set) {
  const auto specs = ColumnsOf(set);
  const int count = static_cast<int>(specs.size());
  std::vector<int> widths;
  for (const auto& spec : specs) widths.push_back(static_cast<int>(std::lround(spec.width * columnScale_)));
  // "SN" must show its check box and number whole; the room comes out of the next column,
  // so the columns after it keep their places.
  if (count > 1 && list_->rowCount() > 0) {
    const int needed = static_cast<const QAbstractItemView*>(list_)->sizeHintForColumn(0);
    if (needed > widths[0]) {
      widths[1] = std::max(1, widths[1] - (needed - widths[0]));
      widths[0] = needed;
    }
  }
  const int viewportWidth = list_->maximumViewportSize().width();
  const auto* view = static_cast<const QAbstractItemView*>(list_);
  if (set == ColumnSet::Run && count == 4) {
    // Progress ends where the bars end, so the percentage after them has room to show.
    const DialogUnits du(font());
    const int barsEnd = du.x(kBarX + kBarWidth) - du.x(kListX) - list_->frameWidth();
    widths[2] = std::max(1, barsEnd - widths[0] - widths[1]);
  }
  // The last column takes what is left of the list's width, so nothing hides behind a
  // horizontal scroll bar.
  int used = 0;
  for (int c = 0; c + 1 < count; ++c) used += widths[static_cast<std::size_t>(c)];
  widths.back() = std::max(1, viewportWidth - used);
  // Our font is wider than the one the widths were made for. Where no bars need lining up
  // with, a column too narrow for its texts (a time, a twelve-character MCU name, a result
  // text) takes the room from the columns wider than their own texts, so every text shows
  // whole while the list has room for it.
  if (set != ColumnSet::Run && list_->rowCount() > 0) {
    std::vector<int> slack(widths.size(), 0);
    for (int c = 1; c < count; ++c) {
      slack[static_cast<std::size_t>(c)] = widths[static_cast<std::size_t>(c)] - view->sizeHintForColumn(c);
    }
    for (int c = 1; c < count; ++c) {
      int missing = -slack[static_cast<std::size_t>(c)];
      while (missing > 0) {
        const auto donor = std::max_element(slack.begin() + 1, slack.end());
        if (*donor <= 0) break;
        const int given = std::min(missing, *donor);
        *donor -= given;
        widths[static_cast<std::size_t>(donor - slack.begin())] -= given;
        widths[static_cast<std::size_t>(c)] += given;
        slack[static_cast<std::size_t>(c)] += given;
        missing -= given;
      }
    }
  }
  for (int c = 0; c < count; ++c) {
    if (list_->columnWidth(c) != widths[static_cast<std::size_t>(c)]) list_->setColumnWidth(c, widths[static_cast<std::size_t>(c)]);
  }
}

void CMainDlg::applyRows(const MainView& view) {
  const auto specs = ColumnsOf(view.columns);
  const int rowCount = static_cast<int>(view.rows.size());
  list_->setRowCount(rowCount);
  // Row heights follow the progress bars' spacing, so bar r lies in row r.
  const DialogUnits du(font());
  for (int r = 0; r < rowCount; ++r) {
    if (r + 1 < kMaxProgrammers) {
      list_->setRowHeight(r, du.y(kBarY[static_cast<std::size_t>(r + 1)]) - du.y(kBarY[static_cast<std::size_t>(r)]));
    } else {
      list_->setRowHeight(r, list_->verticalHeader()->defaultSectionSize());
    }
  }
  for (int r = 0; r < rowCount; ++r) {
    const MainRow& row = view.rows[static_cast<std::size_t>(r)];
    for (int c = 0; c < static_cast<int>(specs.size()); ++c) {
      QTableWidgetItem* item = list_->item(r, c);
      if (item == nullptr) {
        item = new QTableWidgetItem;
        list_->setItem(r, c, item);
      }
      Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
      if (c == 0) flags |= Qt::ItemIsUserCheckable;
      if (item->flags() != flags) item->setFlags(flags);
      const std::string& text =
          c == 0 ? row.sn
                 : (static_cast<std::size_t>(c - 1) < row.cells.size() ? row.cells[static_cast<std::size_t>(c - 1)]
                                                                     : std::string());
      const QString shown = SingleByteText(text);
      if (item->text() != shown) item->setText(shown);
      const Qt::Alignment alignment = CellAlignment(specs[static_cast<std::size_t>(c)].align);
      if (item->textAlignment() != static_cast<int>(alignment)) item->setTextAlignment(alignment);
      if (c == 0) {
        const Qt::CheckState state = row.checked ? Qt::Checked : Qt::Unchecked;
        if (item->checkState() != state) item->setCheckState(state);
      }
      // Where the row's programmer is, for the operator who must find it on the bench.
      QString tip = rowDescriber_ && static_cast<std::size_t>(r) < flow_.handles().size()
                        ? rowDescriber_(flow_.handles()[static_cast<std::size_t>(r)])
                        : QString();
      // Which image this host put into the programmer, for the operator who must tell two
      // files of one name apart.
      if (!row.imageSha.empty()) {
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("Image SHA-256: ") +
               QString::fromStdString(row.imageSha) + QStringLiteral("\u2026");
      }
      if (item->toolTip() != tip) item->setToolTip(tip);
      // A failed row takes its own colour; the others the list's.
      const QVariant foreground = row.failed ? QVariant(QBrush(kFailedRowText)) : QVariant();
      if (item->data(Qt::ForegroundRole) != foreground) item->setData(Qt::ForegroundRole, foreground);
    }
  }

  const int selected = view.selectedRow;
  if (selected >= 0 && selected < rowCount) {
    if (!list_->selectionModel()->isRowSelected(selected, QModelIndex())) {
      list_->setCurrentCell(selected, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
  } else if (list_->selectionModel()->hasSelection()) {
    list_->clearSelection();
  }
}

void CMainDlg::applyListColours(const MainView& view) {
  QPalette palette = list_->palette();
  const QColor text = TextColour(view.textColor);
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, group == QPalette::Disabled ? kDisabledListBackground : kListBackground);
    palette.setColor(group, QPalette::Text, text);
  }
  // "Selection always shown": the selected row keeps its colour when the list loses focus.
  palette.setColor(QPalette::Inactive, QPalette::Highlight, palette.color(QPalette::Active, QPalette::Highlight));
  palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   palette.color(QPalette::Active, QPalette::HighlightedText));
  list_->setPalette(palette);
}

void CMainDlg::render() { render(flow_.view()); }

void CMainDlg::render(const MainView& view) {
  rendering_ = true;
  status_->setText(SingleByteText(view.statusText));
  applyColumns(view.columns);
  applyRows(view);
  fitColumns(view.columns);
  applyListColours(view);
  list_->setEnabled(view.listEnabled);
  for (int r = 0; r < kMaxProgrammers; ++r) {
    const ProgressBar& state = view.progress[static_cast<std::size_t>(r)];
    QProgressBar* bar = bars_[static_cast<std::size_t>(r)];
    bar->setValue(std::clamp(state.value, 0, 100));
    bar->setVisible(state.visible);
  }
  start_->setText(SingleByteText(view.startCaption));
  start_->setEnabled(view.startEnabled);
  offline_->setEnabled(view.offlineEnabled);
  online_->setEnabled(view.onlineEnabled);
  offline_->setHidden(view.operatorMode);
  online_->setHidden(view.operatorMode);
  counts_->setText(QString::fromStdString(view.countsLine));
  rendering_ = false;
}

void CMainDlg::onItemChanged(QTableWidgetItem* item) {
  if (rendering_ || item == nullptr || item->column() != 0) return;
  const int row = item->row();
  const auto& rows = flow_.view().rows;
  if (row < 0 || row >= static_cast<int>(rows.size())) return;
  const bool checked = item->checkState() == Qt::Checked;
  if (rows[static_cast<std::size_t>(row)].checked == checked) return;
  flow_.setChecked(row, checked);
  // The flow may keep the box as it was; the list shows what the flow holds.
  render();
}

void CMainDlg::onSelectionChanged() {
  if (rendering_) return;
  const auto selected = list_->selectionModel()->selectedRows();
  const int row = selected.isEmpty() ? -1 : selected.front().row();
  flow_.selectRow(row);
  render();
}

void CMainDlg::setVisible(bool visible) {
  QDialog::setVisible(visible);
  // The first detection runs once the window is on the screen, not from its show event
  // (sent before the window exists on the desktop): it can take a while with several
  // programmers, and meanwhile the window is to be seen, painted and alive.
  if (visible && !opened_) {
    opened_ = true;
    flow_.open();
    render();
  }
}

void CMainDlg::reject() {
  if (pacer_ != nullptr && pacer_->waiting()) {
    pacer_->afterWait(this, [this] { reject(); });
    return;
  }
  // Close box and Esc both end here: release every programmer once, then end the run.
  if (!closed_) {
    closed_ = true;
    flow_.close();
  }
  QDialog::reject();
}

QMenu* CMainDlg::createContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  // The set-up entries are no line operator's: operator mode leaves them out.
  if (!flow_.operatorMode()) {
    QAction* setUp = menu->addAction(QString::fromUtf8(kMenuSetUpTickedLikeSelected));
    setUp->setEnabled(flow_.canSetUpTickedLikeSelected());
    connect(setUp, &QAction::triggered, this, [this] {
      flow_.setUpTickedLikeSelected();
      render();
    });
    QAction* load = menu->addAction(QString::fromUtf8(kMenuLoadFileToTicked));
    load->setEnabled(flow_.canLoadFileToTicked());
    connect(load, &QAction::triggered, this, [this] {
      flow_.loadFileToTicked();
      render();
    });
  }
  QAction* tickFailed = menu->addAction(QString::fromUtf8(kMenuTickFailedRowsOnly));
  tickFailed->setEnabled(flow_.canTickFailedRowsOnly());
  connect(tickFailed, &QAction::triggered, this, [this] {
    flow_.tickFailedRowsOnly();
    render();
  });
  QAction* check = menu->addAction(QString::fromUtf8(kMenuCheckImages));
  check->setEnabled(flow_.canCheckImages());
  connect(check, &QAction::triggered, this, [this] {
    flow_.checkImagesAgainstFile();
    render();
  });
  if (!flow_.expectedImage().empty()) {
    QAction* stop = menu->addAction(QString::fromUtf8(kMenuStopCheckingImages));
    connect(stop, &QAction::triggered, this, [this] {
      flow_.expectImage({});
      render();
    });
  }
  QAction* resetCounts = menu->addAction(QString::fromUtf8(kMenuResetCounts));
  resetCounts->setEnabled(flow_.canResetSessionCounts());
  connect(resetCounts, &QAction::triggered, this, [this] {
    flow_.resetSessionCounts();
    render();
  });
  if (flow_.operatorMode()) {
    QAction* leave = menu->addAction(QString::fromUtf8(kMenuLeaveOperatorMode));
    connect(leave, &QAction::triggered, this, [this] {
      flow_.leaveOperatorMode();
      render();
    });
  }
  menu->addSeparator();
  QAction* about = menu->addAction(QString::fromLatin1(kAboutMenuText));
  connect(about, &QAction::triggered, this, &CMainDlg::showAbout);
  if (extraMenuEntries_) {
    QAction* separator = menu->addSeparator();
    const auto before = menu->actions().size();
    extraMenuEntries_(*menu);
    if (menu->actions().size() == before) menu->removeAction(separator);
  }
  return menu;
}

void CMainDlg::showAbout() {
  CAboutDlg about(this);
  about.exec();
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  const bool mouseEvent = event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::MouseButtonPress;
  if (watched == list_->viewport() && mouseEvent) {
    // Only a mouse event is one: every other event reaches the filter too.
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (event->type() == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton) {
      flow_.listDoubleClick();
      render();
    } else if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
      flow_.listRightClick();
    }
  }
  // The list still handles the click itself (selection, check boxes).
  return QDialog::eventFilter(watched, event);
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
  if (list_->geometry().contains(event->pos())) {
    event->ignore();
    return;
  }
  QMenu* menu = createContextMenu(this);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
  event->accept();
}

}  // namespace fd
