#include "common/adpcm_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>
#include <vector>

#include "common/layout.h"
#include "support/reference_decoder.h"

namespace kv9 {
namespace {

using Block = std::array<uint8_t, kBlockBytes>;
using Pairs = std::array<int16_t, 2 * kSamplesPerBlock>;

// One block decoded on the left from a given history, beside a silent right block: its leading
// samples (the rest are checked when `all` is set) and, when known, the history it leaves.
struct BlockCase {
  const char* name;
  int32_t prev1, prev2;
  Block block;
  std::vector<int16_t> samples;
  bool all;
  std::optional<std::pair<int32_t, int32_t>> history;
};
class AdpcmDecoderBlock : public testing::TestWithParam<BlockCase> {};

TEST_P(AdpcmDecoderBlock, DecodesToKnownSamples) {
  const BlockCase& k = GetParam();
  DecoderHistory h;
  h.channel[0] = {k.prev1, k.prev2};
  Pairs pairs{};
  const Block silence{};
  decode_block_pair(h, k.block.data(), silence.data(), pairs.data());
  for (std::size_t t = 0; t < kSamplesPerBlock; ++t) {
    if (t < k.samples.size()) {
      EXPECT_EQ(pairs[2 * t], k.samples[t]) << "sample " << t;
    } else if (k.all) {
      EXPECT_EQ(pairs[2 * t], k.samples.back()) << "sample " << t;
    }
  }
  if (k.history) {
    EXPECT_EQ(h.channel[0].prev1, k.history->first);
    EXPECT_EQ(h.channel[0].prev2, k.history->second);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, AdpcmDecoderBlock,
    testing::Values(
        BlockCase{"ZeroBlock", 0, 0, {}, {0}, true, {{0, 0}}},
        BlockCase{"LowNibbleFirst", 0, 0, {0x0c, 0, 0x87}, {7, -8, 0}, true, {{0, 0}}},
        BlockCase{"Range0", 0, 0, {0x00, 0, 0x87}, {28672, -32768, 0}, true, {{0, 0}}},
        BlockCase{"Filter2",
                  0,
                  0,
                  {0x2c, 0, 0x77},
                  {7,  19, 28, 34, 38, 40, 41, 41, 40, 38, 35, 32,  29,  26,
                   23, 20, 17, 14, 11, 8,  5,  2,  -1, -4, -7, -10, -13, -16},
                  true,
                  {{-16, -13}}},
        BlockCase{"Saturates", 32767, 0, {0x40, 0, 0x07}, {32767, 31743}, false, {}},
        BlockCase{"PredictionRoundsDown", -1, 0, {0x1c}, {-1}, true, {{-1, -1}}},
        BlockCase{"Byte1NotRead", 0, 0, {0x0c, 0xff, 0x87}, {7, -8, 0}, true, {{0, 0}}},
        BlockCase{"Filter5PredictsLikeFilter0", 1000, 500, {0x5c, 0, 0x87}, {7, -8, 0}, true, {}},
        BlockCase{"Filter15PredictsLikeFilter0", -900, 900, {0xfc, 0, 0x87}, {7, -8, 0}, true, {}},
        BlockCase{"Range13IsRange12", 0, 0, {0x0d, 0, 0x87}, {7, -8, 0}, true, {}},
        BlockCase{"Range15IsRange12", 0, 0, {0x0f, 0, 0x87}, {7, -8, 0}, true, {}}),
    [](const testing::TestParamInfo<BlockCase>& info) { return info.param.name; });

Block random_block(std::mt19937& rng) {
  Block b;
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

// Block pairs against the plain reference decoder, channel by channel.
TEST(AdpcmDecoder, BlockPairMatchesTheReferenceOnLongRandomInput) {
  std::mt19937 rng(2);
  DecoderHistory pair_history, single_history;
  for (int i = 0; i < 20000; ++i) {
    const Block left = random_block(rng);
    const Block right = random_block(rng);
    Pairs a{}, b{};
    decode_block_pair(pair_history, left.data(), right.data(), a.data());
    test::decode_block_left(single_history, left.data(), b.data());
    test::decode_block_right(single_history, right.data(), b.data());
    ASSERT_EQ(a, b) << "block pair " << i;
    for (int c = 0; c < kDecoderChannels; ++c) {
      ASSERT_EQ(pair_history.channel[c].prev1, single_history.channel[c].prev1);
      ASSERT_EQ(pair_history.channel[c].prev2, single_history.channel[c].prev2);
    }
  }
}

}  // namespace
}  // namespace kv9
