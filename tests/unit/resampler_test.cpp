#include "vidconv/resampler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "support/reference_xa_encoder.h"

namespace kv9 {
namespace {

constexpr std::size_t kGroups = kRegionPairs / 7;

TEST(Resampler, MatchesReferenceAcrossSectors) {
  std::mt19937 rng(17);
  DecoderHistory fast, plain;
  static ResamplerBuffers got, want;
  for (int sector = 0; sector < 50; ++sector) {
    std::array<uint8_t, kRegionBytes> region;
    for (auto& b : region) b = static_cast<uint8_t>(rng());
    const auto before = region;
    resample_sector(fast, region.data(), got);
    test::reference_resample_sector(plain, region.data(), want);
    ASSERT_EQ(region, before);
    ASSERT_TRUE(std::equal(std::begin(got.pcm37), std::end(got.pcm37), std::begin(want.pcm37)))
        << "sector " << sector;
    ASSERT_EQ(fast.channel[0].prev1, plain.channel[0].prev1);
    ASSERT_EQ(fast.channel[1].prev2, plain.channel[1].prev2);
  }
}

// Seven input values of one channel and the six outputs they give; every group of the sector
// carries them on one channel and silence on the other.
struct GroupCase {
  const char* name;
  std::array<int16_t, 7> in;
  std::array<int16_t, 6> out;
};
class ResamplerGroup : public testing::TestWithParam<std::tuple<GroupCase, int>> {};

TEST_P(ResamplerGroup, InterpolatesSevenPairsIntoSix) {
  const auto& [k, channel] = GetParam();
  static ResamplerBuffers buffers;
  std::fill(std::begin(buffers.pcm44), std::end(buffers.pcm44), int16_t{0});
  for (std::size_t g = 0; g < kGroups; ++g) {
    for (std::size_t i = 0; i < 7; ++i) buffers.pcm44[2 * (7 * g + i) + channel] = k.in[i];
  }
  interpolate_sector(buffers);
  for (std::size_t g = 0; g < kGroups; ++g) {
    for (std::size_t i = 0; i < 6; ++i) {
      ASSERT_EQ(buffers.pcm37[2 * (6 * g + i) + channel], k.out[i]) << g << " " << i;
      ASSERT_EQ(buffers.pcm37[2 * (6 * g + i) + 1 - channel], 0) << g << " " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, ResamplerGroup,
    testing::Combine(
        testing::Values(
            GroupCase{"Silence", {}, {}},
            GroupCase{"Constant",
                      {-1234, -1234, -1234, -1234, -1234, -1234, -1234},
                      {-1234, -1234, -1234, -1234, -1234, -1234}},
            GroupCase{"Ramp", {0, 7, 14, 21, 28, 35, 42}, {1, 9, 17, 25, 33, 41}},
            GroupCase{"PositiveTruncates", {6, 0, 0, 0, 0, 0, 0}, {5, 0, 0, 0, 0, 0}},
            GroupCase{"NegativeTruncatesTowardZero", {-6, 0, 0, 0, 0, 0, 0}, {-5, 0, 0, 0, 0, 0}},
            GroupCase{"PositiveExact", {7, 0, 0, 0, 0, 0, 0}, {6, 0, 0, 0, 0, 0}},
            GroupCase{"NegativeExact", {-7, 0, 0, 0, 0, 0, 0}, {-6, 0, 0, 0, 0, 0}},
            GroupCase{"FirstAndLastInputsReachOneOutputEach",
                      {70, 0, 0, 0, 0, 0, 700},
                      {60, 0, 0, 0, 0, 600}},
            GroupCase{"FullScalePositive",
                      {32767, 32767, 32767, 32767, 32767, 32767, 32767},
                      {32767, 32767, 32767, 32767, 32767, 32767}},
            GroupCase{"FullScaleNegative",
                      {-32768, -32768, -32768, -32768, -32768, -32768, -32768},
                      {-32768, -32768, -32768, -32768, -32768, -32768}}),
        testing::Values(0, 1)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) == 0 ? "Left" : "Right");
    });

}  // namespace
}  // namespace kv9
