#pragma once
// A DialogHost without windows: each flow is opened, given the script registered for its
// type (what a user would click), then driven by its timers until it ends. A window with
// no script and no running timer is closed with its close box. The command line runs its
// sub-windows this way; tests do too, on a virtual clock.
#include <functional>
#include <map>
#include <string>
#include <typeindex>
#include <vector>

#include "flows/common/DialogHost.h"
#include "flows/common/TimerLoop.h"

namespace fd {

class ScriptedHost : public DialogHost {
public:
  explicit ScriptedHost(Clock& clock) : clock_(clock) {}

  // What happens in a window of type F once it opened.
  template <class F>
  void script(std::function<void(F&)> steps) {
    scripts_[std::type_index(typeid(F))] = [steps](ModalFlow& flow) { steps(static_cast<F&>(flow)); };
  }

  FlowResult run(ModalFlow& flow) override;

  // Checked before every tick: true ends the window through its close box (Ctrl-C).
  std::function<bool()> interrupted;
  // After every tick of any window (progress lines).
  std::function<void(ModalFlow&)> afterTick;

  // Titles of the windows run, in order.
  const std::vector<std::string>& runs() const { return runs_; }
  int count(const std::string& title) const;

private:
  Clock& clock_;
  std::map<std::type_index, std::function<void(ModalFlow&)>> scripts_;
  std::vector<std::string> runs_;
};

}  // namespace fd
