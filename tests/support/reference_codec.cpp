#include "support/reference_codec.h"

#include <algorithm>
#include <cstdlib>

namespace kv9::test {
namespace {

int32_t clip(int32_t v) {
  return std::clamp(v, -32768, 32767);
}

struct Trial {
  int shift = 0, filter = 0;
  RefHistory h;
  uint32_t error = 0;
  int8_t nibbles[28] = {};
};

// One candidate over one channel's 28 samples, read a stereo pair apart.
void try_candidate(Trial& t, const int16_t* samples) {
  for (int n = 0; n < 28; ++n) {
    const int32_t x = samples[2 * n];
    const int32_t p =
        (t.h.prev1 * kRefWeights[t.filter][0] + t.h.prev2 * kRefWeights[t.filter][1]) >> 8;
    const int32_t q = std::clamp((x - p) >> t.shift, -8, 7);
    t.nibbles[n] = static_cast<int8_t>(q);
    t.h.prev2 = t.h.prev1;
    t.h.prev1 = clip(p + q * (1 << t.shift));
    t.error += static_cast<uint32_t>(std::abs(x - t.h.prev1));
  }
}

}  // namespace

void ref_decode_block(RefHistory& h, const uint8_t* block, int16_t* pairs, int channel) {
  const int filter = block[0] >> 4 <= 4 ? block[0] >> 4 : 0;  // 5 to 15 predict like 0
  const int shift = 12 - std::min(block[0] & 15, 12);         // range 13 to 15 is 12
  for (int t = 0; t < 28; ++t) {
    const int nibble = (block[2 + t / 2] >> (4 * (t % 2))) & 15;
    const int32_t value = nibble < 8 ? nibble : nibble - 16;
    const int32_t p = (h.prev1 * kRefWeights[filter][0] + h.prev2 * kRefWeights[filter][1]) >> 8;
    h.prev2 = h.prev1;
    h.prev1 = clip(value * (1 << shift) + p);
    pairs[2 * t + channel] = static_cast<int16_t>(h.prev1);
  }
}

void ref_encode_sound_group(RefStereo& encoder, const int16_t* pairs, uint8_t* group) {
  for (int i = 0; i < 4; ++i) {  // unit pair i: samples 28i..28i+27 of both channels
    Trial best[2];
    for (int c = 0; c < 2; ++c) {
      for (int m = 0; m < 52; ++m) {  // candidate m = 4 * shift + filter; the first least wins
        Trial t{m / 4, m % 4, encoder.channel[c]};
        try_candidate(t, pairs + 56 * i + c);
        if (m == 0 || t.error < best[c].error) best[c] = t;
      }
      encoder.channel[c] = best[c].h;
      group[4 + 2 * i + c] = static_cast<uint8_t>(16 * best[c].filter + 12 - best[c].shift);
      group[(i < 2 ? 2 * i : 2 * i + 8) + c] = group[4 + 2 * i + c];
    }
    for (int n = 0; n < 28; ++n) {
      group[16 + 4 * n + i] =
          static_cast<uint8_t>((best[0].nibbles[n] & 15) | (best[1].nibbles[n] & 15) << 4);
    }
  }
}

void ref_encode_sector(RefStereo& decoder, RefStereo& encoder, uint8_t* region) {
  static int16_t in[2 * 2352], out[2 * 2016];
  for (int b = 0; b < 84; ++b) {
    for (int c = 0; c < 2; ++c)
      ref_decode_block(decoder.channel[c], region + 32 * b + 16 * c, in + 56 * b, c);
  }
  // Output pair 6g + k weighs input pairs 7g + k and 7g + k + 1 by (6 - k) and (k + 1)
  // sevenths, the sum divided with truncation toward zero.
  for (int j = 0; j < 2016; ++j) {
    const int g = j / 6, k = j % 6;
    for (int c = 0; c < 2; ++c) {
      const int32_t sum = in[2 * (7 * g + k) + c] * (6 - k) + in[2 * (7 * g + k + 1) + c] * (k + 1);
      out[2 * j + c] = static_cast<int16_t>(clip(sum / 7));
    }
  }
  for (int s = 0; s < 18; ++s) ref_encode_sound_group(encoder, out + 224 * s, region + 128 * s);
}

}  // namespace kv9::test
