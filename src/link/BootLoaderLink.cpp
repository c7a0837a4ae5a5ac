#include "link/BootLoaderLink.h"

namespace fd {
namespace {
constexpr std::uint32_t kConnectAnswerBytes = 3;
constexpr std::uint32_t kStatusBytes = 2;
}  // namespace

BootLoaderLink::BootLoaderLink(Bridge& bridge, Pacer& pacer, BridgeHandle handle)
    : bridge_(bridge), pacer_(pacer), handle_(handle) {}

bool BootLoaderLink::write(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t written = 0;
  const int status = bridge_.BridgeWrite(handle_, bytes.data(), static_cast<std::uint32_t>(bytes.size()), written);
  return status == kBridgeOk && written == bytes.size();
}

std::uint32_t BootLoaderLink::read(std::uint8_t* buffer, std::uint32_t count) {
  std::uint32_t got = 0;
  bridge_.BridgeRead(handle_, buffer, count, got);
  return got < count ? got : count;
}

bool BootLoaderLink::JumpersSet(int reads) {
  for (int i = 0; i < reads; ++i) {
    std::uint8_t status = 0;
    if (bridge_.BridgeGetModemStatus(handle_, status) != kBridgeOk || (status & kBusyBit) == 0) return false;
  }
  return true;
}

bool BootLoaderLink::SendLeadIn() { return write({boot::kLeadIn}); }
bool BootLoaderLink::SendConnect() { return write({boot::kConnect}); }
bool BootLoaderLink::SendIdCheck() { return write(boot::IdCheckFrame()); }
bool BootLoaderLink::AskStatus() { return write({boot::kStatusRead}); }
bool BootLoaderLink::SendBlockErase(std::uint16_t page) { return write(boot::BlockEraseFrame(page)); }

BootConnect BootLoaderLink::ReadConnectAnswer() {
  std::uint8_t answer[kConnectAnswerBytes] = {};
  if (read(answer, kConnectAnswerBytes) < kConnectAnswerBytes || answer[0] != boot::kConnect) {
    return BootConnect::NoAnswer;
  }
  return boot::IdPassed(answer[2]) ? BootConnect::Connected : BootConnect::IdRefused;
}

BootStatus BootLoaderLink::ReadEraseStatus() {
  std::uint8_t status[kStatusBytes] = {};
  const std::uint32_t got = read(status, kStatusBytes);
  if (got == 0) return BootStatus::NoAnswer;
  if (got < kStatusBytes || !boot::IsReady(status[0])) return BootStatus::NotReady;
  return boot::EraseFailed(status[0]) ? BootStatus::Failed : BootStatus::Done;
}

BootPage BootLoaderLink::ProgramPage(std::uint16_t page,
                                     const std::optional<std::array<std::uint8_t, boot::kPageBytes>>& data) {
  bridge_.BridgeFlushBuffers(handle_, 1, 1);
  // A page that did not go out whole is not programmed, whatever the status says.
  if (!data || !write(boot::PageProgramFrame(page, *data))) return BootPage::NotSent;
  pacer_.spin(boot::kAfterPageSpin);
  write({boot::kStatusRead});
  pacer_.spin(boot::kAfterStatusReadSpin);
  std::uint8_t status[kStatusBytes] = {};
  if (read(status, kStatusBytes) < kStatusBytes) return BootPage::NoAnswer;
  if (!boot::IsReady(status[0])) return BootPage::NotReady;
  if (boot::ProgramFailed(status[0])) return BootPage::Failed;
  return BootPage::Done;
}

}  // namespace fd
