#pragma once
// The Single Operation window's flow on the demo bench in virtual time: the main window's
// rig detects the programmers, the current one is reset and read as Off-line Set and
// On-line Test do before the window opens, and the ID and Power windows run through a
// scripted host on the rig's clock.
#include <memory>
#include <string>

#include "flows/common/ScriptedHost.h"
#include "flows/single/SingleOperationFlow.h"
#include "support/MainRig.h"

namespace fd::test {

struct SingleRig {
  SingleRig() : protocol(main.tracing, main.pacer), windows(main.state, protocol, main.prompter), host(main.clock) {
    for (const SimProgrammerSetup& setup : SimBench::demo(main.clock)->setups()) main.bench.attach(setup);
  }

  // Detection, then the current programmer (row `row`) reset and read.
  void prepare(int row = 0) {
    main.flow().open();
    main.flow().selectRow(row);
    windows.ResetProgrammer(main.state.currentHandle, 1);
    windows.ReadProgrammerInfo(main.state.currentHandle);
  }

  // The window opened in one mode over the block just read.
  SingleOperationFlow& open(bool offline) {
    main.state.offlineMode = offline ? 1 : 0;
    flow_ = std::make_unique<SingleOperationFlow>(SingleOperationPorts{main.state, windows, main.prompter, host});
    flow_->open();
    return *flow_;
  }
  SingleOperationFlow& flow() { return *flow_; }

  // The tree node of a group, by its name as typed.
  void selectGroup(const std::string& group) {
    const auto& tree = flow_->view().tree;
    for (std::size_t s = 0; s < tree.size(); ++s) {
      for (std::size_t g = 0; g < tree[s].groups.size(); ++g) {
        if (tree[s].groups[g] == NodeKey(group)) {
          flow_->selectNode(static_cast<int>(s), static_cast<int>(g));
          return;
        }
      }
    }
  }
  // The list row of a product, by its name as typed; -1 when the list does not show it.
  int rowOf(const std::string& product) const {
    const auto& rows = flow_->view().products;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].product == ProductKey(product)) return static_cast<int>(r);
    }
    return -1;
  }
  // A group chosen in the tree and one of its products in the list.
  int choose(const std::string& group, const std::string& product) {
    selectGroup(group);
    const int row = rowOf(product);
    flow_->selectProduct(row);
    return row;
  }

  SettingsFile settings() const { return SettingsFile(main.state.appDir + kSettingsFileName); }
  std::string setting(const char* key) const { return settings().read(kSectionProgrammer, key); }
  SimProgrammer& programmer(std::size_t slot = 0) { return main.bench.programmer(slot); }

  MainRig main;
  Protocol protocol;
  WindowProtocol windows;
  ScriptedHost host;

private:
  std::unique_ptr<SingleOperationFlow> flow_;
};

}  // namespace fd::test
