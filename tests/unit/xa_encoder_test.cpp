#include "vidconv/xa_encoder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "support/differential.h"

namespace kv9 {
namespace {

int16_t random16(std::mt19937& rng) {
  return static_cast<int16_t>(rng());
}

// Sectors of random block pairs (every other one with sensible parameter bytes, every fifth
// one block repeated: constant and full-scale square signals) from random histories: decoded,
// resampled and encoded exactly as the plain reference does.
TEST(SoundPath, RandomSectorsMatchTheReference) {
  std::mt19937 rng(11);
  for (int sector = 0; sector < 300; ++sector) {
    std::array<uint8_t, kRegionBytes> region;
    for (auto& b : region) b = static_cast<uint8_t>(rng());
    for (std::size_t b = 0; sector % 2 && b < region.size(); b += kBlockBytes) {
      region[b] = static_cast<uint8_t>((rng() % 5) * 16 + 4 + rng() % 9);
    }
    for (std::size_t b = 16; sector % 5 == 0 && b < region.size(); ++b) region[b] = region[b % 16];
    test::RefStereo decoder, encoder;
    for (test::RefStereo* s : {&decoder, &encoder}) {
      for (auto& c : s->channel) c = {random16(rng), random16(rng)};
    }
    ASSERT_EQ(test::sector_differs(decoder, encoder, region.data()), "") << "sector " << sector;
  }
}

// A constant on the left of the first unit pair, silence elsewhere, from silence: the parameter
// byte of the least error, the first of equals winning.
TEST(XaEncoder, TiesGoToTheFirstCandidate) {
  for (auto [value, parameter] : {std::pair<int16_t, uint8_t>{0, 0x0c},  // all 52 tie at 0
                                  {-1, 0x0c},       // filters 0 and 1 of range 12 tie
                                  {16, 0x0a},       // ranges 10, 9 and 8 of filter 0 exact
                                  {1000, 0x16}}) {  // filter 1, range 6
    std::array<int16_t, 2 * kPairsPerSoundGroup> pcm{};
    for (std::size_t t = 0; t < kSamplesPerBlock; ++t) pcm[2 * t] = value;
    EncoderHistory h;
    std::array<uint8_t, kSoundGroupBytes> g{};
    encode_sound_group(h, pcm.data(), g.data());
    const std::array<uint8_t, 3> want = {parameter, parameter, 0x0c};
    EXPECT_EQ((std::array{g[0], g[4], g[5]}), want) << value;
  }
}

}  // namespace
}  // namespace kv9
