// The windows the main window opens: Single Operation (Off-line Set, On-line Test) and the
// firmware update behind the hidden gesture on the empty list.
#include "flows/main/MainFlow.h"
#include "flows/main/MainFlowParts.h"
#include "flows/single/SingleOperationFlow.h"
#include "flows/update/UpdateMode.h"

namespace fd {
using namespace mainwindow;

void MainFlow::offlineSet() { singleOperation(true); }

void MainFlow::onlineTest() { singleOperation(false); }

void MainFlow::singleOperation(bool offline) {
  if (runPhase_ != RunPhase::Idle || !view_.offlineEnabled || view_.operatorMode) return;
  if (ports_.dialogs == nullptr) {
    ports_.prompter.info(kMsgSingleOperationNotBuilt);
    return;
  }
  AppState& state = ports_.state;
  const BridgeHandle handle = state.currentHandle;
  ports_.timers.stop(kTimerDetection);
  // The boxes as a detection tick would save them now, so a box ticked since the last
  // tick comes back too.
  saveTicked();
  bool ready = windows_.ResetProgrammer(handle, 1) != 0;
  if (ready && !windows_.ReadProgrammerInfo(handle)) {
    // The failed read has closed the handle: the row must not use it again, and the next
    // detection tick builds the list afresh.
    for (auto& h : handles_) {
      if (h == handle) h = kNoHandle;
    }
    state.currentHandle = kNoHandle;
    lastDeviceCount_ = 0;
    ready = false;
  }
  if (ready) {
    state.offlineMode = offline ? 1 : 0;
    SingleOperationFlow window({state, windows_, ports_.prompter, *ports_.dialogs, ports_.clock, ports_.localTime});
    ports_.dialogs->run(window);
    if (offline) {
      // The programmer's stored setup may have changed: the rows are read again.
      lastDeviceCount_ = 0;
      DetectProgrammers();
    }
    for (std::size_t r = 0; r < view_.rows.size(); ++r) view_.rows[r].checked = ticked_[r] != 0;
  }
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

// In operator mode the clicks are no step of the gesture: a line operator never opens the
// firmware update by chance.
void MainFlow::listDoubleClick() {
  if (view_.operatorMode) return;
  if (gesture_.doubleClick(!view_.rows.empty())) updateMode();
}

void MainFlow::listRightClick() {
  if (view_.operatorMode) return;
  gesture_.rightClick(!view_.rows.empty());
}

void MainFlow::updateMode() {
  if (ports_.dialogs == nullptr || ports_.clock == nullptr) {
    gesture_.clear();
    return;
  }
  // Detection would reset the boot loader's link under the update: it waits till the end.
  ports_.timers.stop(kTimerDetection);
  RunUpdateMode(UpdateModePorts{ports_.state, ports_.bridge, ports_.pacer, ports_.prompter, *ports_.dialogs,
                                *ports_.clock});
  gesture_.clear();
  ports_.timers.start(kTimerDetection, kDetectionPeriodMs);
  notify();
}

}  // namespace fd
