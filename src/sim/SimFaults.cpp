#include "sim/SimFaults.h"

#include <algorithm>

#include "link/ProgrammerInfo.h"
#include "sim/SimTarget.h"

namespace fd {

std::optional<std::uint8_t> SimFaults::errorFor(char command, std::string_view stage) const {
  if (const SimErrorFault* f = find(command, stage, SimFaultAction::kError)) return f->code;
  return std::nullopt;
}

const SimErrorFault* SimFaults::find(char command, std::string_view stage, SimFaultAction action) const {
  for (const SimErrorFault& f : errors) {
    if (f.command == command && f.stage == stage && f.action == action) return &f;
  }
  return nullptr;
}

std::uint64_t SimFaults::delayUs(char command, std::string_view stage) const {
  std::uint64_t total = 0;
  for (const SimErrorFault& f : errors) {
    if (f.command == command && f.stage == stage && f.action == SimFaultAction::kDelay) {
      total += std::uint64_t{f.delayMs} * 1000;
    }
  }
  return total;
}

bool SimFaults::busyForever(char command) const {
  return busyAfterCommands.find('*') != std::string::npos ||
         busyAfterCommands.find(command) != std::string::npos;
}

bool SimFaults::refuses(std::string_view call) const {
  return std::find(refusedCalls.begin(), refusedCalls.end(), call) != refusedCalls.end();
}

bool SimFaults::any() const {
  return !errors.empty() || busyAfterReset || !busyAfterCommands.empty() || linkLostAfter ||
         corruptReadCrc || corruptFrames != SimFrameKind::kNone || !refusedCalls.empty() || boot.any();
}

const std::vector<SimFaultStage>& SimFaultStages(char command) {
  constexpr SimStageReply kNone = SimStageReply::kNothing;
  constexpr SimStageReply kByte = SimStageReply::kResultByte;
  constexpr SimStageReply kData = SimStageReply::kData;
  constexpr SimStageReply kProgress = SimStageReply::kProgress;
  constexpr std::size_t kPageAnswer = 2 + kSimPageSize;  // the CRC, then the page
  // name, what it sends back, whether it takes a while, the bytes of its data
  static const std::map<char, std::vector<SimFaultStage>> stages = {
      {'I', {{"info", kData, true, kInfoSize}}},
      {'C', {{"connect", kByte, true}}},
      {'U', {{"id", kByte, true}}},
      {'S', {{"connect", kProgress, false},
             {"id", kProgress, false},
             {"erase", kProgress, false},
             {"program", kProgress, false},
             {"verify", kProgress, false}}},
      // The acknowledgement of the command itself comes last, so a fault that names no
      // stage still means the header, as it always did.
      {'B', {{"header", kByte, true}, {"ack", kByte, true}}},
      {'D', {{"erase", kByte, true},
             {"header", kByte, true},
             {"descriptor", kByte, true},
             {"page", kNone, true},
             {"finish", kByte, true}}},
      {'P', {{"descriptor", kByte, true}, {"page", kNone, true}, {"finish", kByte, true}}},
      {'E', {{"erase", kByte, true}}},
      {'R', {{"read", kData, true, kPageAnswer}}},
  };
  static const std::vector<SimFaultStage> none;
  const auto it = stages.find(command);
  return it == stages.end() ? none : it->second;
}

const SimFaultStage* FindSimFaultStage(char command, std::string_view stage) {
  for (const SimFaultStage& s : SimFaultStages(command)) {
    if (s.name == stage) return &s;
  }
  return nullptr;
}

const std::vector<std::string_view>& SimRefusableCalls() {
  static const std::vector<std::string_view> calls = {"productString", "open", "baudRate", "lineControl",
                                                       "lines"};
  return calls;
}

}  // namespace fd
