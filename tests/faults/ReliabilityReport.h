#pragma once
// The fault matrix as a document: what every cell observed, in the tables that
// docs/reliability.md shows. Nothing in it depends on where or when the run took place.
#include <cstdint>
#include <string>
#include <vector>

namespace fd::test {

enum class Operation { kDetection, kGang, kHeaderWrite, kLoad, kProgram, kErase, kRead, kUpdate };
enum class Fault { kUnplugged, kLinkLost, kBusyForever, kErrorCode, kBadCrc, kShortAnswer, kNoAnswer };

inline constexpr Operation kOperations[] = {Operation::kDetection, Operation::kGang,    Operation::kHeaderWrite,
                                            Operation::kLoad,      Operation::kProgram, Operation::kErase,
                                            Operation::kRead,      Operation::kUpdate};
// The faults of the matrix's columns; an error code has a table of its own, a row a stage.
inline constexpr Fault kColumnFaults[] = {Fault::kUnplugged, Fault::kLinkLost,     Fault::kBusyForever,
                                          Fault::kBadCrc,    Fault::kShortAnswer, Fault::kNoAnswer};

const char* OperationName(Operation op);
const char* FaultName(Fault fault);

// One cell as a run saw it.
struct ObservedCell {
  Operation op;
  Fault fault;
  std::string stage;       // an error code's command and stage ("D page"); empty otherwise
  std::string benchFault;  // what the bench file says for it
  std::string message;     // the first line the user saw
  int exit = 0;
  std::uint64_t elapsedUs = 0;
};

// A cell no run can reach, and why.
struct NotApplicable {
  Operation op;
  Fault fault;
  const char* why;
};

// "≤ 2 s": a time rounded up to a coarse step, so the text changes only with behaviour.
std::string TimeBound(std::uint64_t us);

// How an operation is run, in the document's words.
struct OperationLine {
  Operation op;
  std::string command;  // the command line
  int boundSeconds;     // it ends within this whatever the fault
  std::string runLog;   // the run log's operation; empty: it writes none
};

// The whole document; every matrix cell is in `cells` or `notApplicable`.
std::string ReliabilityMarkdown(const std::vector<ObservedCell>& cells, const std::vector<NotApplicable>& notApplicable,
                                const std::vector<OperationLine>& operations);

}  // namespace fd::test
