#pragma once
// Sub-windows as modal Qt dialogs, each built around its flow.
#include <QPointer>
#include <QWidget>

#include "app/DialogHost.h"

namespace fd {

class QtDialogHost final : public DialogHost {
public:
  // Dialogs are owned by `parent`; null gives windows without an owner (start-up).
  explicit QtDialogHost(QWidget* parent = nullptr) : parent_(parent) {}

  bool runInitiation(InitOptionsFlow& flow) override;

private:
  QPointer<QWidget> parent_;
};

}  // namespace fd
