#pragma once
// The main window: the programmer list with its status text and column label, the eight
// progress bars of a gang run, and the command buttons. It draws MainFlow's view and
// forwards every click to the flow; all decisions are the flow's.
#include <QDialog>
#include <array>
#include <functional>
#include <string>

#include "flows/main/MainView.h"
#include "link/Bridge.h"

class QKeySequence;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QShortcut;
class QTableWidget;
class QTableWidgetItem;

namespace fd {

class DialogUnits;
class GuiPacer;
class MainFlow;

// The run key from its setting's text ("F5", "F9", "Ctrl+R"): F5 when the text is empty,
// no key, more than one key, or a key the window keeps for itself (Space, Esc).
QKeySequence RunKeySequence(const std::string& text);

class CMainDlg final : public QDialog {
  Q_OBJECT
public:
  explicit CMainDlg(MainFlow& flow, QWidget* parent = nullptr);
  ~CMainDlg() override;

  // Draws the flow's current view.
  void render();
  // Draws `view`; the flow's own view is the one drawn after each of its changes.
  void render(const MainView& view);

  // Entries the application adds to the window's context menu after its own (the bench's
  // hot-plug entries when simulating). Called each time the menu opens.
  using MenuEntries = std::function<void(QMenu& menu)>;
  void setExtraMenuEntries(MenuEntries entries) { extraMenuEntries_ = std::move(entries); }

  // What a row's programmer is (its port, USB port path, USB serial number), shown as the
  // row's tooltip; none on a simulated bench. Given the row's bridge handle.
  using RowDescriber = std::function<QString(BridgeHandle)>;
  void setRowDescriber(RowDescriber describer) { rowDescriber_ = std::move(describer); }

  // The pacer the flow waits through. A close request that arrives while it waits (the
  // desktop's close box is no user input that a wait holds back) is carried out after
  // the wait, never in the middle of the operation.
  void setPacer(GuiPacer* pacer) { pacer_ = pacer; }

  // The window's context menu (About, then the extra entries); the caller owns it.
  QMenu* createContextMenu(QWidget* parent);
  void showAbout();

  QLabel* statusText() const { return status_; }
  QLabel* columnLabel() const { return columnLabel_; }
  QLabel* logo() const { return logo_; }
  QLabel* countsLabel() const { return counts_; }
  QShortcut* runKey() const { return runKey_; }
  QTableWidget* list() const { return list_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* offlineButton() const { return offline_; }
  QPushButton* onlineButton() const { return online_; }
  QPushButton* logButton() const { return log_; }
  QPushButton* helpButton() const { return help_; }
  QProgressBar* progressBar(int row) const { return bars_[static_cast<std::size_t>(row)]; }

  void setVisible(bool visible) override;

public slots:
  void reject() override;

protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  // The list's double-clicks and right-clicks, also where it shows no row.
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void buildList(const DialogUnits& du);
  void applyColumns(ColumnSet set);
  void fitColumns(ColumnSet set);
  void applyRows(const MainView& view);
  void applyListColours(const MainView& view);
  void onItemChanged(QTableWidgetItem* item);
  void onSelectionChanged();

  MainFlow& flow_;
  MenuEntries extraMenuEntries_;
  RowDescriber rowDescriber_;
  GuiPacer* pacer_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* logo_ = nullptr;
  QLabel* columnLabel_ = nullptr;
  QTableWidget* list_ = nullptr;
  std::array<QProgressBar*, kMaxProgrammers> bars_{};
  QPushButton* start_ = nullptr;
  QPushButton* offline_ = nullptr;
  QPushButton* online_ = nullptr;
  QPushButton* log_ = nullptr;
  QPushButton* help_ = nullptr;
  QLabel* counts_ = nullptr;
  QShortcut* runKey_ = nullptr;

  double columnScale_ = 1.0;  // list pixels per pixel of the column widths
  bool columnsShown_ = false;
  ColumnSet shownColumns_ = ColumnSet::Detection;
  bool rendering_ = false;    // list signals caused by drawing are not the user's
  bool opened_ = false;
  bool closed_ = false;
};

}  // namespace fd
