#pragma once
// The off-line set-up of several programmers at once: the same product, ID code and power
// for each, or the product, ID code and power of one programmer copied to others. Each is
// taken as Off-line Set takes it (reset with the select mark, its information block read),
// its block edited as the Single Operation window edits it, and written with one 'B' header
// write; the resets, the reads and the header writes' waits of all of them overlap. A
// programmer that fails does not stop the others.
#include <optional>
#include <string>
#include <vector>

#include "app/AppState.h"
#include "flows/load/MultiLoad.h"
#include "link/Protocol.h"

namespace fd {


// What to change; an empty field keeps what the programmer holds.
struct SetupChange {
  std::optional<std::string> productLine;  // the product's line of the device database
  std::optional<IdCode> idCode;
  std::optional<std::uint8_t> power;
};

struct SetupLine {
  std::string sn;
  BridgeHandle handle = kNoHandle;
  bool open = true;        // false once a failed read closed the handle
  ProgrammerInfo info{};   // as written (or as it would have been)
  bool written = false;    // the programmer confirmed the header
  std::vector<LoadNote> notes;
};

// `change` applied to each of `targets`.
std::vector<SetupLine> SetUpProgrammers(Protocol& protocol, AppState& state, const std::vector<MultiLoadTarget>& targets,
                                        const SetupChange& change);

// The product, ID code and power of `source` copied to each of `targets` (the file name
// each holds stays). When the source cannot be read or holds no product, nothing is
// written and every line says why.
std::vector<SetupLine> SetUpLike(Protocol& protocol, AppState& state, const MultiLoadTarget& source,
                                 const std::vector<MultiLoadTarget>& targets);

// The setup bytes of `from` (type code, power, ID code, product name, block table) in `to`.
void CopySetup(const ProgrammerInfo& from, ProgrammerInfo& to);

}  // namespace fd
