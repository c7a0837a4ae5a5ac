#pragma once
// Faults a simulated programmer can be told to show, so every failure path of the host can
// be reached on the bench.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fd {

// Answer `command` with `code` at `stage` instead of going on.
struct SimErrorFault {
  char command = 'S';
  std::string stage;
  std::uint8_t code = 0;
  bool operator==(const SimErrorFault&) const = default;
};

struct SimFaults {
  std::vector<SimErrorFault> errors;
  bool busyAfterReset = false;        // the busy bit never clears after a reset
  std::string busyAfterCommands;      // command letters after which busy never clears; "*" all
  std::optional<std::uint64_t> linkLostAfter;  // device vanishes once this many bytes moved
  bool corruptReadCrc = false;        // 'R' answers carry a wrong CRC

  std::optional<std::uint8_t> errorFor(char command, std::string_view stage) const;
  bool busyForever(char command) const;
  bool any() const;
  bool operator==(const SimFaults&) const = default;
};

// The stages an error fault can name for a command, the default first; empty for a
// command that cannot fail this way.
const std::vector<std::string_view>& SimFaultStages(char command);

}  // namespace fd
