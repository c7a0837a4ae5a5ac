#pragma once
// The boot loader session of a firmware update, one named step per exchange: the Updating
// window decides when each step runs and what its outcome means to the user.
#include <array>
#include <cstdint>
#include <optional>

#include "link/BootLoader.h"
#include "link/Bridge.h"
#include "link/Pacer.h"

namespace fd {

// The answer to a status read after a block erase or a page program.
enum class BootStatus {
  NoAnswer,  // not a byte came back: the boot loader is gone
  NotReady,  // half an answer, or the ready bit clear: it did not finish in time
  Failed,    // ready, with the erase (or program) failure bit set
  Done,
};

// The answer to the connect byte and the ID check.
enum class BootConnect { NoAnswer, IdRefused, Connected };

// How a page program went.
enum class BootPage { NotSent, NoAnswer, NotReady, Failed, Done };

class BootLoaderLink {
public:
  // `handle`: the programmer opened at the boot loader's rate.
  BootLoaderLink(Bridge& bridge, Pacer& pacer, BridgeHandle handle);

  // `reads` status reads in a row, every one with the busy bit set (the boot loader holds
  // the line; a programmer without its jumpers lets it fall).
  bool JumpersSet(int reads);
  // One byte or frame each; true when all of it went out.
  bool SendLeadIn();
  bool SendConnect();
  bool SendIdCheck();
  bool AskStatus();
  bool SendBlockErase(std::uint16_t page);
  // The three-byte answer to connect and ID check.
  BootConnect ReadConnectAnswer();
  // The two status bytes after a block erase.
  BootStatus ReadEraseStatus();
  // Flush, the page frame, the status read and its answer, with the pauses between. No
  // data (a page that did not decode) sends no frame.
  BootPage ProgramPage(std::uint16_t page, const std::optional<std::array<std::uint8_t, boot::kPageBytes>>& data);

private:
  bool write(const std::vector<std::uint8_t>& bytes);
  std::uint32_t read(std::uint8_t* buffer, std::uint32_t count);

  Bridge& bridge_;
  Pacer& pacer_;
  BridgeHandle handle_;
};

}  // namespace fd
