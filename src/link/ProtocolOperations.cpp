// The named exchanges of the ports, the gang run, the data transfer, erase and read. Each
// sends exactly what the window that used to drive the bridge itself sent, in its order.
#include <algorithm>

#include "link/Frames.h"
#include "link/Protocol.h"

namespace fd {

std::optional<std::uint32_t> Protocol::CountProgrammers() {
  std::uint32_t count = 0;
  if (bridge_.BridgeGetNumDevices(count) != kBridgeOk) return std::nullopt;
  return count;
}

bool Protocol::IsOurProgrammer(std::uint32_t index) {
  std::string joined;
  for (std::uint8_t selector : kProductSelectors) {
    std::string text;
    if (bridge_.BridgeGetProductString(index, text, selector) != kBridgeOk) return false;
    joined += text;
  }
  return joined == kProgrammerProductId;
}

OpenedProgrammer Protocol::OpenProgrammer(std::uint32_t index, std::uint32_t baud) {
  OpenedProgrammer opened;
  if (bridge_.BridgeOpen(index, opened.handle) != kBridgeOk) {
    return {kNoHandle, OpenedProgrammer::Failure::CannotOpen};
  }
  bridge_.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
  if (bridge_.BridgeSetBaudRate(opened.handle, baud) != kBridgeOk ||
      bridge_.BridgeSetLineControl(opened.handle, kLineControl8N1) != kBridgeOk) {
    bridge_.BridgeClose(opened.handle);
    return {kNoHandle, OpenedProgrammer::Failure::LineSettings};
  }
  return opened;
}

void Protocol::CloseProgrammer(BridgeHandle handle) { bridge_.BridgeClose(handle); }

void Protocol::HoldInReset(BridgeHandle handle) { bridge_.BridgeSetFlowControl(handle, kResetLine); }

std::string Protocol::ProductStrings(std::uint32_t index) {
  std::string joined;
  for (std::uint8_t selector : kProductSelectors) {
    std::string text;
    if (bridge_.BridgeGetProductString(index, text, selector) == kBridgeOk) joined += text;
  }
  return joined;
}

std::optional<std::uint8_t> Protocol::ReadStatus(BridgeHandle handle) {
  std::uint8_t status = 0;
  if (bridge_.BridgeGetModemStatus(handle, status) != kBridgeOk) return std::nullopt;
  return status;
}

bool Protocol::DriveResetLine(BridgeHandle handle, bool driven) {
  return bridge_.BridgeSetFlowControl(handle, driven ? kResetLine : kLinesReleased) == kBridgeOk;
}

bool Protocol::StartGang(BridgeHandle handle) {
  const std::uint8_t start = kCmdStart;
  return WriteSelectMark(handle, kMarkSelected) == kBridgeOk && WriteBytes(handle, &start, 1);
}

GangPoll Protocol::PollGang(BridgeHandle handle) {
  if (!WaitStatusLine(handle, kBusyBit, 2)) {
    // A programmer that no longer answers at all has gone (unplugged).
    std::uint8_t status = 0;
    if (bridge_.BridgeGetModemStatus(handle, status) != kBridgeOk) return {GangPoll::Kind::Gone};
    return {GangPoll::Kind::Busy};
  }
  if (WaitStatusLine(handle, kResultBit, 2)) {
    // No reset here: the caller holds the programmer in reset like every finished one.
    return {GangPoll::Kind::Error, ReadErrorCode(handle).value_or(0xFF)};
  }
  std::uint32_t queued = 0, queueStatus = 0;
  if (bridge_.BridgeCheckRxQueue(handle, queued, queueStatus) != kBridgeOk || queued == 0) {
    return {GangPoll::Kind::Quiet};
  }
  std::uint8_t buffer[kMaxProgressBytes];
  std::uint32_t got = 0;
  const int status = bridge_.BridgeRead(handle, buffer, std::min(queued, kMaxProgressBytes), got);
  if (status != kBridgeOk || got == 0) return {GangPoll::Kind::Lost};
  return {GangPoll::Kind::Progress, buffer[std::min(got, kMaxProgressBytes) - 1]};
}

GroupReady Protocol::WaitReadyForGroup(BridgeHandle handle, int polls) {
  for (int poll = 0; poll < polls; ++poll) {
    std::uint8_t status = 0;
    // A failed read counts as a poll that did not see the programmer idle.
    if (bridge_.BridgeGetModemStatus(handle, status) == kBridgeOk && (status & kBusyBit) == 0) {
      // The result bit of this very read, and of one more at once: at two frames a tick
      // the programmer's store leaves no millisecond for a pause between the two. An error
      // that comes up later is found before the next group or at the final answer.
      if ((status & kResultBit) == 0) return GroupReady::Error;
      std::uint8_t again = 0;
      if (bridge_.BridgeGetModemStatus(handle, again) == kBridgeOk && (again & kResultBit) == 0) {
        return GroupReady::Error;
      }
      return GroupReady::Yes;
    }
    pacer_.spin(kPollSpin);
  }
  return GroupReady::TimedOut;
}

bool Protocol::SendErase(BridgeHandle handle, std::uint16_t page) {
  const std::uint8_t command = kCmdErase;
  const std::uint8_t number[2] = {static_cast<std::uint8_t>(page & 0xFF), static_cast<std::uint8_t>(page >> 8)};
  return WriteBytes(handle, &command, 1) && WriteBytes(handle, number, 2);
}

EraseState Protocol::PollErase(BridgeHandle handle) {
  if (!WaitStatusLine(handle, kBusyBit, 2)) return EraseState::Busy;
  if (WaitStatusLine(handle, kResultBit, 2)) return EraseState::ErrorWaiting;
  std::uint8_t result = 0xFF;
  if (!ReadBytes(handle, &result, 1)) return EraseState::NoResult;
  return result == 0 ? EraseState::Done : EraseState::Failed;
}

PageRead Protocol::ReadPage(BridgeHandle handle, std::uint16_t page, int busyPolls, std::uint8_t* answer) {
  // Whatever a late answer left in the receive buffer must never be taken for this page.
  bridge_.BridgeFlushBuffers(handle, 0, 1);
  const std::uint8_t command = kCmdRead;
  const std::uint8_t number[2] = {static_cast<std::uint8_t>(page & 0xFF), static_cast<std::uint8_t>(page >> 8)};
  if (!WriteBytes(handle, &command, 1) || !WriteBytes(handle, number, 2)) return PageRead::NotSent;
  if (!WaitStatusLine(handle, kBusyBit, busyPolls)) return PageRead::TimedOut;
  if (WaitStatusLine(handle, kResultBit, 2)) return PageRead::ErrorWaiting;
  if (!ReadBytes(handle, answer, 2) || !ReadBytes(handle, answer + 2, static_cast<std::uint32_t>(kPageBytes))) return PageRead::NoAnswer;
  return PageRead::Ok;
}

}  // namespace fd
