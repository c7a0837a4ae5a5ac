#include "sim/SimBootLoader.h"

#include <algorithm>
#include <iterator>

namespace fd {

namespace {
constexpr std::size_t kIdCheckHead = 4;  // three address bytes and the length
constexpr std::uint8_t kWrongConnectAnswer = 0x00;

std::optional<int> BlockOf(std::uint32_t page) {
  const auto& blocks = SimBootBlocks();
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (page >= blocks[i].startPage && page < std::uint32_t{blocks[i].startPage} + blocks[i].pageCount) {
      return static_cast<int>(i);
    }
  }
  return std::nullopt;
}
}  // namespace

const std::array<SimBootBlock, 3>& SimBootBlocks() {
  static const std::array<SimBootBlock, 3> blocks = {{{0xFF0, 16}, {0xFE0, 16}, {0xFC0, 32}}};
  return blocks;
}

bool SimBootFlashHolds(std::uint32_t page) { return BlockOf(page).has_value(); }

SimBootLoader::SimBootLoader(const SimIdCode& id, SimPages& firmware, const SimBootFaults& faults, Send send,
                             At at)
    : id_(id), firmware_(firmware), faults_(faults), send_(std::move(send)), at_(std::move(at)) {}

void SimBootLoader::restart(std::uint64_t now) {
  leadIn_ = 0;
  connected_ = false;
  idBits_ = 0;
  failBits_ = 0;
  hung_ = silent_ = cutShort_ = false;
  busyUntil_ = now;
  command_ = 0;
  needed_ = 0;
  params_.clear();
}

std::uint8_t SimBootLoader::status1() const {
  return static_cast<std::uint8_t>((hung_ ? 0 : kBootReady) | failBits_);
}

void SimBootLoader::receive(std::uint8_t byte, std::uint64_t now) {
  if (needed_ > 0) {
    params_.push_back(byte);
    if (command_ == kBootIdCheck && params_.size() == kIdCheckHead) needed_ += params_[3];
    if (params_.size() < needed_) return;
    needed_ = 0;
    queue(command_, std::move(params_), now);
    params_.clear();
    return;
  }
  if (!connected_) {
    // Until the connect byte the link is still being tuned by the lead-in; anything else
    // is not understood.
    if (byte == kBootLeadIn) {
      ++leadIn_;
    } else if (byte == kBootConnect && leadIn_ >= kBootLeadInCount) {
      connected_ = true;
      queue(byte, {}, now);
    }
    return;
  }
  command_ = byte;
  switch (byte) {
    case kBootIdCheck: needed_ = kIdCheckHead; break;
    case kBootBlockErase: needed_ = 3; break;
    case kBootPageProgram: needed_ = 2 + kSimPageSize; break;
    case kBootConnect:
    case kBootStatusRead:
    case kBootClearStatus: queue(byte, {}, now); break;
    default: break;  // a lead-in byte late, or noise
  }
}

std::uint64_t SimBootLoader::durationUs(std::uint8_t command, const std::vector<std::uint8_t>& params) const {
  using namespace simtime;
  if (hung_ || silent_ || idBits_ != kBootIdPassed) return kBootCommandUs;
  if (command == kBootBlockErase) {
    const auto block = BlockOf(params[0] | params[1] << 8);
    if (!block || params[2] != kBootEraseConfirm) return kBootCommandUs;
    return kBootEraseBaseUs + SimBootBlocks()[*block].pageCount / 4 * kBootErasePerKbUs;
  }
  if (command == kBootPageProgram) return kBootProgramUs;
  return kBootCommandUs;
}

void SimBootLoader::queue(std::uint8_t command, std::vector<std::uint8_t> params, std::uint64_t now) {
  // One command at a time: this one starts when the one before has finished.
  const std::uint64_t start = std::max(now, busyUntil_);
  busyUntil_ = start + durationUs(command, params);
  at_(busyUntil_, [this, command, params = std::move(params)] { execute(command, params); });
}

void SimBootLoader::execute(std::uint8_t command, const std::vector<std::uint8_t>& params) {
  if (silent_) return;
  switch (command) {
    case kBootConnect:
      if (faults_.connect == SimBootFaults::Connect::kSilent) return;
      if (faults_.connect == SimBootFaults::Connect::kWrong) {
        send_(&kWrongConnectAnswer, 1);
        return;
      }
      send_(&kBootConnect, 1);
      return;
    case kBootIdCheck: {
      const std::uint32_t address = params[0] | params[1] << 8 | params[2] << 16;
      const bool match = address == kBootIdAddress && params[3] == id_.size() &&
                         std::equal(id_.begin(), id_.end(), params.begin() + kIdCheckHead);
      idBits_ = match ? kBootIdPassed : kBootIdMismatch;
      return;
    }
    case kBootStatusRead: {
      const std::uint8_t status[2] = {status1(), status2()};
      // Half an answer, once the fault struck.
      send_(status, cutShort_ ? 1 : 2);
      return;
    }
    case kBootClearStatus:
      failBits_ = 0;
      return;
    case kBootBlockErase:
      erase(params);
      return;
    case kBootPageProgram:
      program(params);
      return;
    default:
      return;
  }
}

void SimBootLoader::apply(SimBootOutcome outcome, std::uint8_t failBit) {
  switch (outcome) {
    case SimBootOutcome::kFails: failBits_ |= failBit; return;
    case SimBootOutcome::kNotReady: hung_ = true; return;
    case SimBootOutcome::kSilent: silent_ = true; return;
    case SimBootOutcome::kShort: cutShort_ = true; return;
  }
}

void SimBootLoader::erase(const std::vector<std::uint8_t>& params) {
  // Flash commands wait for a passed ID check, and a hung flash does nothing more.
  if (idBits_ != kBootIdPassed || hung_) return;
  const std::uint32_t page = params[0] | params[1] << 8;
  const auto block = BlockOf(page);
  if (params[2] != kBootEraseConfirm) {
    // A broken command sequence shows as both failure bits.
    failBits_ |= kBootEraseFailed | kBootProgramFailed;
    return;
  }
  if (!block) {
    failBits_ |= kBootEraseFailed;
    return;
  }
  if (const auto it = faults_.erase.find(*block); it != faults_.erase.end()) {
    apply(it->second, kBootEraseFailed);
    return;
  }
  const SimBootBlock& b = SimBootBlocks()[*block];
  for (auto it = firmware_.lower_bound(b.startPage); it != firmware_.end() && it->first < b.startPage + b.pageCount;) {
    it = firmware_.erase(it);
  }
}

void SimBootLoader::program(const std::vector<std::uint8_t>& params) {
  if (idBits_ != kBootIdPassed || hung_) return;
  const auto page = static_cast<std::uint16_t>(params[0] | params[1] << 8);
  SimPage data;
  std::copy(params.begin() + 2, params.end(), data.begin());
  if (const auto it = faults_.program.find(page); it != faults_.program.end()) {
    apply(it->second, kBootProgramFailed);
    return;
  }
  // Only erased flash of its own takes a page.
  const auto held = firmware_.find(page);
  const bool erased = held == firmware_.end() ||
                      std::all_of(held->second.begin(), held->second.end(), [](std::uint8_t v) { return v == 0xFF; });
  if (!BlockOf(page) || !erased) {
    failBits_ |= kBootProgramFailed;
    return;
  }
  const bool blank = std::all_of(data.begin(), data.end(), [](std::uint8_t v) { return v == 0xFF; });
  if (!blank) firmware_[page] = data;
}

}  // namespace fd
