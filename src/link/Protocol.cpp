#include "link/Protocol.h"

#include <algorithm>
#include <array>

#include "link/Crc16.h"

namespace fd {

std::string ProgrammerErrorText(std::uint8_t code) {
  switch (code) {
    case 0x12: return "Verify error of communication between PC and the programmer!";
    case 0x13: return "Program the target with verify error!";
    case 0x22: return "Can not erase the on-board external flash!";
    case 0x23: return "Can not write to the on-board external flash!";
    case 0x32:
    case 0x70: return "No target is connected!";
    case 0x33: return "Target is not powered!";
    case 0x34: return "Detected power is not match to the setting value!";
    case 0x35: return "Can not set the new baud rate to the target!";
    case 0x40: return "ID code is not match!";
    case 0x50: return "Can not erase the target!";
    case 0x60: return "Program to the target end with error!";
    case 0x80: return "Target power is short cut!";
    default: return kMsgUnknownError;
  }
}

Protocol::Protocol(AppState& state, Bridge& bridge, Pacer& pacer, Prompter& prompter)
    : state_(state), bridge_(bridge), pacer_(pacer), prompter_(prompter) {}

int Protocol::WaitStatusLine(BridgeHandle handle, std::uint8_t mask, int polls) {
  for (int i = 0; i < polls; ++i) {
    std::uint8_t status = 0;
    // A failed status read counts as a poll that did not see the bits clear.
    if (bridge_.BridgeGetModemStatus(handle, status) == kBridgeOk && (status & mask) == 0) return 1;
    pacer_.spin(kPollSpin);
  }
  return 0;
}

int Protocol::WriteBytes(BridgeHandle handle, const std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t written = 0;
  return bridge_.BridgeWrite(handle, bytes, count, written) == kBridgeOk && written == count ? 1 : 0;
}

int Protocol::ReadBytes(BridgeHandle handle, std::uint8_t* bytes, std::uint32_t count) {
  std::uint32_t got = 0;
  return bridge_.BridgeRead(handle, bytes, count, got) == kBridgeOk && got == count ? 1 : 0;
}

int Protocol::WriteSelectMark(BridgeHandle handle, std::uint8_t mark) {
  const std::uint8_t frame[2] = {kCmdSelect, mark};
  std::uint32_t written = 0;
  return bridge_.BridgeWrite(handle, frame, 2, written);
}

int Protocol::ResetProgrammer(BridgeHandle handle, int sendMark) {
  bool ok = bridge_.BridgeSetFlowControl(handle, kResetLine) == kBridgeOk;
  if (ok) {
    pacer_.spin(kResetSpin);
    ok = bridge_.BridgeSetFlowControl(handle, kLinesReleased) == kBridgeOk;
  }
  if (ok) {
    ok = false;
    for (int i = 0; i < 500; ++i) {
      std::uint8_t status = 0;
      if (bridge_.BridgeGetModemStatus(handle, status) == kBridgeOk && (status & kBusyBit) == 0) {
        ok = true;
        break;
      }
      pacer_.spin(kPollSpin);
    }
  }
  if (ok && sendMark == 1) ok = WriteSelectMark(handle, kMarkSelected) == kBridgeOk;
  if (!ok) {
    prompter_.error(kMsgCannotReset);
    return 0;
  }
  state_.targetConnected = 0;
  return 1;
}

int Protocol::ShowProgrammerError(BridgeHandle handle) {
  bridge_.BridgeFlushBuffers(handle, 1, 1);
  std::uint8_t code = 0;
  bool got = bridge_.BridgeSetFlowControl(handle, kErrorRequestLine) == kBridgeOk;
  got = got && ReadBytes(handle, &code, 1) == 1;
  prompter_.error(got ? ProgrammerErrorText(code) : std::string(kMsgUnknownError));
  return ResetProgrammer(handle, 0);
}

int Protocol::CompletionHandshake(BridgeHandle handle, int busyLimit, SilentRead silentRead) {
  if (!WaitStatusLine(handle, kBusyBit, busyLimit)) {
    prompter_.error(kMsgTimeOut);
    return 0;
  }
  // A result bit that reads clear on either poll means an error code is waiting.
  if (WaitStatusLine(handle, kResultBit, 2)) {
    ShowProgrammerError(handle);
    return 0;
  }
  std::uint8_t result = 0;
  if (!ReadBytes(handle, &result, 1)) {
    if (silentRead == SilentRead::No) prompter_.error(kMsgUnknownError);
    return 0;
  }
  if (result != 0) {
    prompter_.error(kMsgUnknownError);
    return 0;
  }
  return 1;
}

int Protocol::ConnectTarget(BridgeHandle handle) {
  if (state_.productNotSelected()) {
    prompter_.warning(kMsgNoProduct);
    return 0;
  }
  bridge_.BridgeFlushBuffers(handle, 1, 1);
  const std::uint8_t connect[5] = {kCmdSelect, kMarkSelected, kCmdConnect,
                                   static_cast<std::uint8_t>(state_.mcuTypeCode), state_.powerSet};
  for (std::uint8_t byte : connect) {
    if (!WriteBytes(handle, &byte, 1)) return 0;
  }
  if (!CompletionHandshake(handle, 5000, SilentRead::Yes)) return 0;
  const std::uint8_t id = kCmdIdCode;
  if (!WriteBytes(handle, &id, 1)) return 0;
  if (!WriteBytes(handle, state_.idCode.data(), static_cast<std::uint32_t>(state_.idCode.size()))) return 0;
  if (!CompletionHandshake(handle, 2000, SilentRead::Yes)) return 0;
  state_.targetConnected = 1;
  return 1;
}

int Protocol::ReadProgrammerInfo(BridgeHandle handle) {
  bridge_.BridgeFlushBuffers(handle, 1, 1);
  const std::uint8_t command = kCmdInfo;
  ProgrammerInfo block{};
  const bool ok = WriteBytes(handle, &command, 1) && WaitStatusLine(handle, kBusyBit, 20) &&
                  ReadBytes(handle, block.data(), kInfoSize);
  if (!ok) {
    bridge_.BridgeClose(handle);
    return 0;
  }
  // Only a whole block replaces the one the windows show; half a block would mislead them.
  state_.programmerInfo = block;
  return 1;
}

int Protocol::WriteProgrammerHeader(BridgeHandle handle, int dataFollows) {
  bridge_.BridgeFlushBuffers(handle, 1, 1);
  const std::uint8_t command = dataFollows ? kCmdHeaderData : kCmdHeader;
  if (!WriteBytes(handle, &command, 1)) return 0;
  if (!CompletionHandshake(handle, 1000, SilentRead::Yes)) return 0;

  std::array<std::uint8_t, 2 + info::kHeaderSize> frame{};
  const std::uint16_t crc = Crc16(state_.programmerInfo.data(), info::kHeaderSize);
  frame[0] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[1] = static_cast<std::uint8_t>(crc >> 8);
  std::copy_n(state_.programmerInfo.begin(), info::kHeaderSize, frame.begin() + 2);
  if (!WriteBytes(handle, frame.data(), 2)) return 0;
  if (!WriteBytes(handle, frame.data() + 2, info::kHeaderSize)) return 0;

  if (!WaitStatusLine(handle, kBusyBit, 200)) {
    prompter_.error(kMsgTimeOut);
    return 0;
  }
  std::uint8_t result = 0;
  const bool gotResult = ReadBytes(handle, &result, 1) == 1;
  if (WaitStatusLine(handle, kResultBit, 2)) {
    ShowProgrammerError(handle);
    return 0;
  }
  // A missing result byte with the result bit set says nothing about what was stored;
  // it fails without a message, as the other silent reads of a command do.
  if (!gotResult) return 0;
  if (result != 0) {
    prompter_.error(kMsgUnknownError);
    return 0;
  }
  return 1;
}

}  // namespace fd
