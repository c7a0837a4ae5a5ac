// The simulated bench file: loaded as --simulate FILE.json loads it, then saved and loaded
// again as the next run would.
#include "FuzzSupport.h"
#include "link/Clock.h"
#include "sim/SimBench.h"

using namespace fd;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::ScratchFolder::get().write("bench.json", fuzz::AsText(data, size));
  VirtualClock clock;
  SimBenchLoad loaded = SimBench::load(path, clock);
  if (!loaded.bench) {
    FUZZ_CHECK(!loaded.error.empty());
    return 0;
  }
  std::string error;
  FUZZ_CHECK(loaded.bench->save(path, error));
  VirtualClock next;
  SimBenchLoad again = SimBench::load(path, next);
  if (!again.bench) std::fprintf(stderr, "%s\n", again.error.c_str());
  FUZZ_CHECK(again.bench != nullptr);
  FUZZ_CHECK(again.bench->programmerCount() == loaded.bench->programmerCount());
  return 0;
}
