#pragma once
// The programmer's one-byte error codes and every text each one is told with: the windows'
// error message, the main list's status cell, the result view's information cell and the
// gang record's text. One row a code, so a code and its words never drift apart.
#include <cstdint>
#include <string>
#include <utility>

namespace fd {

inline constexpr const char* kMsgTimeOut = "Time out error!";
inline constexpr const char* kMsgUnknownError = "Unknown error!";
inline constexpr const char* kMsgCannotReset = "Can not reset the programmer!";
inline constexpr const char* kMsgNoProduct = "No product is selected.";
inline constexpr const char* kMsgCrcError = "CRC code check error!";

// The codes a programmer latches and hands out on the error-request line; `None` is the
// gang result of a programmer that finished without error.
enum class ProgrammerError : std::uint8_t {
  None = 0x00,
  LinkCrc = 0x12,         // a frame from the host failed its CRC
  TargetVerify = 0x13,    // the target did not verify after programming
  StoreErase = 0x22,      // the on-board store cannot be erased
  StoreWrite = 0x23,      // the on-board store cannot be written
  NoTarget = 0x32,
  NotPowered = 0x33,
  PowerMismatch = 0x34,
  BaudRate = 0x35,        // the target did not take the new baud rate
  IdMismatch = 0x40,
  TargetErase = 0x50,
  Program = 0x60,
  NoTargetLate = 0x70,    // no target, seen after the connect
  PowerShortCut = 0x80,
};

constexpr std::uint8_t CodeOf(ProgrammerError error) { return static_cast<std::uint8_t>(error); }

// One code's texts. A code outside the table has `known` false and the texts of an unknown
// code (the result view shows it as a cancelled run, as it shows "no result").
struct ProgrammerErrorTexts {
  std::uint8_t code = 0xFF;
  bool known = false;
  const char* message;      // the windows' error message (and the command line's)
  const char* status;       // the main list's status cell, while running and in the results
  const char* information;  // the result view's information cell
  const char* history;      // the gang record's result text
};

const ProgrammerErrorTexts& ProgrammerErrorTextsOf(std::uint8_t code);
inline const ProgrammerErrorTexts& ProgrammerErrorTextsOf(ProgrammerError error) {
  return ProgrammerErrorTextsOf(CodeOf(error));
}

// Message of a programmer error code ("Unknown error!" for codes it does not know).
std::string ProgrammerErrorText(std::uint8_t code);
// The result view's two cells of a gang result code: status, information.
std::pair<std::string, std::string> ProgrammerResultTexts(std::uint8_t code);
// The gang record's text of a result code.
std::string ProgrammerHistoryText(std::uint8_t code);

}  // namespace fd
