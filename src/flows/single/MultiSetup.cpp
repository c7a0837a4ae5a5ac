#include "flows/single/MultiSetup.h"

#include <algorithm>
#include <functional>

#include "formats/DeviceDatabase.h"

namespace fd {
namespace {

// Reset with the select mark and the information block, for all of them together; the
// lines that came through hold their blocks.
std::vector<SetupLine> ReadAll(Protocol& protocol, AppState& state, const std::vector<MultiLoadTarget>& targets) {
  const std::vector<PreparedProgrammer> prepared = ResetAndReadProgrammers(protocol, state, targets);
  std::vector<SetupLine> lines;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    SetupLine line;
    line.sn = targets[i].sn;
    line.handle = targets[i].handle;
    line.open = prepared[i].open;
    line.info = prepared[i].info;
    line.notes = prepared[i].notes;
    lines.push_back(line);
  }
  return lines;
}

bool Readable(const SetupLine& line) { return line.notes.empty(); }

// Edits each readable line's block with `edit` (false, with a note: not to be written),
// then one header write to each of them together.
void EditAndWrite(Protocol& protocol, std::vector<SetupLine>& lines,
                  const std::function<bool(SetupLine&)>& edit) {
  std::vector<std::size_t> writing;
  std::vector<BridgeHandle> handles;
  std::vector<ProgrammerInfo> blocks;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!Readable(lines[i]) || !edit(lines[i])) continue;
    writing.push_back(i);
    handles.push_back(lines[i].handle);
    blocks.push_back(lines[i].info);
  }
  const std::vector<Outcome> written = protocol.WriteProgrammerHeaders(handles, 0, blocks);
  for (std::size_t k = 0; k < writing.size(); ++k) {
    SetupLine& line = lines[writing[k]];
    line.written = written[k].ok();
    if (!line.written) {
      line.notes = LoadNotesOf(written[k]);
      if (line.notes.empty()) line.notes.push_back({LoadNote::Kind::Error, "The programmer did not take the new setup."});
    }
  }
}

}  // namespace

void CopySetup(const ProgrammerInfo& from, ProgrammerInfo& to) {
  std::copy_n(from.begin(), info::kFileName, to.begin());  // type code, power, ID code, product
  std::copy(from.begin() + info::kBlockTable, from.begin() + info::kHeaderSize, to.begin() + info::kBlockTable);
}

std::vector<SetupLine> SetUpProgrammers(Protocol& protocol, AppState& state, const std::vector<MultiLoadTarget>& targets,
                                        const SetupChange& change) {
  std::vector<SetupLine> lines = ReadAll(protocol, state, targets);
  EditAndWrite(protocol, lines, [&change](SetupLine& line) {
    ProgrammerInfo& block = line.info;
    if (change.productLine) BuildInfoBlockTable(*change.productLine, block);
    if ((change.idCode || change.power) && block[info::kNames] == 0xFF) {
      // Set ID and Set Power refuse a programmer with no product, and so does this.
      line.notes.push_back({LoadNote::Kind::Warning, kMsgNoProduct});
      return false;
    }
    if (change.idCode) std::copy(change.idCode->begin(), change.idCode->end(), block.begin() + info::kIdCode);
    if (change.power) block[info::kPower] = *change.power;
    return true;
  });
  return lines;
}

std::vector<SetupLine> SetUpLike(Protocol& protocol, AppState& state, const MultiLoadTarget& source,
                                 const std::vector<MultiLoadTarget>& targets) {
  std::vector<MultiLoadTarget> all{source};
  all.insert(all.end(), targets.begin(), targets.end());
  std::vector<SetupLine> read = ReadAll(protocol, state, all);
  const SetupLine from = read.front();
  std::vector<SetupLine> lines(read.begin() + 1, read.end());
  std::string refusal;
  if (!Readable(from)) {
    refusal = "Programmer " + from.sn + " could not be read: " + from.notes.front().text;
  } else if (from.info[info::kTypeCode] == 0xFF || from.info[info::kNames] == 0xFF) {
    refusal = "Programmer " + from.sn + " holds no product to copy.";
  }
  if (!refusal.empty()) {
    for (SetupLine& line : lines) {
      if (Readable(line)) line.notes.push_back({LoadNote::Kind::Error, refusal});
    }
    return lines;
  }
  EditAndWrite(protocol, lines, [&from](SetupLine& line) {
    CopySetup(from.info, line.info);
    return true;
  });
  return lines;
}

}  // namespace fd
