#pragma once
// The Single Operation window without its widgets: one programmer (the current one) gets
// a product from the device database, an ID code and a target power. Off-line they go
// into the programmer's information block and are written to the programmer with 'B';
// on-line they live in the settings file and the process state, and each target
// operation sends them.
#include <string>

#include <functional>

#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "app/Prompter.h"
#include "app/SettingsFile.h"
#include "flows/common/DialogHost.h"
#include "flows/common/ModalFlow.h"
#include "flows/common/WindowProtocol.h"
#include "flows/load/ImageOperation.h"
#include "flows/memory/MemoryPorts.h"
#include "link/Clock.h"
#include "flows/single/SingleOperationView.h"
#include "link/Clock.h"

namespace fd {

inline constexpr const char* kSingleTitle = "Single Operation";
inline constexpr const char* kSingleProductBox = "Product";
inline constexpr const char* kSinglePowerBox = "Power";
inline constexpr const char* kSingleSettingBox = "Setting";
inline constexpr const char* kSetIdCaption = "Set &ID";
inline constexpr const char* kSetPowerCaption = "&Set Power";
inline constexpr const char* kEraseCaption = "&Erase";
inline constexpr const char* kLoadFileCaption = "Load &File";
inline constexpr const char* kProgramCaption = "&Program";
inline constexpr const char* kReadCaption = "&Read";
inline constexpr const char* kSingleModeHint = "Make sure about selecting On-line or Off-line";

inline constexpr const char* kProductNotSelectedLabel = "Not select";
inline constexpr const char* kPower3VLabel = "Output 3.0V";
inline constexpr const char* kPower5VLabel = "Output 5.0V";
inline constexpr const char* kPowerNoneLabel = "Do not output";

inline constexpr const char* kMsgNewProduct = "New product is set to the programmer.";
inline constexpr const char* kMsgNewId = "New ID is set to the programmer.";
inline constexpr const char* kMsgNewPower = "New power setting is set to the programmer.";
inline constexpr const char* kMsgProgramNotBuilt = "Program is not available in this version yet.";
inline constexpr const char* kMsgLoadFileNotBuilt = "Load File is not available in this version yet.";

// The power label for a power code.
const char* PowerLabel(std::uint8_t code);

struct SingleOperationPorts {
  AppState& state;
  // The protocol on the current programmer; shows its own messages.
  WindowProtocol& windows;
  Prompter& prompter;
  // Opens the ID Setting, Power Setting and Loading windows.
  DialogHost& dialogs;
  // The monotonic clock of the Loading window's remaining time; none: Load File and
  // Program say they are not available.
  Clock* clock = nullptr;
  // Local time for the history log; the real clock when empty.
  std::function<LocalTime()> localTime{};
};

class SingleOperationFlow final : public ModalFlow {
public:
  using View = SingleOperationView;
  explicit SingleOperationFlow(SingleOperationPorts ports);

  std::string title() const override { return kSingleTitle; }
  using ModalFlow::open;

  // A node of the tree was selected: the list shows the group's products (a series node
  // empties and disables it).
  void selectNode(int series, int group);
  // The list's selection moved to `row`: the product goes into the information block
  // (off-line) or the settings file (on-line), and the labels follow.
  void selectProduct(int row);
  // A double click on the list's item `row`: off-line, the header goes to the programmer.
  // True when it was written.
  bool writeProduct(int row);
  // Set ID and Set Power: true when a new setting was stored (and, off-line, written).
  bool setId();
  bool setPower();
  // On-line Program and off-line Load File, through the Loading window.
  void program();
  void loadFile();
  // Erase and Read (on-line): the target connected, the Erase window, or the Address
  // Setting and Read windows, then the programmer reset with its mark.
  void erase();
  void read();

  // The labels from where the mode keeps its settings; on-line it also reloads product,
  // type code, memory map, power and ID code into the process state.
  void RefreshProductDisplay();

  const View& view() const { return view_; }
  // Whether a history record was written while the window is open (the history header
  // goes once per opening).
  int logStarted() const { return log_.logStarted() ? 1 : 0; }

private:
  void onOpen() override;
  bool offline() const { return ports_.state.offlineMode != 0; }
  // A product is there to take an ID code and a power setting.
  bool productStored() const;
  // 'B' with the information block's header; the labels follow a write that succeeded.
  bool writeHeader();
  ImageOperationPorts imagePorts();

  MemoryPorts memoryPorts();

  SingleOperationPorts ports_;
  // The Erase and Read windows keep their estimates on the session's clock; without one
  // (they show no remaining time) the machine's monotonic clock serves.
  RealClock estimateClock_;
  SettingsFile settings_;
  View view_;
  // The window's history entries: one date line per opening.
  HistoryLog history_;
  SingleOperationLog log_;
};

}  // namespace fd
