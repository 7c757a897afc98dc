#include "common/adpcm_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace kv9 {
namespace {

// One block decoded on the left, from a movie's start (`fresh`: reset_history) or from a given
// history, beside a silent right block: its first samples, worked out by hand.
struct BlockCase {
  const char* name;
  bool fresh;
  int32_t prev1, prev2;
  std::array<uint8_t, 16> block;
  std::vector<int16_t> samples;
};
class DecodeBlock : public testing::TestWithParam<BlockCase> {};

TEST_P(DecodeBlock, GivesTheSamplesWorkedOutByHand) {
  const BlockCase& c = GetParam();
  DecoderHistory h;
  h.channel[0] = {123, -45};
  h.channel[1] = {6, 7};
  c.fresh ? reset_history(h) : void(h.channel[0] = {c.prev1, c.prev2});
  std::array<int16_t, 56> pairs{};
  const std::array<uint8_t, 16> silence{};
  decode_block_pair(h, c.block.data(), silence.data(), pairs.data());
  for (std::size_t t = 0; t < c.samples.size(); ++t) EXPECT_EQ(pairs[2 * t], c.samples[t]) << t;
}

// Nibble 0 in the first sample shows the prediction alone: (1000 k0 - 500 k1) >> 8, and with the
// history negated the shift rounds toward minus infinity (the same shift for every filter).
// clang-format off
INSTANTIATE_TEST_SUITE_P(ByHand, DecodeBlock, testing::Values(
    BlockCase{"MovieStartsFromSilence", true, 0, 0, {0x1c, 0, 0x01}, {1, 0, 0}},
    BlockCase{"MovieStartsFromSilenceFilter4", true, 0, 0, {0x4c, 0, 0x77}, {7, 20, 31}},
    BlockCase{"Filter0", false, 1000, -500, {0x0c}, {0}},
    BlockCase{"Filter1", false, 1000, -500, {0x1c}, {937}},
    BlockCase{"Filter2", false, 1000, -500, {0x2c}, {2203}},
    BlockCase{"Filter3", false, 1000, -500, {0x3c}, {1960}},
    BlockCase{"Filter4", false, 1000, -500, {0x4c}, {2375}},
    BlockCase{"Filter1Negative", false, -1000, 500, {0x1c}, {-938}},
    BlockCase{"LowNibbleFirst", false, 0, 0, {0x0c, 0xff, 0x87}, {7, -8, 0}},
    BlockCase{"Range0", false, 0, 0, {0x00, 0, 0x87}, {28672, -32768, 0}},
    BlockCase{"SaturatesHigh", false, 32767, 0, {0x40, 0, 0x07}, {32767, 31743}},
    BlockCase{"SaturatesLow", false, -32768, 0, {0x10, 0, 0x08}, {-32768, -30720}},
    BlockCase{"Filter5PredictsLikeFilter0", false, 1000, 500, {0x5c, 0, 0x87}, {7, -8, 0}},
    BlockCase{"Filter15PredictsLikeFilter0", false, -900, 900, {0xfc, 0, 0x87}, {7, -8, 0}},
    BlockCase{"Range13IsRange12", false, 0, 0, {0x0d, 0, 0x87}, {7, -8, 0}},
    BlockCase{"Range15IsRange12", false, 0, 0, {0x0f, 0, 0x87}, {7, -8, 0}}),
    [](const auto& i) { return std::string(i.param.name); });
// clang-format on

}  // namespace
}  // namespace kv9
