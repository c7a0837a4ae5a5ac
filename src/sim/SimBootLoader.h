#pragma once
// The serial boot loader of the programmer's own microcontroller: what answers in place of
// the firmware while the update jumpers are set. It takes its commands strictly one after
// another, each when the one before has finished (a status read written behind a page
// program is answered once the page is programmed), and rewrites the programmer's own
// flash: three erase blocks from 0xFC000 to 0xFFFFF.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/SimFaults.h"
#include "sim/SimTarget.h"

namespace fd {

// Commands of the boot loader.
inline constexpr std::uint8_t kBootLeadIn = 0x00;
inline constexpr std::uint8_t kBootConnect = 0xB0;
inline constexpr std::uint8_t kBootIdCheck = 0xF5;
inline constexpr std::uint8_t kBootStatusRead = 0x70;
inline constexpr std::uint8_t kBootClearStatus = 0x50;
inline constexpr std::uint8_t kBootBlockErase = 0x20;
inline constexpr std::uint8_t kBootEraseConfirm = 0xD0;
inline constexpr std::uint8_t kBootPageProgram = 0x41;
// The connect byte is only understood after this many lead-in bytes.
inline constexpr std::size_t kBootLeadInCount = 16;
// Where the ID check compares its bytes.
inline constexpr std::uint32_t kBootIdAddress = 0xFFFDF;

// First status byte.
inline constexpr std::uint8_t kBootReady = 0x80;
inline constexpr std::uint8_t kBootEraseFailed = 0x20;
inline constexpr std::uint8_t kBootProgramFailed = 0x10;
// Second status byte: bits 2 and 3 tell the ID check.
inline constexpr std::uint8_t kBootIdBits = 0x0C;
inline constexpr std::uint8_t kBootIdPassed = 0x0C;
inline constexpr std::uint8_t kBootIdMismatch = 0x04;

inline constexpr SimIdCode kSimDefaultBootId = {0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3, 0xC3};

// An erase block of the programmer's own flash, in pages.
struct SimBootBlock {
  std::uint16_t startPage;
  std::uint16_t pageCount;
};
// Blocks 0, 1 and 2: 0xFF000 (4 KB), 0xFE000 (4 KB), 0xFC000 (8 KB).
const std::array<SimBootBlock, 3>& SimBootBlocks();
// True for a page of the programmer's own flash (0xFC0 to 0xFFF).
bool SimBootFlashHolds(std::uint32_t page);

namespace simtime {
inline constexpr std::uint64_t kBootCommandUs = 100;          // a command without flash work
inline constexpr std::uint64_t kBootEraseBaseUs = 50000;      // a block erase...
inline constexpr std::uint64_t kBootErasePerKbUs = 25000;     // ...and per KB of the block
inline constexpr std::uint64_t kBootProgramUs = 6000;         // one 256-byte page
}  // namespace simtime

class SimBootLoader {
public:
  using Send = std::function<void(const std::uint8_t*, std::size_t)>;
  using At = std::function<void(std::uint64_t, std::function<void()>)>;

  // `firmware` is the programmer's own flash (erased pages absent); it and the others
  // belong to the programmer and outlive every restart.
  SimBootLoader(const SimIdCode& id, SimPages& firmware, const SimBootFaults& faults, Send send, At at);
  SimBootLoader(const SimBootLoader&) = delete;
  SimBootLoader& operator=(const SimBootLoader&) = delete;

  void receive(std::uint8_t byte, std::uint64_t now);
  void restart(std::uint64_t now);  // a reset or power-up: nothing volatile kept

  bool connected() const { return connected_; }
  bool idPassed() const { return idBits_ == kBootIdPassed; }
  std::uint8_t status1() const;
  std::uint8_t status2() const { return idBits_; }

private:
  void queue(std::uint8_t command, std::vector<std::uint8_t> params, std::uint64_t now);
  void execute(std::uint8_t command, const std::vector<std::uint8_t>& params);
  std::uint64_t durationUs(std::uint8_t command, const std::vector<std::uint8_t>& params) const;
  void erase(const std::vector<std::uint8_t>& params);
  void program(const std::vector<std::uint8_t>& params);
  void apply(SimBootOutcome outcome, std::uint8_t failBit);

  const SimIdCode& id_;
  SimPages& firmware_;
  const SimBootFaults& faults_;
  Send send_;
  At at_;

  std::size_t leadIn_ = 0;
  bool connected_ = false;
  std::uint8_t idBits_ = 0;
  std::uint8_t failBits_ = 0;
  bool hung_ = false;      // the flash never came back ready
  bool silent_ = false;    // answers nothing more
  bool cutShort_ = false;  // every status answer stops after its first byte
  std::uint64_t busyUntil_ = 0;
  std::uint8_t command_ = 0;
  std::size_t needed_ = 0;
  std::vector<std::uint8_t> params_;
};

}  // namespace fd
