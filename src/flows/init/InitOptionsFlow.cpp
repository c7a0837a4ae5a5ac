#include "flows/init/InitOptionsFlow.h"

namespace fd {

InitOptionsFlow::InitOptionsFlow(SettingsFile& settings) : settings_(settings) {}

void InitOptionsFlow::onOpen() {
  view_.logChecked = AutoSaveLog(settings_);
  view_.idEnabled = view_.logChecked;
  view_.idChecked = AutoSaveId(settings_);
}

void InitOptionsFlow::setLogChecked(bool on) {
  if (view_.logChecked == on && view_.idEnabled == on) return;
  view_.logChecked = on;
  view_.idEnabled = on;
  notify();
}

void InitOptionsFlow::setIdChecked(bool on) {
  if (!view_.idEnabled || view_.idChecked == on) return;
  view_.idChecked = on;
  notify();
}

bool InitOptionsFlow::ok() {
  // The disabled box's tick means nothing: logging off takes the ID code with it.
  const bool log = view_.logChecked;
  const bool id = log && view_.idChecked;
  const bool logStored = settings_.write(kSectionLog, kKeyAutoSaveLog, log ? "1" : "0");
  const bool idStored = settings_.write(kSectionLog, kKeyAutoSaveId, id ? "1" : "0");
  end(FlowResult::Ok);
  return logStored && idStored;
}

const InitOptionsFlow::View& InitOptionsFlow::view() const { return view_; }

StartupReport RunStartup(AppState& state, DialogHost& dialogs) {
  return RunStartup(state, [&dialogs](SettingsFile& settings) {
    InitOptionsFlow flow(settings);
    dialogs.run(flow);
  });
}

}  // namespace fd
