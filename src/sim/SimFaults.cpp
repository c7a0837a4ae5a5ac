#include "sim/SimFaults.h"

#include <map>

namespace fd {

std::optional<std::uint8_t> SimFaults::errorFor(char command, std::string_view stage) const {
  for (const SimErrorFault& f : errors) {
    if (f.command == command && f.stage == stage) return f.code;
  }
  return std::nullopt;
}

bool SimFaults::busyForever(char command) const {
  return busyAfterCommands.find('*') != std::string::npos ||
         busyAfterCommands.find(command) != std::string::npos;
}

bool SimFaults::any() const {
  return !errors.empty() || busyAfterReset || !busyAfterCommands.empty() || linkLostAfter ||
         corruptReadCrc;
}

const std::vector<std::string_view>& SimFaultStages(char command) {
  static const std::map<char, std::vector<std::string_view>> stages = {
      {'C', {"connect"}},
      {'U', {"id"}},
      {'S', {"connect", "id", "erase", "program", "verify"}},
      {'B', {"header"}},
      {'D', {"erase", "header", "descriptor", "page", "finish"}},
      {'P', {"descriptor", "page", "finish"}},
      {'E', {"erase"}},
      {'R', {"read"}},
  };
  static const std::vector<std::string_view> none;
  const auto it = stages.find(command);
  return it == stages.end() ? none : it->second;
}

}  // namespace fd
