#pragma once
// The Loading window: the animation, the file's name, the product (on-line), the bar of
// pages sent, the remaining time and Cancel, drawn over the Loading flow.
#include <QTimer>

#include "gui/app/FlowDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace fd {

class LoadingFlow;

class CFileDataDlg final : public FlowDialog {
  Q_OBJECT
public:
  explicit CFileDataDlg(LoadingFlow& flow, QWidget* parent = nullptr);

  void render() override;

  QLabel* animation() const { return animation_; }
  QLabel* fileName() const { return fileName_; }
  QLabel* product() const { return product_; }
  QProgressBar* bar() const { return bar_; }
  QLabel* status() const { return status_; }
  QPushButton* cancelButton() const { return cancel_; }
  bool animationRunning() const { return clipTimer_.isActive(); }
  int animationFrame() const { return frame_; }

private:
  void nextFrame();

  LoadingFlow& flow_;
  QLabel* animation_;
  QLabel* fileName_;
  QLabel* product_;
  QProgressBar* bar_;
  QLabel* status_;
  QPushButton* cancel_;
  QTimer clipTimer_;
  int frame_ = 0;
};

}  // namespace fd
