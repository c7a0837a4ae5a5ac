// The bytes the boot loader sends back during a firmware update, through each step of its
// dialogue in the order an update takes them (the steps go on whatever the answers, so each
// answer is read in every state the one before can leave).
#include "FuzzSupport.h"
#include "link/BootLoaderLink.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ScriptedBridge bridge(data, size);
  fuzz::NoWaitPacer pacer;
  BridgeHandle handle = kNoHandle;
  FUZZ_CHECK(bridge.BridgeOpen(0, handle) == kBridgeOk);
  BootLoaderLink link(bridge, pacer, handle);

  (void)link.JumpersSet(3);
  (void)link.SendLeadIn();
  (void)link.SendConnect();
  (void)link.ReadConnectAnswer();
  (void)link.SendIdCheck();
  (void)link.ReadConnectAnswer();
  for (const std::uint16_t page : boot::kBlockPages) {
    (void)link.SendBlockErase(page);
    (void)link.AskStatus();
    (void)link.ReadEraseStatus();
  }
  std::array<std::uint8_t, boot::kPageBytes> bytes{};
  for (std::uint16_t page = boot::kFirstFirmwarePage; page <= boot::kLastFirmwarePage && !bridge.exhausted(); ++page) {
    bytes.fill(static_cast<std::uint8_t>(page));
    (void)link.ProgramPage(page, page % 7 == 0 ? std::nullopt : std::optional(bytes));
  }
  return 0;
}
