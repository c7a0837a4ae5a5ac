#include "flows/single/SingleOperationFlow.h"

#include "flows/load/LoadFile.h"
#include "flows/single/OnlineProgram.h"
#include "flows/single/OnlineSetup.h"
#include "flows/memory/MemoryOperations.h"

#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "formats/Hex.h"

namespace fd {

const char* PowerLabel(std::uint8_t code) {
  switch (code) {
    case kPowerCode3V: return kPower3VLabel;
    case kPowerCode5V: return kPower5VLabel;
    default: return kPowerNoneLabel;
  }
}

SingleOperationFlow::SingleOperationFlow(SingleOperationPorts ports)
    : ports_(ports),
      settings_(ports.state.appDir + kSettingsFileName),
      history_(ports.state.appDir + kHistoryFileName),
      log_(settings_, history_) {}

void SingleOperationFlow::onOpen() {
  view_ = {};
  view_.offline = offline();
  view_.loadFileVisible = view_.offline;
  view_.eraseVisible = view_.programVisible = view_.readVisible = !view_.offline;
  log_.reset();
  RefreshProductDisplay();
  const auto tree = ReadProductTree(DeviceDatabasePath(ports_.state));
  if (!tree.ok()) ports_.prompter.error(tree.error);
  view_.tree = tree.value;
}

void SingleOperationFlow::RefreshProductDisplay() {
  AppState& state = ports_.state;
  if (offline()) {
    const ProgrammerInfo& block = state.programmerInfo;
    const std::string name = InfoMcuName(block);
    const bool none = block[info::kNames] == 0xFF || name.empty();
    view_.productLabel = none ? kProductNotSelectedLabel : PrintableText(TrimTrailingSpaces(name));
    view_.powerLabel = PowerLabel(block[info::kPower]);
    notify();
    return;
  }

  const std::string product = settings_.read(kSectionProgrammer, kKeyProductNumber);
  // A missing key shows as what it means rather than as an empty box.
  view_.productLabel = TrimTrailingSpaces(product).empty() ? kProductNotSelectedLabel : PrintableText(product);
  // The display goes on whatever the database says; the target operations check the
  // product's line again before they send anything.
  const OnlineSetupRead read = ReadOnlineSetup(state, settings_);
  if (read.line == OnlineSetupRead::Line::DatabaseUnreadable) ports_.prompter.error(read.error);
  view_.powerLabel = PowerLabel(state.powerSet);
  notify();
}

void SingleOperationFlow::selectNode(int series, int group) {
  if (series < 0 || series >= static_cast<int>(view_.tree.size())) return;
  const ProductSeries& node = view_.tree[static_cast<std::size_t>(series)];
  if (group >= static_cast<int>(node.groups.size())) return;
  view_.selectedSeries = series;
  view_.selectedGroup = group < 0 ? -1 : group;
  view_.products.clear();
  view_.selectedProduct = -1;
  const std::string& text = group < 0 ? node.text : node.groups[static_cast<std::size_t>(group)];
  const auto found = ListGroupProducts(DeviceDatabasePath(ports_.state), text);
  if (!found.ok()) {
    notify();
    ports_.prompter.error(found.error);
    return;
  }
  view_.products = found.value.rows;
  if (!view_.products.empty()) view_.listEnabled = true;
  if (found.value.isSeries) view_.listEnabled = false;
  notify();
}

void SingleOperationFlow::selectProduct(int row) {
  if (row < 0 || row >= static_cast<int>(view_.products.size())) return;
  view_.selectedProduct = row;
  AppState& state = ports_.state;
  const std::string name = view_.products[static_cast<std::size_t>(row)].product;
  const auto line = FindProductLine(DeviceDatabasePath(state), name);
  if (!line.ok()) {
    ports_.prompter.error(line.error);
  } else if (line.value) {
    if (offline()) {
      // Nothing goes to the programmer before a double click, Set ID or Set Power.
      BuildInfoBlockTable(*line.value, state.programmerInfo);
    } else if (!settings_.write(kSectionProgrammer, kKeyProductNumber, name)) {
      ports_.prompter.error(kMsgSettingsNotWritten);
    }
  }
  RefreshProductDisplay();
}

bool SingleOperationFlow::writeProduct(int row) {
  if (!offline() || row < 0 || row >= static_cast<int>(view_.products.size())) return false;
  if (!writeHeader()) return false;
  ports_.prompter.info(kMsgNewProduct);
  return true;
}

bool SingleOperationFlow::productStored() const {
  if (offline()) return ports_.state.programmerInfo[info::kNames] != 0xFF;
  return !ports_.state.productNotSelected();
}

bool SingleOperationFlow::writeHeader() {
  if (!ports_.windows.WriteProgrammerHeader(ports_.state.currentHandle, 0)) return false;
  RefreshProductDisplay();
  return true;
}

bool SingleOperationFlow::setId() {
  if (!productStored()) {
    ports_.prompter.warning(kMsgNoProduct);
    return false;
  }
  IdCodeSetFlow window(ports_.state, ports_.prompter);
  const bool stored = ports_.dialogs.run(window) == FlowResult::Ok;
  if (!stored) return false;
  if (!offline()) return true;
  if (!writeHeader()) return false;
  ports_.prompter.info(kMsgNewId);
  return true;
}

bool SingleOperationFlow::setPower() {
  if (!productStored()) {
    ports_.prompter.warning(kMsgNoProduct);
    return false;
  }
  PowerSetFlow window(ports_.state, ports_.prompter);
  const bool stored = ports_.dialogs.run(window) == FlowResult::Ok;
  if (!offline()) {
    RefreshProductDisplay();
    return stored;
  }
  if (!stored || !writeHeader()) return false;
  ports_.prompter.info(kMsgNewPower);
  return true;
}

// Until these operations are built each button says so rather than looking as if it worked.
MemoryPorts SingleOperationFlow::memoryPorts() {
  Protocol& protocol = ports_.windows.protocol();
  Clock& clock = ports_.clock != nullptr ? *ports_.clock : estimateClock_;
  return {ports_.state, protocol, ports_.prompter, clock, ports_.dialogs};
}

void SingleOperationFlow::erase() {
  if (view_.eraseVisible) RunErase(memoryPorts());
}
void SingleOperationFlow::program() {
  if (!view_.programVisible) return;
  if (ports_.clock == nullptr) {
    ports_.prompter.info(kMsgProgramNotBuilt);
    return;
  }
  ImageOperationPorts image = imagePorts();
  OnlineProgram(image);
  notify();
}

ImageOperationPorts SingleOperationFlow::imagePorts() {
  return ImageOperationPorts{ports_.state,
                             ports_.windows,
                             ports_.prompter,
                             ports_.dialogs,
                             *ports_.clock,
                             log_,
                             [this] { return view_.productLabel; },
                             ports_.localTime,
                             {},
                             [this] { RefreshProductDisplay(); }};
}
void SingleOperationFlow::read() {
  if (view_.readVisible) RunRead(memoryPorts());
}
void SingleOperationFlow::loadFile() {
  if (!view_.loadFileVisible) return;
  if (ports_.clock == nullptr) {
    ports_.prompter.info(kMsgLoadFileNotBuilt);
    return;
  }
  ImageOperationPorts image = imagePorts();
  LoadFile(image);
  notify();
}

}  // namespace fd
