#pragma once
// The value of a --simulate option: a number of fresh programmers, the demo bench, or the
// path of a bench file.
#include <cstddef>
#include <string>
#include <string_view>

#include "link/ProgrammerLimit.h"
#include "sim/SimBench.h"

namespace fd {

struct SimulateArg {
  enum class Kind { kCount, kDemo, kFile, kInvalid };
  Kind kind = Kind::kInvalid;
  std::size_t count = 0;   // kCount
  std::string path;        // kFile
  std::string error;       // kInvalid
};

SimulateArg ParseSimulateArg(std::string_view text);

// The bench the argument asks for (a file bench is read from its path).
SimBenchLoad MakeSimBench(const SimulateArg& arg, SimClock& clock);

}  // namespace fd
