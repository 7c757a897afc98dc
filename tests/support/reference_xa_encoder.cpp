#include "support/reference_xa_encoder.h"

#include <array>
#include <cstdlib>

#include "common/layout.h"
#include "support/reference_decoder.h"

namespace kv9::test {
namespace {

constexpr int kInPairs = 7;   // per interpolation group at 44.1 kHz
constexpr int kOutPairs = 6;  // the same time at 37.8 kHz
constexpr int kGroups = static_cast<int>(kRegionPairs) / kInPairs;
constexpr int kUnitSamples = static_cast<int>(kSamplesPerBlock);

}  // namespace

void reference_resample_sector(DecoderHistory& history, const uint8_t* region,
                               ResamplerBuffers& buffers) {
  for (std::size_t b = 0; b < kRegionBlockPairs; ++b) {
    int16_t* pairs = buffers.pcm44 + 2 * kSamplesPerBlock * b;
    decode_block_left(history, region + kBlockPairBytes * b, pairs);
    decode_block_right(history, region + kBlockPairBytes * b + kBlockBytes, pairs);
  }
  for (int g = 0; g < kGroups; ++g) {
    for (int c = 0; c < 2; ++c) {
      int32_t x[kInPairs];
      for (int k = 0; k < kInPairs; ++k) x[k] = buffers.pcm44[2 * (kInPairs * g + k) + c];
      for (int k = 0; k < kOutPairs; ++k) {
        int32_t y = (x[k] * (6 - k) + x[k + 1] * (k + 1)) / 7;
        buffers.pcm37[2 * (kOutPairs * g + k) + c] = static_cast<int16_t>(clamp16(y));
      }
    }
  }
}

void reference_encode_candidate(XaCandidate& c, const int16_t* samples) {
  const int32_t k0 = adpcm_filter_table[c.filter].filter_k0;
  const int32_t k1 = adpcm_filter_table[c.filter].filter_k1;
  c.error = 0;
  for (int n = 0; n < kUnitSamples; ++n) {
    const int32_t x = samples[2 * n];
    const int32_t p = (c.prev1 * k0 + c.prev2 * k1) >> 8;
    int32_t q = (x - p) >> c.shift;
    if (q >= 7) {
      q = 7;
    } else if (q <= -8) {
      q = -8;
    }
    c.nibbles[n] = static_cast<int8_t>(q);
    c.prev2 = c.prev1;
    c.prev1 = static_cast<int16_t>(clamp16(p + q * (1 << c.shift)));
    c.error += static_cast<uint32_t>(std::abs(x - c.prev1));
  }
}

void reference_encode_sound_group(EncoderHistory& history, const int16_t* pairs, uint8_t* out) {
  for (int i = 0; i < static_cast<int>(kUnitPairsPerSoundGroup); ++i) {
    const int16_t* unit_pair = pairs + 2 * kUnitSamples * i;
    std::array<std::array<XaCandidate, kXaCandidates>, 2> table;
    std::array<int, 2> best{};
    for (int c = 0; c < 2; ++c) {
      for (int m = 0; m < kXaCandidates; ++m) {
        XaCandidate& t = table[c][m];
        t.shift = m / 4;
        t.filter = m % 4;
        t.prev1 = static_cast<int16_t>(history.channel[c].prev1);
        t.prev2 = static_cast<int16_t>(history.channel[c].prev2);
      }
      for (int m = 0; m < kXaCandidates; ++m)
        reference_encode_candidate(table[c][m], unit_pair + c);
      for (int m = 1; m < kXaCandidates; ++m) {
        if (table[c][m].error < table[c][best[c]].error) best[c] = m;
      }
    }
    const XaCandidate& left = table[0][best[0]];
    const XaCandidate& right = table[1][best[1]];
    out[4 + 2 * i] = static_cast<uint8_t>(left.filter * 16 + (12 - left.shift));
    out[5 + 2 * i] = static_cast<uint8_t>(right.filter * 16 + (12 - right.shift));
    const int copy = i < 2 ? 2 * i : 2 * i + 8;
    out[copy] = out[4 + 2 * i];
    out[copy + 1] = out[5 + 2 * i];
    for (int n = 0; n < kUnitSamples; ++n) {
      out[16 + 4 * n + i] =
          static_cast<uint8_t>((left.nibbles[n] & 15) | ((right.nibbles[n] & 15) * 16));
    }
    history.channel[0] = {left.prev1, left.prev2};
    history.channel[1] = {right.prev1, right.prev2};
  }
}

void reference_encode_sector_audio(DecoderHistory& decoder, EncoderHistory& encoder,
                                   ResamplerBuffers& buffers, uint8_t* region) {
  reference_resample_sector(decoder, region, buffers);
  for (std::size_t s = 0; s < kSoundGroupsPerSector; ++s) {
    reference_encode_sound_group(encoder, buffers.pcm37 + 2 * kPairsPerSoundGroup * s,
                                 region + kSoundGroupBytes * s);
  }
}

}  // namespace kv9::test
