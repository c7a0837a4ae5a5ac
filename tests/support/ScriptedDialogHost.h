#pragma once
// A DialogHost for tests: records every window it was asked to run and, instead of a
// user, runs the test's script on the window's flow. Without a script a window is closed
// with its close box: nothing is clicked, the result is Cancel (false).
#include <functional>
#include <string>
#include <vector>

#include "app/DialogHost.h"
#include "app/InitOptionsFlow.h"

namespace fd::test {

class ScriptedDialogHost final : public DialogHost {
public:
  // Script for the Initiation window, e.g. [](InitOptionsFlow& f) { f.setLogChecked(false); f.ok(); return true; }
  std::function<bool(InitOptionsFlow&)> onInitiation;

  bool runInitiation(InitOptionsFlow& flow) override {
    record(kInitTitle);
    initiationSeen = flow.view();
    return onInitiation ? onInitiation(flow) : false;
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

private:
  void record(const std::string& title) { runs.push_back(title); }
};

}  // namespace fd::test
