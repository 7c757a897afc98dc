#include "vidconv/xa_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "support/reference_decoder.h"
#include "support/reference_xa_encoder.h"

namespace kv9 {
namespace {

using Group = std::array<uint8_t, kSoundGroupBytes>;

// A long stereo stream whose channels switch, at odd lengths, between silence, constant -1,
// a sine sweep, full-scale and quiet noise, full-scale square waves, clipping transients and an
// overdriven sine.
std::vector<int16_t> varied_signal(std::size_t groups, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<int16_t> pcm(2 * kPairsPerSoundGroup * groups);
  const std::size_t pairs = pcm.size() / 2;
  int kind[2] = {0, 0};
  int period = 2;
  for (std::size_t t = 0, next_switch = 0; t < pairs; ++t) {
    if (t == next_switch) {
      kind[0] = static_cast<int>(rng() % 8);
      kind[1] = static_cast<int>(rng() % 8);
      period = 2 + static_cast<int>(rng() % 120);
      next_switch = t + 1 + rng() % 500;
    }
    for (int c = 0; c < 2; ++c) {
      const double phase = 0.0003 * static_cast<double>(t) * static_cast<double>(t % 20000);
      int32_t v = 0;
      switch (kind[c]) {
        case 1:
          v = -1;
          break;
        case 2:
          v = static_cast<int32_t>(std::lround(20000 * std::sin(phase + c)));
          break;
        case 3:
          v = static_cast<int32_t>(rng() % 65536) - 32768;
          break;
        case 4:
          v = static_cast<int32_t>(rng() % 129) - 64;
          break;
        case 5:
          v = (t / static_cast<std::size_t>(period)) % 2 ? 32767 : -32768;
          break;
        case 6:
          v = rng() % 37 == 0 ? (rng() % 2 ? 32767 : -32768) : 0;
          break;
        case 7:
          v = static_cast<int32_t>(std::lround(45000 * std::sin(0.05 * static_cast<double>(t))));
          break;
      }
      pcm[2 * t + c] = static_cast<int16_t>(clamp16(v));
    }
  }
  return pcm;
}

// A sound unit as a 16-byte source audio block: XA sound units decode with the same arithmetic.
template <typename NibbleOf>
std::array<uint8_t, kBlockBytes> source_block(uint8_t parameter, NibbleOf nibble_of) {
  std::array<uint8_t, kBlockBytes> block{parameter};
  for (std::size_t n = 0; n < kSamplesPerBlock; ++n) {
    block[2 + n / 2] =
        static_cast<uint8_t>(block[2 + n / 2] | (nibble_of(n) & 15) << (4 * (n % 2)));
  }
  return block;
}

Group encode_group(EncoderHistory& h, const std::vector<int16_t>& pcm, std::size_t s = 0) {
  Group g{};
  encode_sound_group(h, pcm.data() + 2 * kPairsPerSoundGroup * s, g.data());
  return g;
}

// Every group matches the reference byte for byte, with the histories carried on, and decodes
// to the encoder's reconstruction: after each group a decoder fed the written sound units holds
// the encoder's history.
TEST(XaEncoder, LongVariedSignalsMatchReferenceAndDecodeToTheReconstruction) {
  const std::size_t groups = 1500;
  const auto pcm = varied_signal(groups, 7);
  EncoderHistory fast, plain;
  DecoderHistory decoder;
  for (std::size_t s = 0; s < groups; ++s) {
    const Group got = encode_group(fast, pcm, s);
    Group want{};
    test::reference_encode_sound_group(plain, pcm.data() + 2 * kPairsPerSoundGroup * s,
                                       want.data());
    ASSERT_EQ(got, want) << "sound group " << s;
    ASSERT_TRUE(std::equal(got.begin(), got.begin() + 4, got.begin() + 4));
    ASSERT_TRUE(std::equal(got.begin() + 12, got.begin() + 16, got.begin() + 8));
    for (std::size_t i = 0; i < kUnitPairsPerSoundGroup; ++i) {
      for (int c = 0; c < 2; ++c) {
        const auto block = source_block(
            got[4 + 2 * i + c], [&](std::size_t n) { return got[16 + 4 * n + i] >> (4 * c); });
        std::array<int16_t, 2 * kSamplesPerBlock> out;
        test::decode_block(decoder.channel[c], block.data(), out.data(), c);
      }
    }
    for (int c = 0; c < 2; ++c) {
      ASSERT_EQ(fast.channel[c].prev1, plain.channel[c].prev1) << "group " << s;
      ASSERT_EQ(fast.channel[c].prev2, plain.channel[c].prev2) << "group " << s;
      ASSERT_EQ(decoder.channel[c].prev1, fast.channel[c].prev1) << "group " << s;
      ASSERT_EQ(decoder.channel[c].prev2, fast.channel[c].prev2) << "group " << s;
    }
  }
}

TEST(XaEncoder, SectorsMatchReferenceAndLeaveTheTailAlone) {
  std::mt19937 rng(11);
  AudioCodecState fast{};
  DecoderHistory plain_decoder{};
  EncoderHistory plain_encoder{};
  ResamplerBuffers plain_buffers{};
  for (int sector = 0; sector < 60; ++sector) {
    std::array<uint8_t, kRegionBytes> region{};
    for (std::size_t i = 0; i < region.size(); ++i) region[i] = static_cast<uint8_t>(rng());
    if (sector % 2) {  // valid parameter bytes, moderate ranges
      for (std::size_t b = 0; b < region.size(); b += kBlockBytes) {
        region[b] = static_cast<uint8_t>((rng() % 5) * 16 + 4 + rng() % 9);
      }
    }
    auto want = region;
    encode_sector_audio(fast, region.data());
    test::reference_encode_sector_audio(plain_decoder, plain_encoder, plain_buffers, want.data());
    ASSERT_EQ(region, want) << "sector " << sector;
    for (int c = 0; c < 2; ++c) {
      ASSERT_EQ(fast.decoder.channel[c].prev1, plain_decoder.channel[c].prev1);
      ASSERT_EQ(fast.encoder.channel[c].prev1, plain_encoder.channel[c].prev1);
      ASSERT_EQ(fast.encoder.channel[c].prev2, plain_encoder.channel[c].prev2);
    }
  }
}

TEST(XaEncoder, SilenceFromZeroHistoryGivesRange12AndZeroNibbles) {
  EncoderHistory h;
  const std::vector<int16_t> pcm(2 * kPairsPerSoundGroup, 0);
  const Group g = encode_group(h, pcm);
  for (std::size_t b = 0; b < g.size(); ++b) EXPECT_EQ(g[b], b < 16 ? 0x0c : 0) << b;
  EXPECT_EQ(h.channel[1].prev1, 0);
  EXPECT_EQ(h.channel[0].prev2, 0);
}

TEST(XaEncoder, ConstantMinusOneOnOneChannelGivesAllOnesNibbles) {
  EncoderHistory h;
  std::vector<int16_t> pcm(2 * kPairsPerSoundGroup, 0);
  for (std::size_t t = 0; t < kPairsPerSoundGroup; ++t) pcm[2 * t + 1] = -1;
  const Group g = encode_group(h, pcm);
  for (std::size_t b = 0; b < 16; ++b) EXPECT_EQ(g[b], 0x0c) << b;
  for (std::size_t b = 16; b < g.size(); ++b) EXPECT_EQ(g[b], 0xf0) << b;
  EXPECT_EQ(h.channel[1].prev1, -1);
  EXPECT_EQ(h.channel[1].prev2, -1);
}

// Constant input on the left of the first unit pair, silence on the right, zero history.
struct ConstantCase {
  int16_t value;
  uint8_t left_parameter;
};
class XaEncoderConstant : public testing::TestWithParam<ConstantCase> {};

TEST_P(XaEncoderConstant, ChoosesTheLowestCandidateOfLeastError) {
  std::vector<int16_t> pcm(2 * kPairsPerSoundGroup, 0);
  for (std::size_t t = 0; t < kSamplesPerBlock; ++t) pcm[2 * t] = GetParam().value;
  EncoderHistory h;
  const Group g = encode_group(h, pcm);
  EXPECT_EQ(g[4], GetParam().left_parameter);
  EXPECT_EQ(g[0], GetParam().left_parameter);
  EXPECT_EQ(g[5], 0x0c);
}

INSTANTIATE_TEST_SUITE_P(
    Values, XaEncoderConstant,
    testing::Values(ConstantCase{0, 0x0c},       // all 52 tie at 0
                    ConstantCase{-1, 0x0c},      // filters 0 and 1 of shift 0 tie at 0
                    ConstantCase{16, 0x0a},      // shifts 2, 3 and 4 of filter 0 are exact
                    ConstantCase{1000, 0x16}));  // candidate 25: filter 1, shift 6

// The reference's trial encoding of one candidate, which every lane of the vectorised search
// must match.
TEST(XaReferenceEncoder, Constant1000AsCandidate25HasError1251) {
  std::vector<int16_t> pcm(2 * kSamplesPerBlock, 0);
  for (std::size_t t = 0; t < kSamplesPerBlock; ++t) pcm[2 * t] = 1000;
  test::XaCandidate c{0, 6, 1, 0, 0, {}};
  test::reference_encode_candidate(c, pcm.data());
  EXPECT_EQ(parameter_byte(c.filter, c.shift), 0x16);
  EXPECT_EQ(c.error, 1251u);
  EXPECT_EQ(c.prev1, 1000);
  EXPECT_EQ(c.prev2, 999);
}

// The reference's trial encoding of a constant input x on one channel from a given history: the
// first sample's 4-bit value and reconstruction, and the whole unit decoding to what the trial
// tracked.
struct CandidateCase {
  const char* name;
  int16_t prev1, prev2;
  int32_t filter, shift;
  int16_t x;
  int8_t q;
  int16_t first;
};
class XaReferenceCandidate : public testing::TestWithParam<CandidateCase> {};

TEST_P(XaReferenceCandidate, QuantisesAndReconstructsLikeTheDecoder) {
  const CandidateCase& k = GetParam();
  std::vector<int16_t> pcm(2 * kSamplesPerBlock, k.x);
  test::XaCandidate c{0, k.shift, k.filter, k.prev1, k.prev2, {}};
  test::reference_encode_candidate(c, pcm.data());
  EXPECT_EQ(c.nibbles[0], k.q);

  const auto block =
      source_block(parameter_byte(c.filter, c.shift), [&](std::size_t n) { return c.nibbles[n]; });
  ChannelHistory h{k.prev1, k.prev2};
  std::array<int16_t, 2 * kSamplesPerBlock> out{};
  test::decode_block(h, block.data(), out.data(), 0);
  EXPECT_EQ(out[0], k.first);
  uint32_t error = 0;
  for (std::size_t n = 0; n < kSamplesPerBlock; ++n) error += std::abs(k.x - out[2 * n]);
  EXPECT_EQ(c.error, error);
  EXPECT_EQ(c.prev1, h.prev1);
  EXPECT_EQ(c.prev2, h.prev2);
}

INSTANTIATE_TEST_SUITE_P(
    Values, XaReferenceCandidate,
    testing::Values(CandidateCase{"NegativeDifferenceRoundsDown", 0, 0, 0, 1, -1, -1, -2},
                    CandidateCase{"PositiveDifferenceRoundsDown", 0, 0, 0, 1, 1, 0, 0},
                    CandidateCase{"SevenStepsExactly", 0, 0, 0, 2, 28, 7, 28},
                    CandidateCase{"AboveSevenStepsClampsTo7", 0, 0, 0, 2, 1000, 7, 28},
                    CandidateCase{"MinusSevenSteps", 0, 0, 0, 2, -28, -7, -28},
                    CandidateCase{"BelowMinusSevenStepsClampsToMinus8", 0, 0, 0, 2, -29, -8, -32},
                    CandidateCase{"FarBelowClampsToMinus8", 0, 0, 0, 2, -1000, -8, -32},
                    CandidateCase{"FullScaleAtShift12", 0, 0, 0, 12, 32767, 7, 28672},
                    CandidateCase{"SaturatesHigh", 32767, -32768, 2, 12, 32767, -8, 32767},
                    CandidateCase{"SaturatesLow", -32768, 32767, 2, 12, -32768, 7, -32768},
                    CandidateCase{"PredictionRoundsDown", -1, 0, 1, 0, -1, 0, -1}),
    [](const testing::TestParamInfo<CandidateCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kv9
