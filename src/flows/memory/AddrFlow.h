#pragma once
// The Address Setting window's logic: the range the Read window will read, either from the
// first to the last ticked flash block or, with no block ticked, from two typed hex
// addresses. It leaves the range in readStart and readEnd (only on OK) and talks to no
// programmer.
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/common/ModalFlow.h"
#include "flows/memory/AddrView.h"

namespace fd {

inline constexpr const char* kAddrTitle = "Address Setting";
inline constexpr const char* kStartPlaceholder = "START";
inline constexpr const char* kEndPlaceholder = "END";
inline constexpr const char* kMsgBothAreas = "Can not read data flash area and user flash area at the same time.";
inline constexpr const char* kMsgWrongAddress = "No block selected and input wrong address!";
inline constexpr const char* kMsgNoStartAddress = "You have not inputed start address yet!";
inline constexpr const char* kMsgNoEndAddress = "You have not inputed end address yet!";
inline constexpr const char* kMsgExchangeAddresses =
    "End address < Start address.\nExchange start address and end address?";
inline constexpr const char* kMsgOutOfMemoryMap = "Input address is out of memory map!";

// A block whose size or start the device database does not give as a number has no range.
std::string BlockSizeUnreadableText(const std::string& blockName);
std::string BlockAddressUnreadableText(const std::string& blockName);

class AddrFlow final : public ModalFlow {
public:
  AddrFlow(AppState& state, Prompter& prompter) : state_(state), prompter_(prompter) {}

  std::string title() const override { return kAddrTitle; }
  const AddrView& view() const { return view_; }

  // What the user typed; the edits force upper case and take at most maxChars characters.
  void setStartText(const std::string& text);
  void setEndText(const std::string& text);
  void setChecked(int row, bool checked);
  // The boxes, after they changed their own state: set ticks every block of their kind and
  // clears the other kind; cleared clears their own kind only.
  void setAllData(bool on);
  void setAllUser(bool on);
  // Checks the range and ends the window with it, or says what is wrong and stays.
  void ok();

private:
  void onOpen() override;
  std::string edited(const std::string& text) const;
  void tickKind(BlockKind kind, bool on);
  void okByBlocks();
  void okByAddresses();

  AppState& state_;
  Prompter& prompter_;
  AddrView view_;
};

}  // namespace fd
