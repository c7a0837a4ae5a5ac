#pragma once
// Sub-windows as modal Qt dialogs, each built around its flow. Which dialog class draws
// which flow is registered once, in RegisterDialogs().
#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <typeindex>

#include "flows/common/DialogHost.h"
#include "gui/app/FlowDialog.h"

namespace fd {

class GuiPacer;

class QtDialogHost final : public DialogHost {
public:
  using Factory = std::function<std::unique_ptr<FlowDialog>(ModalFlow&, QWidget* parent)>;

  // Dialogs are owned by `parent`, or by the sub-window that is open over it when one
  // is; null gives windows without an owner (start-up).
  explicit QtDialogHost(QWidget* parent = nullptr);

  FlowResult run(ModalFlow& flow) override;
  void setParent(QWidget* parent) { parent_ = parent; }
  // The waits of the window's flow: its ticks are held while one runs.
  void setPacer(GuiPacer* pacer) { pacer_ = pacer; }

  template <class Flow, class Dialog>
  static void registerDialog() {
    factories()[std::type_index(typeid(Flow))] = [](ModalFlow& flow, QWidget* parent) {
      return std::unique_ptr<FlowDialog>(new Dialog(static_cast<Flow&>(flow), parent));
    };
  }

private:
  static std::map<std::type_index, Factory>& factories();
  QPointer<QWidget> parent_;
  GuiPacer* pacer_ = nullptr;
};

// Every flow with its dialog class; called once before the first window opens.
void RegisterDialogs();

}  // namespace fd
