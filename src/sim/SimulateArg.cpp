#include "sim/SimulateArg.h"

#include <algorithm>

namespace fd {

SimulateArg ParseSimulateArg(std::string_view text) {
  SimulateArg arg;
  if (text.empty()) {
    arg.error = "--simulate needs a number of programmers, \"demo\" or a bench file";
    return arg;
  }
  if (text == "demo") {
    arg.kind = SimulateArg::Kind::kDemo;
    return arg;
  }
  const auto digits = [](std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  // "-1" or "+3" is a count typed wrong, not the name of a bench file.
  const bool signedNumber = (text[0] == '-' || text[0] == '+') && digits(text.substr(1));
  if (signedNumber || digits(text)) {
    if (signedNumber || text.size() > 2 || std::stoul(std::string(text)) >
                           static_cast<unsigned long>(kMaxProgrammers)) {
      arg.error = "--simulate takes 0 to " + std::to_string(kMaxProgrammers) + " programmers";
      return arg;
    }
    arg.kind = SimulateArg::Kind::kCount;
    arg.count = std::stoul(std::string(text));
    return arg;
  }
  arg.kind = SimulateArg::Kind::kFile;
  arg.path = std::string(text);
  return arg;
}

SimBenchLoad MakeSimBench(const SimulateArg& arg, SimClock& clock) {
  switch (arg.kind) {
    case SimulateArg::Kind::kCount: return {SimBench::fresh(arg.count, clock), {}};
    case SimulateArg::Kind::kDemo: return {SimBench::demo(clock), {}};
    case SimulateArg::Kind::kFile: return SimBench::load(arg.path, clock);
    case SimulateArg::Kind::kInvalid: break;
  }
  return {nullptr, arg.error.empty() ? "no bench given" : arg.error};
}

}  // namespace fd
