#pragma once
// The ID Setting window without its widgets: the 7-byte ID code entered as 14 hex digits
// or as a text of up to 7 characters, stored where the Single Operation window's mode
// keeps its settings (on-line: the settings file and the process state; off-line: the
// programmer's information block, which the caller then writes to the programmer).
#include <string>
#include <string_view>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "app/SettingsFile.h"
#include "flows/common/ModalFlow.h"
#include "flows/single/IdCodeSetView.h"

namespace fd {

inline constexpr const char* kIdTitle = "ID Setting";
inline constexpr const char* kIdPromptText = "Please input 7 bytes ID code";
inline constexpr const char* kIdStringCaption = "Input string";
inline constexpr const char* kIdOkCaption = "&OK";
// Put in the edit when string input is chosen: a literal example of 7 characters.
inline constexpr const char* kIdStringPlaceholder = "TagCode";
inline constexpr std::size_t kIdHexLength = 14;
inline constexpr std::size_t kIdStringLength = 7;

inline constexpr const char* kMsgNoIdInput = "You haven't input ID yet!";
inline constexpr const char* kMsgIdNotHex = "Please input with HEX format!";
inline constexpr const char* kMsgIdIncompleteByte = "Please input with completed byte!";
inline constexpr const char* kMsgIdFillQuestion = "Input ID < 7 bytes.\nUse 0xC3 to fill higher bytes?";

// What OK makes of an entry, before any question is asked.
struct IdEntry {
  enum class Check {
    Ok,
    Empty,           // nothing typed
    NotHex,          // hex input with a character that is no hex digit (after leading spaces)
    IncompleteByte,  // hex input of an odd length
    TooLong,         // more than the edit holds (14 characters, or 7 in string input)
  };
  Check check = Check::Ok;
  bool shortEntry = false;  // fewer than 7 bytes: the rest comes from the default ID code
  IdCode code{};            // the default ID code with its last bytes replaced by the entry
};
// Hex input reads the text in pairs from the left (leading spaces count as characters and
// read as 0, as the window's edit has them); string input takes the character codes.
IdEntry ReadIdEntry(std::string_view text, bool stringInput);

class IdCodeSetFlow final : public ModalFlow {
public:
  using View = IdCodeSetView;
  IdCodeSetFlow(AppState& state, Prompter& prompter);

  std::string title() const override { return kIdTitle; }
  using ModalFlow::open;

  // The "Input string" box: on, the edit takes 7 characters and shows the placeholder;
  // off, it takes 14 and shows the ID text the window opened with.
  void setStringInput(bool on);
  // The user typed: the edit keeps what it can hold.
  void setText(std::string_view text);
  // Validates, asks about a short entry, stores it and ends the window with OK; false
  // (the window stays, nothing stored) when the entry was refused or the question
  // answered No.
  bool ok();

  const View& view() const { return view_; }

private:
  void onOpen() override;
  void focusEdit();

  AppState& state_;
  Prompter& prompter_;
  SettingsFile settings_;
  std::string idText_;  // what the window opened with
  View view_;
};

}  // namespace fd
