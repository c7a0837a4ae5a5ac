#pragma once
// One simulated programmer: its on-board store, its status and control lines, the command
// protocol it answers and the target hanging on it. Nothing runs by itself: the bench
// calls advanceTo(now) before every look at the programmer, and everything that fell due
// since (answers, progress bytes, the end of a busy period) happens then, at its own time.
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "link/Bridge.h"
#include "link/ProgrammerInfo.h"
#include "sim/SimBootLoader.h"
#include "sim/SimFaults.h"
#include "sim/SimTarget.h"

namespace fd {

// How long things take on a simulated programmer, in microseconds.
namespace simtime {
inline constexpr std::uint64_t kResetRecoveryUs = 2500;  // busy after the reset line is released
inline constexpr std::uint64_t kInfoUs = 3000;           // 'I' before the block is sent
inline constexpr std::uint64_t kConnectUs = 30000;       // 'C'
inline constexpr std::uint64_t kIdCheckUs = 10000;       // 'U'
inline constexpr std::uint64_t kAckUs = 1000;            // 'B' before its header frame
inline constexpr std::uint64_t kStoreEraseUs = 80000;    // 'D': the stored image is erased first
inline constexpr std::uint64_t kHeaderStoreUs = 20000;   // a header frame written to the store
inline constexpr std::uint64_t kDescriptorUs = 3000;     // an image descriptor frame
inline constexpr std::uint64_t kFrameCheckUs = 200;      // a frame that fails its CRC is refused
inline constexpr std::uint64_t kStoreGroupUs = 4000;     // a group of page frames written to the store
inline constexpr std::uint64_t kFinishUs = 5000;         // the end of a data transfer
inline constexpr std::uint64_t kReadUs = 3000;           // 'R' before the page is sent
// 'E': a block erase, longer for a bigger block.
inline constexpr std::uint64_t kBlockEraseBaseUs = 100000;
inline constexpr std::uint64_t kBlockErasePerKbUs = 50000;
std::uint64_t BlockEraseUs(std::uint32_t blockPages);
// A page programmed on-line, by the type code of the connected target: the host's pacing
// of on-line frames is tuned to these.
std::uint64_t OnlinePageUs(std::uint8_t typeCode);
// The Erase-Program-Verify run of 'S'.
inline constexpr std::uint64_t kEpvConnectUs = 50000;    // busy: connect, then...
inline constexpr std::uint64_t kEpvIdUs = 20000;         // ...ID check; idle from here on
inline constexpr std::uint64_t kEpvEraseUs = 1000000;
inline constexpr std::uint64_t kEpvEraseTickUs = 100000;  // one 'e' each
inline constexpr std::uint64_t kEpvProgramBaseUs = 1500000;
inline constexpr std::uint64_t kEpvProgramPageUs = 5000;
inline constexpr std::uint64_t kEpvVerifyBaseUs = 300000;
inline constexpr std::uint64_t kEpvVerifyPageUs = 1000;
// Whole run of an image of `pages` pages, from the arrival of 'S' to the 100 % byte.
std::uint64_t EpvDurationUs(std::size_t pages);
}  // namespace simtime

inline constexpr std::uint8_t kSimEraseProgress = 0x65;   // 'e': the target is being erased
inline constexpr std::uint8_t kSimDoneProgress = 0x64;    // 100 %
// The link of a freshly attached bridge: not yet what the programmer talks.
inline constexpr std::uint32_t kSimDefaultBaud = 9600;

// The USB strings a bridge reports, by selector 3, 4 and 1.
struct SimUsbStrings {
  std::string vendorId = "2f3a";
  std::string productId = "0039";
  std::string product = "Quorvel Flashdock";
  bool operator==(const SimUsbStrings&) const = default;
};

// Everything that outlives a power cycle of a programmer: what a bench file holds.
struct SimProgrammerSetup {
  SimUsbStrings usb;
  ProgrammerInfo info = FreshInfo();   // the on-board information block
  SimPages image;                      // the pages of the stored image
  SimTarget target;
  SimFaults faults;
  bool attached = true;
  bool updateJumpers = false;          // set for firmware update: the boot loader runs instead
  // A load was cut off while it rewrote the store: what is left cannot be programmed.
  bool storeDamaged = false;
  SimIdCode bootId = kSimDefaultBootId;  // what the boot loader's ID check wants
  SimPages firmware;                   // the programmer's own flash, as far as it is not erased

  static ProgrammerInfo FreshInfo();   // all 0xFF: nothing stored
};

class SimProgrammer {
public:
  explicit SimProgrammer(SimProgrammerSetup setup);
  SimProgrammer(const SimProgrammer&) = delete;
  SimProgrammer& operator=(const SimProgrammer&) = delete;

  // --- driven by the bench ---
  // Lets everything due up to `t` happen. Time never goes back.
  void advanceTo(std::uint64_t t);
  // The earliest time after now at which something may change for a reader waiting for
  // `needed` more bytes; UINT64_MAX when nothing is pending.
  std::uint64_t nextActivityUs(std::size_t needed) const;
  // Bytes from the host, leaving at `t`; returns when the last one has arrived.
  std::uint64_t hostWrite(const std::uint8_t* bytes, std::size_t count, std::uint64_t t);
  std::size_t hostAvailable() const;   // bytes the host can read now
  std::size_t hostTake(std::uint8_t* out, std::size_t max);
  void hostFlushReceive();
  bool setLines(const FlowPattern& pattern);   // false for a pattern the lines do not know
  void setBaudRate(std::uint32_t baud) { baud_ = baud; }
  void setLineControl(std::uint16_t lineControl) { lineControl_ = lineControl; }
  void powerUp(std::uint64_t t);       // plugged in: a fresh start, nothing volatile kept
  void powerDown();                    // unplugged
  std::uint64_t& bytesMoved() { return bytesMoved_; }

  // --- inspection and set-up (tests, bench files) ---
  SimProgrammerSetup& setup() { return setup_; }
  const SimProgrammerSetup& setup() const { return setup_; }
  const ProgrammerInfo& info() const { return setup_.info; }
  const SimPages& image() const { return setup_.image; }
  SimTarget& target() { return setup_.target; }
  SimFaults& faults() { return setup_.faults; }
  void setFaults(SimFaults faults) { setup_.faults = std::move(faults); }

  std::uint8_t status() const;         // the status byte as of the last advance
  bool selectMark() const { return selectMark_; }
  int resetCount() const { return resetCount_; }
  bool heldInReset() const { return resetLine_; }
  bool errorRequestActive() const { return errorLine_; }
  std::uint8_t latchedError() const { return latched_; }   // 0: none
  bool epvRunning() const { return jobRunning_; }
  bool targetConnected() const { return connected_ && idChecked_; }
  std::uint32_t baudRate() const { return baud_; }
  std::uint16_t lineControl() const { return lineControl_; }
  std::uint64_t nowUs() const { return now_; }
  // True when the store holds a setup and a complete image that 'S' can program.
  bool hasImage() const;
  bool storeDamaged() const { return setup_.storeDamaged; }
  const SimBootLoader& bootLoader() const { return boot_; }

private:
  enum class Rx { kCommand, kParams, kHeaderFrame, kDescriptorFrame, kPageFrame, kEndMark };
  struct Timed {
    std::uint8_t value;
    std::uint64_t at;
  };
  struct Transfer {
    char command = 0;                  // 'B', 'D' or 'P'
    std::uint32_t expected = 0;        // page frames the descriptor announced
    std::uint32_t received = 0;        // page frames taken so far
    std::array<std::uint8_t, info::kDescriptorSize> descriptor{};
    SimPages pages;                    // 'D': written to the store so far
    std::vector<std::pair<std::uint16_t, SimPage>> group;  // 'D': frames waiting for their group
  };

  bool linkMatches() const;
  std::uint64_t byteUs() const;
  void receive(std::uint8_t byte);
  void startCommand(std::uint8_t command);
  void runCommand();
  void handleFrame();
  void handleHeader(const std::vector<std::uint8_t>& frame, bool crcOk);
  void handleDescriptor(const std::vector<std::uint8_t>& frame, bool crcOk);
  void handlePage(const std::vector<std::uint8_t>& frame, bool crcOk);
  void handleEndMark(std::uint8_t byte);
  void writeGroup();
  void finishTransfer();
  // One stage of a command: busy for `us` plus any delay fault; then `check` gives the
  // error code (0: fine), a fault of the bench may step in, and on success `done` runs
  // and a stage that ends with a result byte sends it. `codeAsAnswer`: a failure goes out
  // as the result byte too.
  void stage(char command, std::string_view name, std::uint64_t us, std::function<std::uint8_t()> check,
             std::function<void()> done = {}, bool codeAsAnswer = false);
  bool replyLost(char command, std::string_view name) const;
  // How much of an answer of `whole` bytes goes out: all of it, or a short answer's part.
  std::size_t answerBytes(char command, std::string_view name, std::size_t whole) const;
  void work(std::uint64_t durationUs, std::function<void()> done);
  void at(std::uint64_t t, std::function<void()> fn);
  void send(const std::uint8_t* bytes, std::size_t count);
  void sendByte(std::uint8_t b) { send(&b, 1); }
  void latch(std::uint8_t code);
  std::uint8_t accessError() const;
  std::uint8_t faultCode(char command, std::string_view stage) const;
  void enterReset();
  void releaseReset();
  void clearVolatile();
  void startEpv();
  bool stuckInEpv(std::string_view stage);
  bool silentInEpv(std::string_view stage);
  void endEpv(std::uint8_t code);

  SimProgrammerSetup setup_;
  std::uint64_t now_ = 0;
  std::uint32_t baud_ = kSimDefaultBaud;
  std::uint16_t lineControl_ = kLineControl8N1;
  std::uint64_t bytesMoved_ = 0;

  // Lines and status.
  bool resetLine_ = false;
  bool errorLine_ = false;
  bool resultOk_ = true;
  bool stuck_ = false;                 // busy forever, until the next reset
  std::uint64_t busyUntil_ = 0;
  std::uint8_t latched_ = 0;
  bool selectMark_ = false;
  int resetCount_ = 0;
  bool connected_ = false;
  bool idChecked_ = false;
  std::uint8_t typeCode_ = 0;          // of the last good 'C'

  // Bytes in flight both ways, and what is scheduled.
  std::deque<Timed> inbound_;
  std::deque<Timed> outbound_;
  std::uint64_t inboundEnd_ = 0;
  std::uint64_t outboundEnd_ = 0;
  std::multimap<std::uint64_t, std::function<void()>> events_;

  // Command parsing.
  Rx rx_ = Rx::kCommand;
  char command_ = 0;
  std::size_t needed_ = 0;
  std::vector<std::uint8_t> buffer_;
  Transfer transfer_;

  // The E.P.V run.
  bool jobRunning_ = false;
  bool jobBusy_ = false;
  std::uint64_t jobId_ = 0;

  // Built last: it works on the setup above.
  SimBootLoader boot_;
};

}  // namespace fd
