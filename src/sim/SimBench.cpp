#include "sim/SimBench.h"

#include <algorithm>
#include <limits>

#include "formats/FileIo.h"
#include "sim/SimBenchFile.h"

namespace fd {

namespace {
constexpr std::uint64_t kUnlimited = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint32_t kMinBaud = 300;
constexpr std::uint32_t kMaxBaud = 3000000;
constexpr std::size_t kMaxProductString = 255;
}  // namespace

SimBench::SimBench(SimClock& clock) : clock_(clock) {}

std::unique_ptr<SimBench> SimBench::fresh(std::size_t count, SimClock& clock) {
  auto bench = std::make_unique<SimBench>(clock);
  for (std::size_t i = 0; i < count; ++i) bench->attach();
  return bench;
}

SimBenchLoad SimBench::fromJson(std::string_view text, SimClock& clock) {
  SimBenchLoad result;
  auto setups = ParseSimBench(text, result.error);
  if (!setups) return result;
  result.bench = std::make_unique<SimBench>(clock);
  for (SimProgrammerSetup& s : *setups) {
    const bool attached = s.attached;
    result.bench->programmers_.push_back(std::make_unique<SimProgrammer>(std::move(s)));
    SimProgrammer& p = *result.bench->programmers_.back();
    if (attached) {
      result.bench->plug(p);
    } else {
      p.powerDown();
    }
  }
  return result;
}

SimBenchLoad SimBench::load(const std::string& path, SimClock& clock) {
  std::string text;
  // Regular files only: a FIFO, a device or a folder in the bench file's place is refused
  // at once, as is a file too large to be a bench.
  const FileResult read = FileIo::readAll(path, text, kSimBenchFileLimit);
  if (!read) return {nullptr, read.error};
  SimBenchLoad result = fromJson(text, clock);
  if (!result.bench) result.error = "The bench file \"" + path + "\" cannot be used: " + result.error + ".";
  return result;
}

std::string SimBench::toJson() { return FormatSimBench(setups()); }

bool SimBench::save(const std::string& path, std::string& error) {
  // A crash or a full disk never leaves a half-written bench behind, and a bench file the
  // user made read-only stays as it is.
  const FileResult written = FileIo::replace(path, toJson());
  if (!written) error = written.error;
  return written.ok;
}

// ---------------------------------------------------------------- hot-plug

std::uint32_t SimBench::plug(SimProgrammer& p) {
  p.setup().attached = true;
  p.powerUp(clock_.nowUs());
  attached_.push_back(&p);
  return static_cast<std::uint32_t>(attached_.size() - 1);
}

void SimBench::unplug(SimProgrammer& p) {
  p.advanceTo(clock_.nowUs());
  attached_.erase(std::remove(attached_.begin(), attached_.end(), &p), attached_.end());
  // Its handles die with it and stay dead, even when it comes back.
  for (auto it = handles_.begin(); it != handles_.end();) {
    it = it->second == &p ? handles_.erase(it) : std::next(it);
  }
  p.powerDown();
  p.setup().attached = false;
}

std::uint32_t SimBench::attach(SimProgrammerSetup setup) {
  std::lock_guard lock(mutex_);
  programmers_.push_back(std::make_unique<SimProgrammer>(std::move(setup)));
  return plug(*programmers_.back());
}

std::optional<std::uint32_t> SimBench::reattach(std::size_t slot) {
  std::lock_guard lock(mutex_);
  if (slot >= programmers_.size()) return std::nullopt;
  SimProgrammer& p = *programmers_[slot];
  if (std::find(attached_.begin(), attached_.end(), &p) != attached_.end()) return std::nullopt;
  return plug(p);
}

bool SimBench::detach(std::uint32_t deviceIndex) {
  std::lock_guard lock(mutex_);
  if (deviceIndex >= attached_.size()) return false;
  unplug(*attached_[deviceIndex]);
  return true;
}

std::size_t SimBench::programmerCount() const {
  std::lock_guard lock(mutex_);
  return programmers_.size();
}

SimProgrammer& SimBench::programmer(std::size_t slot) {
  std::lock_guard lock(mutex_);
  SimProgrammer& p = *programmers_.at(slot);
  p.advanceTo(clock_.nowUs());
  return p;
}

std::optional<std::size_t> SimBench::slotOfDevice(std::uint32_t deviceIndex) const {
  std::lock_guard lock(mutex_);
  if (deviceIndex >= attached_.size()) return std::nullopt;
  for (std::size_t i = 0; i < programmers_.size(); ++i) {
    if (programmers_[i].get() == attached_[deviceIndex]) return i;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> SimBench::deviceIndexOf(std::size_t slot) const {
  std::lock_guard lock(mutex_);
  if (slot >= programmers_.size()) return std::nullopt;
  const auto it = std::find(attached_.begin(), attached_.end(), programmers_[slot].get());
  if (it == attached_.end()) return std::nullopt;
  return static_cast<std::uint32_t>(it - attached_.begin());
}

std::vector<SimProgrammerSetup> SimBench::setups() {
  std::lock_guard lock(mutex_);
  std::vector<SimProgrammerSetup> all;
  for (auto& p : programmers_) {
    p->advanceTo(clock_.nowUs());
    all.push_back(p->setup());
  }
  return all;
}

// ---------------------------------------------------------------- the bridge

SimProgrammer* SimBench::live(BridgeHandle handle) {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return nullptr;
  it->second->advanceTo(clock_.nowUs());
  return it->second;
}

std::uint64_t SimBench::budget(SimProgrammer& p) const {
  const auto& limit = p.setup().faults.linkLostAfter;
  if (!limit) return kUnlimited;
  return *limit > p.bytesMoved() ? *limit - p.bytesMoved() : 0;
}

bool SimBench::moved(SimProgrammer& p, std::uint64_t count) {
  p.bytesMoved() += count;
  auto& limit = p.setup().faults.linkLostAfter;
  if (!limit || p.bytesMoved() < *limit) return true;
  vanish(p);
  return false;
}

void SimBench::vanish(SimProgrammer& p) {
  // The cable is gone: the programmer drops off the bus. The fault is spent, so plugging
  // it in again brings back a working programmer.
  p.setup().faults.linkLostAfter.reset();
  unplug(p);
}

int SimBench::BridgeGetNumDevices(std::uint32_t& count) {
  std::lock_guard lock(mutex_);
  count = static_cast<std::uint32_t>(attached_.size());
  return kBridgeOk;
}

int SimBench::BridgeGetProductString(std::uint32_t index, std::string& text, std::uint8_t selector) {
  std::lock_guard lock(mutex_);
  text.clear();
  if (index >= attached_.size()) return kBridgeDeviceNotFound;
  if (attached_[index]->setup().faults.refuses("productString")) return kBridgeSystemError;
  const SimUsbStrings& usb = attached_[index]->setup().usb;
  switch (selector) {
    case 3: text = usb.vendorId; break;
    case 4: text = usb.productId; break;
    case 1: text = usb.product; break;
    default: return kBridgeInvalidParameter;
  }
  if (text.size() > kMaxProductString) text.resize(kMaxProductString);
  return kBridgeOk;
}

int SimBench::BridgeOpen(std::uint32_t index, BridgeHandle& handle) {
  std::lock_guard lock(mutex_);
  handle = kNoHandle;
  if (index >= attached_.size()) return kBridgeDeviceNotFound;
  SimProgrammer* p = attached_[index];
  if (p->setup().faults.refuses("open")) return kBridgeSystemError;
  for (const auto& [h, owner] : handles_) {
    if (owner == p) return kBridgeSystemError;
  }
  handle = nextHandle_++;
  handles_[handle] = p;
  return kBridgeOk;
}

int SimBench::BridgeClose(BridgeHandle handle) {
  std::lock_guard lock(mutex_);
  return handles_.erase(handle) == 1 ? kBridgeOk : kBridgeInvalidHandle;
}

int SimBench::BridgeRead(BridgeHandle handle, std::uint8_t* buffer, std::uint32_t count,
                         std::uint32_t& bytesRead) {
  std::unique_lock lock(mutex_);
  bytesRead = 0;
  if (live(handle) == nullptr) return kBridgeInvalidHandle;
  if (count > 0 && buffer == nullptr) return kBridgeInvalidParameter;
  const std::uint64_t deadline = clock_.nowUs() + std::uint64_t{readTimeoutMs_} * 1000;
  for (;;) {
    SimProgrammer* p = live(handle);
    if (p == nullptr) return kBridgeReadError;  // vanished while we waited
    const std::uint64_t room = std::min<std::uint64_t>(count - bytesRead, budget(*p));
    if (room == 0 && bytesRead < count) {
      vanish(*p);
      return kBridgeReadError;
    }
    const std::size_t got = p->hostTake(buffer + bytesRead, room);
    bytesRead += static_cast<std::uint32_t>(got);
    if (!moved(*p, got)) return bytesRead == count ? kBridgeOk : kBridgeReadError;
    if (bytesRead == count) return kBridgeOk;
    const std::uint64_t now = clock_.nowUs();
    if (now >= deadline) return kBridgeReadTimedOut;
    const std::uint64_t next = std::min(p->nextActivityUs(count - bytesRead), deadline);
    lock.unlock();
    clock_.sleepUntilUs(next);
    lock.lock();
  }
}

int SimBench::BridgeWrite(BridgeHandle handle, const std::uint8_t* buffer, std::uint32_t count,
                          std::uint32_t& bytesWritten) {
  std::unique_lock lock(mutex_);
  bytesWritten = 0;
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  if (count > 0 && buffer == nullptr) return kBridgeInvalidParameter;
  const std::uint64_t n = std::min<std::uint64_t>(count, budget(*p));
  if (n == 0 && count > 0) {
    vanish(*p);
    return kBridgeWriteError;
  }
  const std::uint64_t end = p->hostWrite(buffer, n, clock_.nowUs());
  // The call returns once the bytes are on the wire.
  lock.unlock();
  clock_.sleepUntilUs(end);
  lock.lock();
  p = live(handle);
  if (p == nullptr) return kBridgeWriteError;
  bytesWritten = static_cast<std::uint32_t>(n);
  moved(*p, n);
  return n == count ? kBridgeOk : kBridgeWriteError;
}

int SimBench::BridgeFlushBuffers(BridgeHandle handle, std::uint8_t flushTransmit, std::uint8_t flushReceive) {
  std::lock_guard lock(mutex_);
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  // Writes return only once their bytes are out, so there is never anything left to
  // drop on the transmit side.
  (void)flushTransmit;
  if (flushReceive != 0) p->hostFlushReceive();
  return kBridgeOk;
}

int SimBench::BridgeSetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
  std::lock_guard lock(mutex_);
  readTimeoutMs_ = readMs;
  writeTimeoutMs_ = writeMs;
  return kBridgeOk;
}

int SimBench::BridgeCheckRxQueue(BridgeHandle handle, std::uint32_t& byteCount, std::uint32_t& queueStatus) {
  std::lock_guard lock(mutex_);
  byteCount = 0;
  queueStatus = kSimQueueEmpty;
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  byteCount = static_cast<std::uint32_t>(p->hostAvailable());
  queueStatus = byteCount > 0 ? kSimQueueHasData : kSimQueueEmpty;
  return kBridgeOk;
}

int SimBench::BridgeSetBaudRate(BridgeHandle handle, std::uint32_t baud) {
  std::lock_guard lock(mutex_);
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  if (baud < kMinBaud || baud > kMaxBaud) return kBridgeInvalidParameter;
  if (p->setup().faults.refuses("baudRate")) return kBridgeSystemError;
  p->setBaudRate(baud);
  return kBridgeOk;
}

int SimBench::BridgeSetLineControl(BridgeHandle handle, std::uint16_t lineControl) {
  std::lock_guard lock(mutex_);
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  if (p->setup().faults.refuses("lineControl")) return kBridgeSystemError;
  p->setLineControl(lineControl);
  return kBridgeOk;
}

int SimBench::BridgeSetFlowControl(BridgeHandle handle, const FlowPattern& pattern) {
  std::lock_guard lock(mutex_);
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  if (p->setup().faults.refuses("lines")) return kBridgeSystemError;
  return p->setLines(pattern) ? kBridgeOk : kBridgeInvalidParameter;
}

int SimBench::BridgeGetModemStatus(BridgeHandle handle, std::uint8_t& status) {
  std::lock_guard lock(mutex_);
  status = 0;
  SimProgrammer* p = live(handle);
  if (p == nullptr) return kBridgeInvalidHandle;
  status = p->status();
  return kBridgeOk;
}

}  // namespace fd
