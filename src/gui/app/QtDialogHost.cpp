#include "gui/app/QtDialogHost.h"

#include "gui/app/CInitDlg.h"

namespace fd {

bool QtDialogHost::runInitiation(InitOptionsFlow& flow) {
  CInitDlg dialog(flow, parent_);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace fd
