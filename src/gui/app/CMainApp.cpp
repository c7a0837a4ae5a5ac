#include "gui/app/CMainApp.h"

#include "app/Startup.h"
#include "flows/main/MainFlow.h"
#include "flows/init/InitOptionsFlow.h"
#include "gui/app/QtDialogHost.h"
#include "gui/app/QtDocumentOpener.h"
#include "gui/app/QtPrompter.h"
#include "gui/app/QtTimers.h"
#include "gui/main/CMainDlg.h"

namespace fd {

CMainApp::CMainApp(AppState& state, Bridge& bridge, Pacer& pacer, SimBench* bench)
    : state_(state), bridge_(bridge), pacer_(pacer), bench_(bench) {}

int CMainApp::run() {
  {
    // The Initiation window of a first run has no owner: no other window exists yet.
    QtDialogHost startupDialogs;
    RunStartup(state_, startupDialogs);
  }

  QtPrompter prompter;
  QtTimers timers;
  QtDocumentOpener opener;
  QtDialogHost dialogs;
  MainFlow flow(MainFlowPorts{state_, bridge_, pacer_, prompter, timers, opener, {}, &dialogs});
  timers.setHandler([&flow](int id) { flow.onTimer(id); });

  CMainDlg window(flow, bench_);
  prompter.setParent(&window);
  // The Single Operation window opens over the main window.
  dialogs.setParent(&window);
  window.exec();
  timers.stopAll();
  return 0;
}

}  // namespace fd
