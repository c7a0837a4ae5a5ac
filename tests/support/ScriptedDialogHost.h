#pragma once
// A DialogHost for tests: records every window it was asked to run and, instead of a
// user, runs the test's script on the window's flow. Without a script a window is closed
// with its close box: nothing is clicked, the result is Cancel.
#include <functional>
#include <string>
#include <vector>

#include "flows/common/DialogHost.h"
#include "flows/init/InitOptionsFlow.h"

namespace fd::test {

class ScriptedDialogHost final : public DialogHost {
public:
  // Script for the Initiation window, e.g. [](InitOptionsFlow& f) { f.setLogChecked(false); f.ok(); return true; }
  std::function<bool(InitOptionsFlow&)> onInitiation;
  // Script for any other window.
  std::function<void(ModalFlow&)> onOther;

  FlowResult run(ModalFlow& flow) override {
    runs.push_back(flow.title());
    flow.open();
    if (auto* init = dynamic_cast<InitOptionsFlow*>(&flow)) {
      initiationSeen = init->view();
      if (onInitiation) onInitiation(*init);
    } else if (onOther) {
      onOther(flow);
    }
    if (!flow.ended()) flow.closeBox();
    return flow.result();
  }

  // Window titles in the order they were run.
  std::vector<std::string> runs;
  // How the Initiation window looked when it opened.
  InitOptionsFlow::View initiationSeen;

  int count(const std::string& title) const {
    int n = 0;
    for (const std::string& r : runs) n += r == title ? 1 : 0;
    return n;
  }
};

}  // namespace fd::test
