#pragma once
// The programmer's command protocol: status lines, reset, error fetch, target connection,
// the information block and the header frame. Every operation returns 1 for success and
// 0 for failure and shows its own message; callers only stop.
#include <cstdint>
#include <string>

#include "app/AppState.h"
#include "app/Prompter.h"
#include "link/Bridge.h"
#include "link/Pacer.h"

namespace fd {

// Command bytes.
inline constexpr std::uint8_t kCmdSelect = 'L';
inline constexpr std::uint8_t kCmdInfo = 'I';
inline constexpr std::uint8_t kCmdConnect = 'C';
inline constexpr std::uint8_t kCmdIdCode = 'U';
inline constexpr std::uint8_t kCmdStart = 'S';
inline constexpr std::uint8_t kCmdErase = 'E';
inline constexpr std::uint8_t kCmdRead = 'R';
inline constexpr std::uint8_t kCmdHeader = 'B';
inline constexpr std::uint8_t kCmdHeaderData = 'D';
inline constexpr std::uint8_t kCmdProgram = 'P';
inline constexpr std::uint8_t kCmdLast = 'H';
inline constexpr std::uint8_t kMarkSelected = 0x02;
inline constexpr std::uint8_t kMarkCleared = 0x00;

// Progress bytes of the gang run.
inline constexpr std::uint8_t kProgressErasing = 0x65;
inline constexpr std::uint8_t kProgressDone = 0x64;

inline constexpr const char* kMsgTimeOut = "Time out error!";
inline constexpr const char* kMsgUnknownError = "Unknown error!";
inline constexpr const char* kMsgCannotReset = "Can not reset the programmer!";
inline constexpr const char* kMsgNoProduct = "No product is selected.";
inline constexpr const char* kMsgCrcError = "CRC code check error!";

// Message of a programmer error code ("Unknown error!" for codes it does not know).
std::string ProgrammerErrorText(std::uint8_t code);

class Protocol {
public:
  Protocol(AppState& state, Bridge& bridge, Pacer& pacer, Prompter& prompter);

  int WaitStatusLine(BridgeHandle handle, std::uint8_t mask, int polls);
  int ResetProgrammer(BridgeHandle handle, int sendMark);
  int ShowProgrammerError(BridgeHandle handle);
  int ConnectTarget(BridgeHandle handle);
  int ReadProgrammerInfo(BridgeHandle handle);
  int WriteProgrammerHeader(BridgeHandle handle, int dataFollows);

  // How a failed read of the result byte is reported at the end of a handshake.
  enum class SilentRead { Yes, No };
  // Busy clear within `busyLimit` polls, result bit set, result byte 0.
  int CompletionHandshake(BridgeHandle handle, int busyLimit, SilentRead silentRead);

  // 'L' with the given mark as one two-byte write; the result is the bridge status.
  int WriteSelectMark(BridgeHandle handle, std::uint8_t mark);
  // One write of the bytes; 1 when all went out.
  int WriteBytes(BridgeHandle handle, const std::uint8_t* bytes, std::uint32_t count);
  // One read of exactly `count` bytes; 1 when all arrived.
  int ReadBytes(BridgeHandle handle, std::uint8_t* bytes, std::uint32_t count);

  Bridge& bridge() { return bridge_; }
  Pacer& pacer() { return pacer_; }
  Prompter& prompter() { return prompter_; }
  AppState& state() { return state_; }

private:
  AppState& state_;
  Bridge& bridge_;
  Pacer& pacer_;
  Prompter& prompter_;
};

}  // namespace fd
