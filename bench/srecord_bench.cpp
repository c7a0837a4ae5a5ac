// Converting a dense S-record file into the load-record content: 1 MiB of data as S2
// records of 16 bytes (about 2.4 MB of text), the whole convert step short of the write.
// With SRECORD_BENCH_FILE set, the same for that file, read from disk in every iteration
// (srecord_vs_objcopy.sh compares this with objcopy on the same file).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "formats/LoadRecord.h"
#include "formats/SRecord.h"
#include "formats/SRecordWriter.h"

namespace fd {
namespace {

const std::string& DenseFile() {
  static const std::string text = [] {
    std::mt19937 random(1);
    std::vector<std::uint8_t> bytes(1u << 20);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return WriteSRecords(bytes, 0x10000).text;
  }();
  return text;
}

const FileStamp kStamp{"240305060708", 1};

void BM_ConvertToLoadRecord(benchmark::State& state) {
  const std::string& text = DenseFile();
  for (auto _ : state) {
    LoadRecordBuild build = BuildLoadRecord(kStamp, text);
    if (!build.result.ok || build.result.pageCount != 4096) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(build.content.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
  state.counters["data_MiB"] = 1;
}
BENCHMARK(BM_ConvertToLoadRecord)->Unit(benchmark::kMillisecond);

void BM_CheckOnly(benchmark::State& state) {
  const std::string& text = DenseFile();
  for (auto _ : state) benchmark::DoNotOptimize(CheckDataRecords(text).pageCount);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_CheckOnly)->Unit(benchmark::kMillisecond);

void BM_ConvertFile(benchmark::State& state) {
  const char* path = std::getenv("SRECORD_BENCH_FILE");
  if (!path) {
    state.SkipWithError("SRECORD_BENCH_FILE is not set");
    return;
  }
  std::size_t size = 0;
  for (auto _ : state) {
    std::string text, error;
    if (!ReadImageFile(path, text, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    LoadRecordBuild build = BuildLoadRecord(kStamp, text);
    if (!build.result.ok) {
      state.SkipWithError(build.result.message.c_str());
      return;
    }
    benchmark::DoNotOptimize(build.content.data());
    size = text.size();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_ConvertFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fd

BENCHMARK_MAIN();
