#include "gui/app/CMainApp.h"

#include <functional>

#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "flows/main/MainFlow.h"
#include "flows/init/InitOptionsFlow.h"
#include "gui/app/GuiPacer.h"
#include "gui/app/QtDialogHost.h"
#include "gui/app/QtDocumentOpener.h"
#include "gui/app/QtPrompter.h"
#include "gui/app/QtTimers.h"
#include "gui/app/SignalNotifier.h"
#include "gui/main/CMainDlg.h"
#include "gui/sim/BenchMenu.h"
#include "link/Clock.h"
#include "link/serial/SerialBridge.h"

namespace fd {

QString PortTooltip(const std::optional<SerialDeviceRow>& row) {
  if (!row) return {};
  QStringList lines;
  lines << QStringLiteral("Port: ") + QString::fromStdString(row->port);
  if (!row->usbPath.empty()) lines << QStringLiteral("USB port: ") + QString::fromStdString(row->usbPath);
  if (!row->usbSerial.empty()) lines << QStringLiteral("USB serial: ") + QString::fromStdString(row->usbSerial);
  return lines.join(QLatin1Char('\n'));
}

CMainApp::CMainApp(AppState& state, Bridge& bridge, Pacer& pacer, SimBench* bench, Clock* clock)
    : state_(state), bridge_(bridge), pacer_(pacer), bench_(bench), clock_(clock) {}

int CMainApp::run() {
  {
    // The Initiation window of a first run has no owner: no other window exists yet.
    QtDialogHost startupDialogs;
    RunStartup(state_, startupDialogs);
  }

  QtPrompter prompter;
  // Every wait of every flow of the window goes through this pacer, so the window paints
  // while a programmer is waited for; the timers hold their ticks until the wait is over.
  GuiPacer pacer(pacer_);
  QtTimers timers;
  timers.setPacer(&pacer);
  QtDocumentOpener opener;
  // Sub-windows open over the main window and wait through the same pacer.
  QtDialogHost dialogs;
  dialogs.setPacer(&pacer);
  RealClock realClock;
  Clock& clock = clock_ != nullptr ? *clock_ : realClock;
  MainFlowPorts ports{state_, bridge_, pacer, prompter, timers, opener, {}, &dialogs, &clock};
  // Asked for by --operator or by the settings; leaving it later changes neither.
  ports.operatorMode = operatorMode_ || OperatorModeSetting(SettingsFile(state_.appDir + kSettingsFileName));
  if (serial_ != nullptr) {
    ports.identify = [serial = serial_](BridgeHandle handle) {
      RunPortIdentity where;
      if (const std::optional<SerialDeviceRow> row = serial->rowOf(handle)) where = {row->port, row->usbPath, row->usbSerial};
      return where;
    };
  }
  MainFlow flow(std::move(ports));
  timers.setHandler([&flow](int id) { flow.onTimer(id); });

  CMainDlg window(flow);
  window.setPacer(&pacer);
  dialogs.setParent(&window);
  if (serial_ != nullptr) {
    window.setRowDescriber([serial = serial_](BridgeHandle handle) { return PortTooltip(serial->rowOf(handle)); });
  }
  if (bench_ != nullptr) {
    window.setExtraMenuEntries([bench = bench_](QMenu& menu) { AddBenchMenuEntries(menu, *bench); });
  }
  prompter.setParent(&window);

  // A signal ends the window as the operator would: Cancel a run, Back to write its
  // record, then close, which releases every programmer.
  // Never inside a protocol wait: the flow is not re-entered.
  SignalNotifier notifier;
  std::function<void()> endBySignal = [&] {
    if (pacer.waiting()) {
      pacer.afterWait(&window, endBySignal);
      return;
    }
    if (flow.runPhase() == RunPhase::Running) flow.startButton();
    if (flow.runPhase() == RunPhase::Results) flow.startButton();
    window.reject();
  };
  QObject::connect(&notifier, &SignalNotifier::received, &window, [&endBySignal](int) { endBySignal(); });
  window.exec();
  timers.stopAll();
  return notifier.caught() != 0 ? 128 + notifier.caught() : 0;
}

}  // namespace fd
