#include "gui/app/FlowDialog.h"

namespace fd {

FlowDialog::FlowDialog(ModalFlow& flow, QWidget* parent) : QDialog(parent), flow_(flow) {
  flow_.changed = [this] { refresh(); };
}

FlowDialog::~FlowDialog() { flow_.changed = nullptr; }

void FlowDialog::refresh() {
  render();
  if (!flow_.ended()) return;
  const int code = flow_.result() == FlowResult::Ok ? QDialog::Accepted : QDialog::Rejected;
  if (isVisible()) {
    done(code);
  } else {
    setResult(code);
  }
}

void FlowDialog::reject() {
  if (!flow_.ended()) flow_.closeBox();
  if (flow_.ended()) refresh();
}

}  // namespace fd
