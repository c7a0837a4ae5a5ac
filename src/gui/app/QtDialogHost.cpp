#include "gui/app/QtDialogHost.h"

#include <QApplication>

#include "flows/init/InitOptionsFlow.h"
#include "flows/memory/AddrFlow.h"
#include "flows/memory/EraseFlow.h"
#include "flows/memory/ReadFlow.h"
#include "flows/memory/TopAddrFlow.h"
#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "flows/single/SingleOperationFlow.h"
#include "flows/update/UpdateFlow.h"
#include "flows/load/LoadingFlow.h"
#include "gui/app/CInitDlg.h"
#include "gui/load/CFileDataDlg.h"
#include "gui/app/QtTimers.h"
#include "gui/memory/CAddrDlg.h"
#include "gui/memory/CEraseDlg.h"
#include "gui/memory/CReadDlg.h"
#include "gui/memory/CTopAddrDlg.h"
#include "gui/single/CIDCodeSetDlg.h"
#include "gui/single/CPowerSetDlg.h"
#include "gui/single/CSingleOperDlg.h"
#include "gui/update/CUpdateDlg.h"

namespace fd {

void RegisterDialogs() {
  QtDialogHost::registerDialog<InitOptionsFlow, CInitDlg>();
  QtDialogHost::registerDialog<SingleOperationFlow, CSingleOperDlg>();
  QtDialogHost::registerDialog<IdCodeSetFlow, CIDCodeSetDlg>();
  QtDialogHost::registerDialog<PowerSetFlow, CPowerSetDlg>();
  QtDialogHost::registerDialog<UpdateFlow, CUpdateDlg>();
  QtDialogHost::registerDialog<LoadingFlow, CFileDataDlg>();
  QtDialogHost::registerDialog<EraseFlow, CEraseDlg>();
  QtDialogHost::registerDialog<AddrFlow, CAddrDlg>();
  QtDialogHost::registerDialog<ReadFlow, CReadDlg>();
  QtDialogHost::registerDialog<TopAddrFlow, CTopAddrDlg>();
}

QtDialogHost::QtDialogHost(QWidget* parent) : parent_(parent) { RegisterDialogs(); }

std::map<std::type_index, QtDialogHost::Factory>& QtDialogHost::factories() {
  static std::map<std::type_index, Factory> registry;
  return registry;
}

FlowResult QtDialogHost::run(ModalFlow& flow) {
  const auto factory = factories().find(std::type_index(typeid(flow)));
  if (factory == factories().end()) return FlowResult::Cancel;  // no window for it: nothing was shown
  // A window opened from another sub-window lies over that one, not over the main window.
  QWidget* owner = parent_ ? QApplication::activeModalWidget() : nullptr;
  if (owner == nullptr) owner = parent_;
  std::unique_ptr<FlowDialog> dialog = factory->second(flow, owner);
  // The window's own timers, handed to its flow and stopped when it closes.
  QtTimers timers;
  if (pacer_ != nullptr) timers.setPacer(pacer_);
  timers.setHandler([&flow](int id) { flow.onTimer(id); });
  flow.open(timers);
  if (!flow.ended()) dialog->exec();
  timers.stopAll();
  if (!flow.ended()) flow.closeBox();
  return flow.result();
}

}  // namespace fd
