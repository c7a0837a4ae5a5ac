#pragma once
// The Top Address window's logic: an address inside the read range, typed in hex, that the
// Read window's hex view then puts at its top. The last address accepted stays in viewTop
// and is offered again next time.
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "flows/common/ModalFlow.h"

namespace fd {

inline constexpr const char* kTopAddrTitle = "Top Address";
inline constexpr const char* kMsgNoNewAddress = "You have not inputed a new address yet!";
inline constexpr const char* kMsgInputFormatError = "Input format error!";
inline constexpr const char* kMsgOutOfReadData = "Input address is out of read data!";

struct TopAddrView {
  std::string text;
  int maxChars = 5;  // 4 for products of type code "1"
};

class TopAddrFlow final : public ModalFlow {
public:
  TopAddrFlow(AppState& state, Prompter& prompter) : state_(state), prompter_(prompter) {}

  std::string title() const override { return kTopAddrTitle; }
  const TopAddrView& view() const { return view_; }

  // What the user typed; the edit forces upper case and takes at most maxChars characters.
  void setText(const std::string& text);
  // Accepts an address inside [readStart, readEnd] into viewTop and ends the window.
  void ok();

private:
  void onOpen() override;

  AppState& state_;
  Prompter& prompter_;
  TopAddrView view_;
  std::string initialText_;
};

}  // namespace fd
