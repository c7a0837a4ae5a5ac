#pragma once
// Bench files: a JSON text holding every programmer of a bench with its store, target and
// faults, so a bench can be prepared by hand and carried from one run to the next.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/SimProgrammer.h"

namespace fd {

// The programmers of a bench file, or nothing with `error` telling what is wrong and where.
std::optional<std::vector<SimProgrammerSetup>> ParseSimBench(std::string_view text, std::string& error);
std::string FormatSimBench(const std::vector<SimProgrammerSetup>& programmers);

// The text of a new bench file: `programmers` fresh programmers (nothing stored, a present
// self-powered 5 V target each), or the demo bench.
std::string FreshBenchJson(std::size_t programmers);
std::string DemoBenchJson();

}  // namespace fd
