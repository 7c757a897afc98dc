#include "vidconv/xa_encoder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "support/differential.h"
#include "vidconv/resampler.h"

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

// Seven pairs become six: (x[k] (6 - k) + x[k + 1] (k + 1)) / 7, truncated toward zero.
TEST(Resampler, InterpolatesSevenPairsIntoSix) {
  struct Group {
    std::array<int16_t, 7> in;
    std::array<int16_t, 6> out;
  };
  for (const Group& k : {Group{{0, 7, 14, 21, 28, 35, 42}, {1, 9, 17, 25, 33, 41}},
                         Group{{6, 0, 0, 0, 0, 0, 0}, {5, 0, 0, 0, 0, 0}},
                         Group{{-6, 0, 0, 0, 0, 0, 0}, {-5, 0, 0, 0, 0, 0}},
                         Group{{70, 0, 0, 0, 0, 0, 700}, {60, 0, 0, 0, 0, 600}},
                         Group{{-32768, -32768, -32768, -32768, -32768, -32768, -32768},
                               {-32768, -32768, -32768, -32768, -32768, -32768}}}) {
    static ResamplerBuffers b;
    for (std::size_t i = 0; i < kRegionPairs; ++i) b.pcm44[2 * i + 1] = k.in[i % 7];
    interpolate_sector(b);
    for (std::size_t j = 0; j < kXaPairsPerSector; ++j) {
      ASSERT_EQ(b.pcm37[2 * j], 0) << j;
      ASSERT_EQ(b.pcm37[2 * j + 1], k.out[j % 6]) << j << " of " << k.in[0];
    }
  }
}

}  // namespace
}  // namespace kv9
