#pragma once
// Faults a simulated programmer can be told to show, so every failure path of the host can
// be reached on the bench.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fd {

// What a programmer does instead of going on at one stage of a command.
enum class SimFaultAction {
  kError,     // latches `code`: result bit clear, the code on the error-request line
  kAnswer,    // reports success on its status line but answers `code` in place of 0
  kNoAnswer,  // reports success but its answer never comes
  kStuck,     // busy from this stage on, until the next reset
  kDelay,     // the stage takes `delayMs` longer, then goes on as usual
  kShort,     // reports success but sends only the first `bytes` bytes of its data, then nothing
};

struct SimErrorFault {
  char command = 'S';
  std::string stage;
  std::uint8_t code = 0;      // the error code (kError) or the answer byte (kAnswer)
  SimFaultAction action = SimFaultAction::kError;
  std::uint32_t delayMs = 0;  // kDelay
  std::uint16_t bytes = 0;    // kShort
  bool operator==(const SimErrorFault&) const = default;
};

// What a stage sends back when it ends well.
enum class SimStageReply {
  kNothing,
  kResultByte,  // the one-byte result of the completion handshake
  kData,        // a block of data (the information block, a page read)
  kProgress,    // progress bytes, until the run ends (Erase-Program-Verify)
};

// One stage of a command: where an error fault can strike.
struct SimFaultStage {
  std::string_view name;
  SimStageReply reply;
  bool timed;     // keeps the programmer busy for a while, so it can be delayed
  std::size_t dataBytes = 0;  // kData: the bytes of the block, CRC included
};

// How the boot loader's flash or link lets an operation down.
enum class SimBootOutcome {
  kFails,     // the erase-failed or program-failed status bit comes up
  kNotReady,  // the flash never reports ready again (until a reset)
  kSilent,    // the boot loader answers nothing from here on
  kShort,     // every status answer from here on stops after its first byte
};

// Faults of the boot loader that runs while the update jumpers are set.
struct SimBootFaults {
  enum class Connect { kAnswers, kSilent, kWrong };
  Connect connect = Connect::kAnswers;             // the answer to the connect byte
  std::map<int, SimBootOutcome> erase;             // by block number: 0 = FF000, 1 = FE000, 2 = FC000
  std::map<std::uint16_t, SimBootOutcome> program; // by page number
  bool any() const { return connect != Connect::kAnswers || !erase.empty() || !program.empty(); }
  bool operator==(const SimBootFaults&) const = default;
};

// The frames a host sends after 'B', 'D' and 'P', by kind.
enum class SimFrameKind { kNone, kHeader, kDescriptor, kPage };

struct SimFaults {
  std::vector<SimErrorFault> errors;
  bool busyAfterReset = false;        // the busy bit never clears after a reset
  std::string busyAfterCommands;      // command letters after which busy never clears; "*" all
  std::optional<std::uint64_t> linkLostAfter;  // device vanishes once this many bytes moved
  bool corruptReadCrc = false;        // 'R' answers carry a wrong CRC
  // Every frame of this kind from the host arrives with a wrong CRC, as on a noisy line.
  SimFrameKind corruptFrames = SimFrameKind::kNone;
  std::vector<std::string> refusedCalls;       // bridge calls on this device that fail
  SimBootFaults boot;

  // The code of an error fault at this stage.
  std::optional<std::uint8_t> errorFor(char command, std::string_view stage) const;
  // The first fault with this action at this stage.
  const SimErrorFault* find(char command, std::string_view stage, SimFaultAction action) const;
  std::uint64_t delayUs(char command, std::string_view stage) const;
  bool busyForever(char command) const;
  bool refuses(std::string_view call) const;
  bool any() const;
  bool operator==(const SimFaults&) const = default;
};

// The stages an error fault can name for a command, the default first; empty for a
// command that cannot fail this way.
const std::vector<SimFaultStage>& SimFaultStages(char command);
const SimFaultStage* FindSimFaultStage(char command, std::string_view stage);

// The bridge calls a device can be told to refuse, by the names a bench file uses.
const std::vector<std::string_view>& SimRefusableCalls();

}  // namespace fd
