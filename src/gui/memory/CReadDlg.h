#pragma once
// The Read window: the status line and progress bar, Pause/Go, Save, ADDRESS, and the hex
// view under its column heading, all in a fixed-pitch font so the columns line up.
#include "gui/app/FlowDialog.h"

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace fd {

class ReadFlow;

class CReadDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CReadDlg(ReadFlow& flow, QWidget* parent = nullptr);
  void render() override;

  QLabel* status() const { return status_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* pauseButton() const { return pause_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* addressButton() const { return address_; }
  QLabel* heading() const { return heading_; }
  QListWidget* hexView() const { return view_; }

private:
  ReadFlow& flow_;
  QLabel* status_;
  QProgressBar* progress_;
  QPushButton* pause_;
  QPushButton* save_;
  QPushButton* address_;
  QLabel* heading_;
  QListWidget* view_;
  std::uint64_t jumpsShown_ = 0;
};

}  // namespace fd
