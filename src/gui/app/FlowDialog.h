#pragma once
// The base of every sub-window: a modal dialog drawn over its flow. The flow decides; the
// dialog draws the flow's view on every change and closes when the flow has ended. The
// close box and Escape are the flow's to answer (some windows refuse while they work).
#include <QDialog>

#include "flows/common/ModalFlow.h"

namespace fd {

class FlowDialog : public QDialog {
  Q_OBJECT
public:
  FlowDialog(ModalFlow& flow, QWidget* parent);
  ~FlowDialog() override;

  // Draws the flow's view.
  virtual void render() = 0;
  // render(), then close with the flow's result once it has ended.
  void refresh();

  void reject() override;  // close box, Escape

protected:
  ModalFlow& flow() { return flow_; }

private:
  ModalFlow& flow_;
};

}  // namespace fd
