#include "sim/SimProgrammer.h"

#include <algorithm>
#include <limits>

#include "link/Crc16.h"
#include "sim/SimErrors.h"
#include "link/TypeCodes.h"

namespace fd {

namespace {
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kCrcSize = 2;
constexpr std::size_t kHeaderFrameSize = kCrcSize + info::kHeaderSize;
constexpr std::size_t kDescriptorFrameSize = kCrcSize + info::kDescriptorSize;
constexpr std::size_t kPageFrameSize = kCrcSize + 2 + kSimPageSize;
constexpr std::size_t kPagesPerKb = 4;
// The percentage at which a failing programming step gives up.
constexpr std::uint64_t kProgramFailPercent = 40;
}  // namespace

std::uint64_t simtime::EpvDurationUs(std::size_t pages) {
  return kEpvConnectUs + kEpvIdUs + kEpvEraseUs + kEpvProgramBaseUs + pages * kEpvProgramPageUs +
         kEpvVerifyBaseUs + pages * kEpvVerifyPageUs;
}

std::uint64_t simtime::BlockEraseUs(std::uint32_t blockPages) {
  return kBlockEraseBaseUs + blockPages / kPagesPerKb * kBlockErasePerKbUs;
}

std::uint64_t simtime::OnlinePageUs(std::uint8_t typeCode) {
  return TypeCodeFactsOf(static_cast<char>(typeCode)).onlinePageUs;
}

ProgrammerInfo SimProgrammerSetup::FreshInfo() {
  ProgrammerInfo block;
  block.fill(0xFF);
  return block;
}

SimProgrammer::SimProgrammer(SimProgrammerSetup setup)
    : setup_(std::move(setup)),
      boot_(setup_.bootId, setup_.firmware, setup_.faults.boot,
            [this](const std::uint8_t* bytes, std::size_t count) { send(bytes, count); },
            [this](std::uint64_t t, std::function<void()> fn) { at(t, std::move(fn)); }) {}

// ---------------------------------------------------------------- time and bytes

void SimProgrammer::advanceTo(std::uint64_t t) {
  for (;;) {
    const std::uint64_t tEvent = events_.empty() ? kNever : events_.begin()->first;
    const std::uint64_t tIn = inbound_.empty() ? kNever : inbound_.front().at;
    const std::uint64_t next = std::min(tEvent, tIn);
    if (next > t) break;
    now_ = std::max(now_, next);
    if (tEvent <= tIn) {
      auto node = events_.extract(events_.begin());
      node.mapped()();
    } else {
      const std::uint8_t b = inbound_.front().value;
      inbound_.pop_front();
      receive(b);
    }
  }
  now_ = std::max(now_, t);
}

std::uint64_t SimProgrammer::nextActivityUs(std::size_t needed) const {
  std::uint64_t next = kNever;
  if (!events_.empty()) next = std::min(next, events_.begin()->first);
  if (!inbound_.empty()) next = std::min(next, inbound_.front().at);
  const std::size_t arrived = hostAvailable();
  if (outbound_.size() > arrived && needed > 0) {
    const std::size_t last = std::min(arrived + needed, outbound_.size()) - 1;
    next = std::min(next, outbound_[last].at);
  }
  return next;
}

bool SimProgrammer::linkMatches() const {
  // The boot loader talks at its own rate.
  return lineControl_ == kLineControl8N1 && baud_ == (setup_.updateJumpers ? kUpdateBaud : kNormalBaud);
}

std::uint64_t SimProgrammer::byteUs() const {
  // Ten bits a byte: start, eight data bits, stop.
  const std::uint64_t baud = std::max<std::uint32_t>(baud_, 1);
  return (10000000 + baud - 1) / baud;
}

std::uint64_t SimProgrammer::hostWrite(const std::uint8_t* bytes, std::size_t count, std::uint64_t t) {
  std::uint64_t end = std::max(t, inboundEnd_);
  for (std::size_t i = 0; i < count; ++i) {
    end += byteUs();
    // At another baud rate or framing the programmer sees only noise and drops it.
    if (linkMatches()) inbound_.push_back({bytes[i], end});
  }
  inboundEnd_ = end;
  return end;
}

std::size_t SimProgrammer::hostAvailable() const {
  std::size_t n = 0;
  while (n < outbound_.size() && outbound_[n].at <= now_) ++n;
  return n;
}

std::size_t SimProgrammer::hostTake(std::uint8_t* out, std::size_t max) {
  std::size_t n = 0;
  while (n < max && !outbound_.empty() && outbound_.front().at <= now_) {
    out[n++] = outbound_.front().value;
    outbound_.pop_front();
  }
  return n;
}

void SimProgrammer::hostFlushReceive() {
  while (!outbound_.empty() && outbound_.front().at <= now_) outbound_.pop_front();
}

void SimProgrammer::send(const std::uint8_t* bytes, std::size_t count) {
  if (!linkMatches()) return;
  std::uint64_t t = std::max(now_, outboundEnd_);
  for (std::size_t i = 0; i < count; ++i) {
    t += byteUs();
    outbound_.push_back({bytes[i], t});
  }
  outboundEnd_ = t;
}

void SimProgrammer::at(std::uint64_t t, std::function<void()> fn) { events_.emplace(t, std::move(fn)); }

void SimProgrammer::work(std::uint64_t durationUs, std::function<void()> done) {
  const std::uint64_t start = std::max(now_, busyUntil_);
  busyUntil_ = start + durationUs;
  // Once an error is latched the programmer does nothing more until it is reset.
  at(busyUntil_, [this, done = std::move(done)] {
    if (latched_ == 0) done();
  });
}

// ---------------------------------------------------------------- lines and status

std::uint8_t SimProgrammer::status() const {
  std::uint8_t s = 0;
  if (setup_.updateJumpers || resetLine_ || stuck_ || jobBusy_ || now_ < busyUntil_) s |= kBusyBit;
  if (resultOk_) s |= kResultBit;
  return s;
}

bool SimProgrammer::setLines(const FlowPattern& pattern) {
  bool reset = false;
  bool errorRequest = false;
  if (pattern == kResetLine) {
    reset = true;
  } else if (pattern == kErrorRequestLine) {
    errorRequest = true;
  } else if (!(pattern == kLinesReleased)) {
    return false;
  }
  if (reset && !resetLine_) enterReset();
  if (!reset && resetLine_) releaseReset();
  // One code per activation of the line, and only when there is one to give.
  if (errorRequest && !errorLine_ && latched_ != 0) sendByte(latched_);
  errorLine_ = errorRequest;
  return true;
}

void SimProgrammer::clearVolatile() {
  events_.clear();
  inbound_.clear();
  outbound_.clear();
  inboundEnd_ = outboundEnd_ = now_;
  rx_ = Rx::kCommand;
  buffer_.clear();
  transfer_ = {};
  jobRunning_ = jobBusy_ = false;
  latched_ = 0;
  stuck_ = false;
  connected_ = idChecked_ = false;
  typeCode_ = 0;
  selectMark_ = false;
  busyUntil_ = now_;
  boot_.restart(now_);
}

void SimProgrammer::enterReset() {
  resetLine_ = true;
  ++resetCount_;
  clearVolatile();
}

void SimProgrammer::releaseReset() {
  resetLine_ = false;
  busyUntil_ = now_ + simtime::kResetRecoveryUs;
  resultOk_ = true;
  stuck_ = setup_.faults.busyAfterReset;
}

void SimProgrammer::powerUp(std::uint64_t t) {
  now_ = std::max(now_, t);
  clearVolatile();
  resetLine_ = errorLine_ = false;
  resultOk_ = true;
  baud_ = kSimDefaultBaud;
  lineControl_ = kLineControl8N1;
  bytesMoved_ = 0;
  stuck_ = setup_.faults.busyAfterReset;
}

void SimProgrammer::powerDown() {
  clearVolatile();
  resetLine_ = errorLine_ = false;
}

// ---------------------------------------------------------------- outcomes

void SimProgrammer::latch(std::uint8_t code) {
  latched_ = code;
  resultOk_ = false;
  rx_ = Rx::kCommand;
  buffer_.clear();
}

std::uint8_t SimProgrammer::faultCode(char command, std::string_view stage) const {
  return setup_.faults.errorFor(command, stage).value_or(0);
}

bool SimProgrammer::stuckInEpv(std::string_view stage) {
  if (setup_.faults.find('S', stage, SimFaultAction::kStuck) == nullptr) return false;
  // The run hangs where it is: busy from now on, and no more progress.
  jobRunning_ = jobBusy_ = false;
  stuck_ = true;
  return true;
}

bool SimProgrammer::silentInEpv(std::string_view stage) {
  if (setup_.faults.find('S', stage, SimFaultAction::kNoAnswer) == nullptr) return false;
  // The run goes quiet where it is: idle on the status line, no more progress and no end,
  // until the next reset. It still counts as running, so it takes no other command.
  jobBusy_ = false;
  ++jobId_;
  return true;
}

std::uint8_t SimProgrammer::accessError() const {
  if (!setup_.target.present || !connected_) return kSimErrNoTarget;
  if (!idChecked_) return kSimErrId;
  return 0;
}

bool SimProgrammer::hasImage() const {
  const ProgrammerInfo& b = setup_.info;
  if (b[info::kTypeCode] == 0xFF) return false;
  const bool noFile = std::all_of(b.begin() + info::kFileSize, b.begin() + info::kFileSize + 4,
                                  [](std::uint8_t v) { return v == 0xFF; });
  return !noFile && !setup_.storeDamaged && InfoPageCount(b) == setup_.image.size();
}

// ---------------------------------------------------------------- commands

void SimProgrammer::receive(std::uint8_t byte) {
  if (resetLine_) return;
  if (setup_.updateJumpers) {
    boot_.receive(byte, now_);
    return;
  }
  // Stuck, or waiting for its error to be fetched: deaf to the host.
  if (stuck_ || latched_ != 0) return;
  switch (rx_) {
    case Rx::kCommand:
      startCommand(byte);
      return;
    case Rx::kParams:
      buffer_.push_back(byte);
      if (buffer_.size() == needed_) {
        rx_ = Rx::kCommand;
        runCommand();
      }
      return;
    case Rx::kHeaderFrame:
    case Rx::kDescriptorFrame:
    case Rx::kPageFrame:
      buffer_.push_back(byte);
      if (buffer_.size() == needed_) handleFrame();
      return;
    case Rx::kEndMark:
      handleEndMark(byte);
      return;
  }
}

void SimProgrammer::startCommand(std::uint8_t command) {
  // While it runs E.P.V the programmer only takes the select mark.
  if (jobRunning_ && command != 'L') return;
  switch (command) {
    case 'L': needed_ = 1; break;
    case 'C': needed_ = 2; break;
    case 'U': needed_ = info::kIdCodeSize; break;
    case 'E':
    case 'R': needed_ = 2; break;
    case 'I':
    case 'S':
    case 'B':
    case 'D':
    case 'P': needed_ = 0; break;
    default: return;  // noise, or an 'H' with no transfer to end
  }
  command_ = static_cast<char>(command);
  buffer_.clear();
  if (needed_ == 0) {
    runCommand();
  } else {
    rx_ = Rx::kParams;
  }
}

bool SimProgrammer::replyLost(char command, std::string_view name) const {
  return setup_.faults.find(command, name, SimFaultAction::kNoAnswer) != nullptr;
}

std::size_t SimProgrammer::answerBytes(char command, std::string_view name, std::size_t whole) const {
  const SimErrorFault* cut = setup_.faults.find(command, name, SimFaultAction::kShort);
  return cut != nullptr ? std::min<std::size_t>(cut->bytes, whole) : whole;
}

void SimProgrammer::stage(char c, std::string_view name, std::uint64_t us, std::function<std::uint8_t()> check,
                          std::function<void()> done, bool codeAsAnswer) {
  work(us + setup_.faults.delayUs(c, name),
       [this, c, name, check = std::move(check), done = std::move(done), codeAsAnswer] {
         const SimFaults& f = setup_.faults;
         if (f.find(c, name, SimFaultAction::kStuck) != nullptr) {
           stuck_ = true;
           return;
         }
         std::uint8_t code = check ? check() : 0;
         if (code == 0) code = f.errorFor(c, name).value_or(0);
         if (code != 0) {
           latch(code);
           if (codeAsAnswer) sendByte(code);
           return;
         }
         resultOk_ = true;
         if (done) done();
         const SimFaultStage* s = FindSimFaultStage(c, name);
         if (s == nullptr || s->reply != SimStageReply::kResultByte || replyLost(c, name)) return;
         const SimErrorFault* wrong = f.find(c, name, SimFaultAction::kAnswer);
         sendByte(wrong != nullptr ? wrong->code : 0x00);
       });
}

void SimProgrammer::runCommand() {
  const char c = command_;
  const std::vector<std::uint8_t> p = std::move(buffer_);
  buffer_.clear();
  if (c == 'L') {
    if (p[0] == 0x02) selectMark_ = true;
    if (p[0] == 0x00) selectMark_ = false;
    return;
  }
  if (setup_.faults.busyForever(c)) {
    stuck_ = true;
    return;
  }
  SimTarget& target = setup_.target;
  switch (c) {
    case 'I':
      stage('I', "info", simtime::kInfoUs, nullptr, [this] {
        if (!replyLost('I', "info")) send(setup_.info.data(), answerBytes('I', "info", setup_.info.size()));
      });
      return;
    case 'C': {
      const std::uint8_t type = p[0];
      const std::uint8_t power = p[1];
      stage(
          'C', "connect", simtime::kConnectUs,
          [this, &target, power] {
            connected_ = idChecked_ = false;
            return target.connectError(power);
          },
          [this, type] {
            connected_ = true;
            typeCode_ = type;
          });
      return;
    }
    case 'U': {
      SimIdCode id;
      std::copy(p.begin(), p.end(), id.begin());
      stage(
          'U', "id", simtime::kIdCheckUs,
          [this, &target, id] {
            idChecked_ = false;
            if (!target.present || !connected_) return kSimErrNoTarget;
            return id != target.id ? kSimErrId : std::uint8_t{0};
          },
          [this] { idChecked_ = true; });
      return;
    }
    case 'S':
      startEpv();
      return;
    case 'E': {
      const std::uint32_t page = p[0] | p[1] << 8;
      const auto block = target.blockOf(page);
      const std::uint64_t us = simtime::BlockEraseUs(block ? block->pageCount : 0);
      stage(
          'E', "erase", us,
          [this, &target, block] {
            const std::uint8_t code = accessError();
            if (code != 0) return code;
            return !block || target.flashFault == SimFlashFault::kErase ? kSimErrTargetErase : std::uint8_t{0};
          },
          [&target, block] { target.eraseBlock(*block); });
      return;
    }
    case 'R': {
      const std::uint32_t page = p[0] | p[1] << 8;
      stage(
          'R', "read", simtime::kReadUs, [this] { return accessError(); },
          [this, &target, page] {
            if (replyLost('R', "read")) return;
            const SimPage data = target.read(page);
            std::uint16_t crc = Crc16(data.data(), data.size());
            if (setup_.faults.corruptReadCrc) crc ^= 0x5A5A;
            std::vector<std::uint8_t> answer = {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8)};
            answer.insert(answer.end(), data.begin(), data.end());
            send(answer.data(), answerBytes('R', "read", answer.size()));
          });
      return;
    }
    case 'B':
      transfer_ = {};
      transfer_.command = c;
      rx_ = Rx::kHeaderFrame;
      needed_ = kHeaderFrameSize;
      stage('B', "ack", simtime::kAckUs, nullptr);
      return;
    case 'D':
      transfer_ = {};
      transfer_.command = c;
      rx_ = Rx::kHeaderFrame;
      needed_ = kHeaderFrameSize;
      // A new image starts by wiping the old one, so an interrupted load never leaves a
      // mix of two files that 'S' would program; until the load ends the store is damaged.
      stage('D', "erase", simtime::kStoreEraseUs, nullptr, [this] {
        setup_.image.clear();
        std::fill(setup_.info.begin() + info::kDescriptor, setup_.info.end(), 0xFF);
        setup_.storeDamaged = true;
      });
      return;
    case 'P':
      transfer_ = {};
      transfer_.command = c;
      rx_ = Rx::kDescriptorFrame;
      needed_ = kDescriptorFrameSize;
      return;
    default:
      return;
  }
}

void SimProgrammer::handleFrame() {
  const std::vector<std::uint8_t> f = std::move(buffer_);
  buffer_.clear();
  const std::uint16_t sentCrc = static_cast<std::uint16_t>(f[0] | f[1] << 8);
  const SimFrameKind kind = rx_ == Rx::kHeaderFrame       ? SimFrameKind::kHeader
                            : rx_ == Rx::kDescriptorFrame ? SimFrameKind::kDescriptor
                                                          : SimFrameKind::kPage;
  // A noisy line changes the frame on its way: its CRC no longer fits.
  const bool crcOk =
      Crc16(f.data() + kCrcSize, f.size() - kCrcSize) == sentCrc && setup_.faults.corruptFrames != kind;
  switch (rx_) {
    case Rx::kHeaderFrame: handleHeader(f, crcOk); return;
    case Rx::kDescriptorFrame: handleDescriptor(f, crcOk); return;
    case Rx::kPageFrame: handlePage(f, crcOk); return;
    default: return;
  }
}

void SimProgrammer::handleHeader(const std::vector<std::uint8_t>& f, bool crcOk) {
  const char c = transfer_.command;
  std::array<std::uint8_t, info::kHeaderSize> header;
  std::copy(f.begin() + kCrcSize, f.end(), header.begin());
  rx_ = crcOk && c == 'D' ? Rx::kDescriptorFrame : Rx::kCommand;
  needed_ = kDescriptorFrameSize;
  // The header's answer byte comes before its result bit is looked at, so a failure goes
  // out as the answer too; the host then fetches the code again on the error line.
  stage(
      c, "header", simtime::kHeaderStoreUs, [crcOk] { return crcOk ? 0 : kSimErrCrc; },
      [this, header] { std::copy(header.begin(), header.end(), setup_.info.begin()); }, true);
}

void SimProgrammer::handleDescriptor(const std::vector<std::uint8_t>& f, bool crcOk) {
  const char c = transfer_.command;
  if (!crcOk) {
    rx_ = Rx::kCommand;
    work(simtime::kDescriptorUs, [this] { latch(kSimErrCrc); });
    return;
  }
  std::copy(f.begin() + kCrcSize, f.end(), transfer_.descriptor.begin());
  transfer_.expected = transfer_.descriptor[16] | transfer_.descriptor[17] << 8;
  rx_ = transfer_.expected == 0 ? Rx::kCommand : Rx::kPageFrame;
  needed_ = kPageFrameSize;
  stage(c, "descriptor", simtime::kDescriptorUs, [this, c] { return c == 'P' ? accessError() : std::uint8_t{0}; });
  if (transfer_.expected == 0) finishTransfer();
}

void SimProgrammer::handlePage(const std::vector<std::uint8_t>& f, bool crcOk) {
  const char c = transfer_.command;
  if (!crcOk) {
    rx_ = Rx::kCommand;
    work(simtime::kFrameCheckUs, [this] { latch(kSimErrCrc); });
    return;
  }
  const std::uint16_t page = static_cast<std::uint16_t>(f[2] | f[3] << 8);
  SimPage data;
  std::copy(f.begin() + 4, f.end(), data.begin());
  ++transfer_.received;
  const bool last = transfer_.received == transfer_.expected;

  if (c == 'P') {
    // On-line every frame is a group of its own: programmed as it arrives.
    SimTarget& target = setup_.target;
    stage('P', "page", simtime::OnlinePageUs(typeCode_), [this, &target, page] {
      if (!target.contains(page) || target.flashFault == SimFlashFault::kProgram) return kSimErrProgram;
      const std::uint8_t code = accessError();
      if (code != 0) return code;
      return target.flashFault == SimFlashFault::kVerify ? kSimErrVerify : std::uint8_t{0};
    }, [&target, page, data] { target.memory[page] = data; });
    if (last) rx_ = Rx::kEndMark;
    return;
  }

  // Off-line the store takes two frames at a time; a lone last frame waits for 'H'.
  transfer_.group.emplace_back(page, data);
  if (transfer_.group.size() == 2) {
    writeGroup();
    if (last) {
      rx_ = Rx::kCommand;
      finishTransfer();
    }
    return;
  }
  if (last) rx_ = Rx::kEndMark;
}

void SimProgrammer::handleEndMark(std::uint8_t byte) {
  rx_ = Rx::kCommand;
  if (byte != 'H') {
    // The host is out of step with the frames it announced.
    work(simtime::kFrameCheckUs, [this] { latch(kSimErrCrc); });
    return;
  }
  if (!transfer_.group.empty()) writeGroup();
  finishTransfer();
}

void SimProgrammer::writeGroup() {
  auto group = std::move(transfer_.group);
  transfer_.group.clear();
  stage('D', "page", simtime::kStoreGroupUs, nullptr, [this, group = std::move(group)] {
    for (const auto& [page, data] : group) transfer_.pages[page] = data;
  });
}

void SimProgrammer::finishTransfer() {
  const char c = transfer_.command;
  stage(
      c, "finish", simtime::kFinishUs,
      [this, c] {
        // Two frames for one page leave the image a page short: it must not pass as whole.
        return c == 'D' && transfer_.pages.size() != transfer_.expected ? kSimErrStoreWrite : std::uint8_t{0};
      },
      [this, c] {
        if (c != 'D') return;
        std::copy(transfer_.descriptor.begin(), transfer_.descriptor.end(), setup_.info.begin() + info::kDescriptor);
        setup_.image = std::move(transfer_.pages);
        transfer_.pages.clear();
        setup_.storeDamaged = false;
      });
}

// ---------------------------------------------------------------- E.P.V

void SimProgrammer::startEpv() {
  using namespace simtime;
  const std::uint64_t id = ++jobId_;
  jobRunning_ = true;
  jobBusy_ = true;
  resultOk_ = true;
  // Each step runs only while this very run is still going (an error or a reset ends it).
  auto step = [this, id](std::function<void()> fn) {
    return [this, id, fn = std::move(fn)] {
      if (jobRunning_ && jobId_ == id) fn();
    };
  };
  SimTarget& target = setup_.target;
  const std::uint64_t n = setup_.image.size();

  const std::uint64_t tConnect = std::max(now_, busyUntil_) + kEpvConnectUs;
  at(tConnect, step([this, &target] {
       if (stuckInEpv("connect") || silentInEpv("connect")) return;
       std::uint8_t code = hasImage() ? 0 : kSimErrNoImage;
       if (code == 0) code = target.connectError(setup_.info[info::kPower]);
       if (code == 0) code = faultCode('S', "connect");
       if (code != 0) endEpv(code);
     }));

  const std::uint64_t tErase = tConnect + kEpvIdUs;
  at(tErase, step([this, &target] {
       if (stuckInEpv("id") || silentInEpv("id")) return;
       SimIdCode stored;
       std::copy_n(setup_.info.begin() + info::kIdCode, stored.size(), stored.begin());
       std::uint8_t code = !target.present ? kSimErrNoTarget : stored != target.id ? kSimErrId : 0;
       if (code == 0) code = faultCode('S', "id");
       if (code != 0) {
         endEpv(code);
         return;
       }
       jobBusy_ = false;  // from here on the status line shows idle and bytes carry progress
     }));
  for (std::uint64_t t = 0; t < kEpvEraseUs; t += kEpvEraseTickUs) {
    at(tErase + t, step([this] { sendByte(kSimEraseProgress); }));
  }
  at(tErase + kEpvEraseUs / 2 + kEpvEraseTickUs / 2, step([this, &target] {
       if (stuckInEpv("erase") || silentInEpv("erase")) return;
       std::uint8_t code = target.flashFault == SimFlashFault::kErase ? kSimErrTargetErase : 0;
       if (code == 0) code = faultCode('S', "erase");
       if (code != 0) endEpv(code);
     }));

  const std::uint64_t tProgram = tErase + kEpvEraseUs;
  const std::uint64_t programUs = kEpvProgramBaseUs + n * kEpvProgramPageUs;
  at(tProgram, step([this, &target] {
       target.memory.clear();
       for (const auto& [page, data] : setup_.image) {
         if (!target.contains(page)) {
           endEpv(kSimErrProgram);
           return;
         }
       }
     }));
  for (std::uint64_t k = 1; k < 100; ++k) {
    at(tProgram + k * programUs / 100,
       step([this, k] { sendByte(static_cast<std::uint8_t>(k)); }));
  }
  at(tProgram + kProgramFailPercent * programUs / 100 + 1, step([this, &target, n] {
       if (stuckInEpv("program") || silentInEpv("program")) return;
       std::uint8_t code = target.flashFault == SimFlashFault::kProgram ? kSimErrProgram : 0;
       if (code == 0) code = faultCode('S', "program");
       if (code == 0) return;
       // What got written before the failure stays on the target.
       std::uint64_t left = n * kProgramFailPercent / 100;
       for (auto it = setup_.image.begin(); it != setup_.image.end() && left > 0; ++it, --left) {
         target.memory[it->first] = it->second;
       }
       endEpv(code);
     }));
  at(tProgram + programUs, step([this, &target] {
       for (const auto& [page, data] : setup_.image) target.memory[page] = data;
     }));

  const std::uint64_t tDone = tProgram + programUs + kEpvVerifyBaseUs + n * kEpvVerifyPageUs;
  at(tDone, step([this, &target] {
       if (stuckInEpv("verify") || silentInEpv("verify")) return;
       std::uint8_t code = target.flashFault == SimFlashFault::kVerify ? kSimErrVerify : 0;
       if (code == 0) code = faultCode('S', "verify");
       for (const auto& [page, data] : setup_.image) {
         if (code == 0 && target.read(page) != data) code = kSimErrVerify;
       }
       if (code != 0) {
         endEpv(code);
         return;
       }
       sendByte(kSimDoneProgress);
       endEpv(0);
     }));
}

void SimProgrammer::endEpv(std::uint8_t code) {
  jobRunning_ = false;
  jobBusy_ = false;
  if (code != 0) {
    latch(code);
  } else {
    resultOk_ = true;
  }
}

}  // namespace fd
