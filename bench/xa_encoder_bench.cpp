// Audio sectors per second through encode_sector_audio: the vectorised encoder of vidconv and
// the plain scalar reference, on the same block-pair regions, so that the ratio of the two
// items_per_second figures reads off one run.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "support/reference_codec.h"
#include "vidconv/xa_encoder.h"

namespace kv9 {
namespace {

constexpr std::size_t kBenchSectors = 40;

// Source audio as a movie would carry it: a tone with a drifting pitch plus noise on each
// channel, encoded into source blocks (sound units are source blocks with the same arithmetic).
std::vector<uint8_t> make_regions() {
  std::vector<int16_t> pcm(2 * kRegionPairs * kBenchSectors);
  std::mt19937 rng(5);
  for (std::size_t t = 0; t < pcm.size() / 2; ++t) {
    const double time = static_cast<double>(t) / 44100.0;
    for (int c = 0; c < 2; ++c) {
      const double tone =
          9000 * std::sin(2 * std::numbers::pi * (220 + 110 * c) * time * (1 + time));
      const double noise = static_cast<double>(rng() % 2001) - 1000;
      pcm[2 * t + static_cast<std::size_t>(c)] = static_cast<int16_t>(std::lround(tone + noise));
    }
  }
  std::vector<uint8_t> regions(kRegionBytes * kBenchSectors);
  EncoderHistory history;
  std::array<uint8_t, kSoundGroupBytes> group{};
  for (std::size_t s = 0; s < pcm.size() / (2 * kPairsPerSoundGroup); ++s) {
    encode_sound_group(history, pcm.data() + 2 * kPairsPerSoundGroup * s, group.data());
    for (std::size_t i = 0; i < kUnitPairsPerSoundGroup; ++i) {
      for (std::size_t c = 0; c < 2; ++c) {
        uint8_t* block =
            regions.data() + kBlockPairBytes * (kUnitPairsPerSoundGroup * s + i) + kBlockBytes * c;
        block[0] = group[4 + 2 * i + c];
        for (std::size_t n = 0; n < kSamplesPerBlock; ++n) {
          const int nibble = (group[16 + 4 * n + i] >> (4 * c)) & 15;
          block[2 + n / 2] = static_cast<uint8_t>(block[2 + n / 2] | nibble << (4 * (n % 2)));
        }
      }
    }
  }
  return regions;
}

void encode_vectorised(uint8_t* region) {
  static AudioCodecState codec{};
  encode_sector_audio(codec, region);
}

void encode_reference(uint8_t* region) {
  static test::RefStereo decoder, encoder;
  test::ref_encode_sector(decoder, encoder, region);
}

template <void (*Encode)(uint8_t*)>
void BM_EncodeSectorAudio(benchmark::State& state) {
  const std::vector<uint8_t> regions = make_regions();
  std::array<uint8_t, kRegionBytes> region{};
  std::size_t s = 0;
  for (auto _ : state) {
    std::memcpy(region.data(), regions.data() + kRegionBytes * s, kRegionBytes);
    Encode(region.data());
    benchmark::DoNotOptimize(region.data());
    benchmark::ClobberMemory();
    s = (s + 1) % kBenchSectors;
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  static constexpr const char* kSearchNames[] = {"plain", "AVX2", "AVX-512"};
  state.SetLabel(Encode != encode_vectorised
                     ? std::string("audio sectors")
                     : std::string("audio sectors, search ") +
                           kSearchNames[static_cast<int>(xa_search_path())]);
}

BENCHMARK(BM_EncodeSectorAudio<encode_vectorised>)->Name("EncodeSectorAudio/vectorised");
BENCHMARK(BM_EncodeSectorAudio<encode_reference>)->Name("EncodeSectorAudio/reference");

}  // namespace
}  // namespace kv9

BENCHMARK_MAIN();
