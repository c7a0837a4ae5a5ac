#pragma once
// A bench of simulated programmers behind one Bridge: what the application and the tests
// talk to when no hardware is attached. Device indexes are the attached programmers in the
// order they were plugged in; a slot is a programmer's place on the bench, attached or not.
//
// A freshly opened device talks at the bridge's default rate, not at the programmer's: a
// host must set the baud rate and line control (as every opening does) before its bytes
// mean anything. Opening a device that already has an open handle is refused.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Bridge.h"
#include "sim/SimClock.h"
#include "sim/SimProgrammer.h"

namespace fd {

class SimBench;

// The result of reading a bench: a bench, or why there is none.
struct SimBenchLoad {
  std::unique_ptr<SimBench> bench;
  std::string error;
};

// The largest bench file read: eight programmers with full stores and targets fit many
// times over; anything bigger is not a bench.
inline constexpr std::uint64_t kSimBenchFileLimit = 64ull << 20;

// The most programmers a bench file holds: room for more than the eight a program drives
// (nine show "More programmers are detected."), and a bound on what a file can make us
// build.
inline constexpr std::size_t kSimBenchMaxProgrammers = 16;

// Queue status reported with the receive-queue count.
inline constexpr std::uint32_t kSimQueueEmpty = 0x00;
inline constexpr std::uint32_t kSimQueueHasData = 0x02;

class SimBench final : public Bridge {
public:
  explicit SimBench(SimClock& clock);

  // n programmers with nothing stored, each with a present, self-powered 5 V target.
  static std::unique_ptr<SimBench> fresh(std::size_t count, SimClock& clock);
  // Three programmers with products and images set up, ready for a gang run.
  static std::unique_ptr<SimBench> demo(SimClock& clock);
  // Reads a bench file; without a bench, `error` is a sentence naming the file (missing,
  // a folder, no regular file, larger than kSimBenchFileLimit, or what is wrong where in it).
  static SimBenchLoad load(const std::string& path, SimClock& clock);
  static SimBenchLoad fromJson(std::string_view text, SimClock& clock);
  // Writes the bench as it is now; the file is replaced whole or not at all (a read-only
  // bench file is refused). False with a sentence naming the file in `error`.
  bool save(const std::string& path, std::string& error);
  std::string toJson();

  // Hot-plug, usable at any time.
  std::uint32_t attach(SimProgrammerSetup setup = {});      // a new programmer; its device index
  std::optional<std::uint32_t> reattach(std::size_t slot);  // plug a known one in again
  bool detach(std::uint32_t deviceIndex);

  std::size_t programmerCount() const;
  // The programmer in `slot`, brought up to the clock's time.
  SimProgrammer& programmer(std::size_t slot);
  std::optional<std::size_t> slotOfDevice(std::uint32_t deviceIndex) const;
  std::optional<std::uint32_t> deviceIndexOf(std::size_t slot) const;
  std::vector<SimProgrammerSetup> setups();
  SimClock& clock() { return clock_; }
  std::uint32_t readTimeoutMs() const { return readTimeoutMs_; }

  int BridgeGetNumDevices(std::uint32_t& count) override;
  int BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) override;
  int BridgeOpen(std::uint32_t index, BridgeHandle& handle) override;
  int BridgeClose(BridgeHandle handle) override;
  int BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                 std::uint32_t& bytesRead) override;
  int BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                  std::uint32_t& bytesWritten) override;
  int BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) override;
  int BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override;
  int BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) override;
  int BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) override;
  int BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) override;
  int BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) override;
  int BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) override;

private:
  SimProgrammer* live(BridgeHandle handle);   // nullptr for a closed or dead handle
  std::uint64_t budget(SimProgrammer& p) const;
  bool moved(SimProgrammer& p, std::uint64_t count);  // false: the link just died
  void unplug(SimProgrammer& p);
  void vanish(SimProgrammer& p);
  std::uint32_t plug(SimProgrammer& p);

  mutable std::mutex mutex_;
  SimClock& clock_;
  std::vector<std::unique_ptr<SimProgrammer>> programmers_;  // by slot
  std::vector<SimProgrammer*> attached_;                     // by device index
  std::map<BridgeHandle, SimProgrammer*> handles_;
  BridgeHandle nextHandle_ = 1;
  std::uint32_t readTimeoutMs_ = kBridgeTimeoutMs;
  std::uint32_t writeTimeoutMs_ = kBridgeTimeoutMs;
};

}  // namespace fd
