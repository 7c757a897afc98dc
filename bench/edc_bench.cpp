// Bytes per second of the raw-sector EDC on each path the processor offers, beside the plain
// bit-by-bit reference kept with the tests, over the 2064 bytes a Mode 1 sector covers.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "common/edc.h"
#include "support/reference_edc.h"

namespace kv9 {
namespace {

constexpr std::size_t kCoveredBytes = 2064;  // a Mode 1 sector's sync, header and user data
constexpr std::size_t kBenchSectors = 512;   // 1 MiB of sectors, kept in the caches

std::vector<uint8_t> make_sectors() {
  std::vector<uint8_t> bytes(kCoveredBytes * kBenchSectors);
  std::mt19937 rng(3);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

template <class Edc>
void measure(benchmark::State& state, Edc edc) {
  const std::vector<uint8_t> bytes = make_sectors();
  std::size_t s = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(edc(bytes.data() + s * kCoveredBytes, kCoveredBytes));
    s = (s + 1) % kBenchSectors;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kCoveredBytes));
}

template <EdcPath path>
void BM_Edc(benchmark::State& state) {
  const EdcPath chosen = edc_path();
  if (!use_edc_path(path)) {
    state.SkipWithError("the processor lacks this path");
    return;
  }
  measure(state, [](const uint8_t* p, std::size_t n) { return edc_crc(p, n); });
  use_edc_path(chosen);
}

void BM_EdcReference(benchmark::State& state) {
  measure(state, [](const uint8_t* p, std::size_t n) { return test::ref_edc(p, n); });
}

BENCHMARK(BM_Edc<EdcPath::kTable>)->Name("Edc/table");
BENCHMARK(BM_Edc<EdcPath::kClmul>)->Name("Edc/clmul");
BENCHMARK(BM_Edc<EdcPath::kVpclmul256>)->Name("Edc/vpclmul256");
BENCHMARK(BM_Edc<EdcPath::kVpclmul512>)->Name("Edc/vpclmul512");
BENCHMARK(BM_EdcReference)->Name("Edc/reference");

}  // namespace
}  // namespace kv9

BENCHMARK_MAIN();
