// Checksum throughput and the time to check the carried UAMC part (2.7 MB, scrambled body).
#include <benchmark/benchmark.h>

#include <vector>

#include "firmware/crc16.h"
#include "firmware/file_bytes.h"
#include "firmware/firm_file.h"
#include "firmware/package_split.h"

namespace qx80 {
namespace {

std::vector<uint8_t>& Package() {
  static std::vector<uint8_t> package = ReadWholeFile(QX80_FIRMWARE_PACKAGE_PATH).value_or(std::vector<uint8_t>{});
  return package;
}

void BM_Crc16(benchmark::State& state) {
  const auto& package = Package();
  for (auto _ : state) {
    benchmark::DoNotOptimize(Crc16(package));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(package.size()));
}
BENCHMARK(BM_Crc16);

void BM_LoadUamcPart(benchmark::State& state) {
  auto& package = Package();
  const auto parts = SplitFirmPackage(package);
  if (parts.empty()) {
    state.SkipWithError("the carried package cannot be read");
    return;
  }
  for (auto _ : state) {
    CFirmFile f;
    benchmark::DoNotOptimize(f.Load(package.data(), parts[0].size));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * parts[0].size);
}
BENCHMARK(BM_LoadUamcPart)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qx80

BENCHMARK_MAIN();
