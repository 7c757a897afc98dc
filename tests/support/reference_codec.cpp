#include "support/reference_codec.h"

#include <algorithm>
#include <cstdlib>

namespace kv9::test {
namespace {

int32_t clip(int32_t v) {
  return std::clamp(v, -32768, 32767);
}

int32_t predict(const RefHistory& h, int filter) {
  return (h.prev1 * kRefWeights[filter][0] + h.prev2 * kRefWeights[filter][1]) >> 8;
}

void push(RefHistory& h, int32_t sample) {
  h.prev2 = h.prev1;
  h.prev1 = sample;
}

// One candidate of a sound unit: its shift and filter, the history it leaves, its nibbles and
// its summed absolute error.
struct Trial {
  int shift = 0, filter = 0;
  RefHistory h;
  uint32_t error = 0;
  int8_t nibbles[28] = {};
};

}  // namespace

void ref_decode_block(RefHistory& h, const uint8_t* block, int16_t* pairs, int channel) {
  const int filter = block[0] >> 4 <= 4 ? block[0] >> 4 : 0;  // 5 to 15 predict like 0
  const int shift = 12 - std::min(block[0] & 15, 12);         // range 13 to 15 is 12
  for (int t = 0; t < 28; ++t) {
    const int nibble = (block[2 + t / 2] >> (4 * (t % 2))) & 15;
    push(h, clip((nibble < 8 ? nibble : nibble - 16) * (1 << shift) + predict(h, filter)));
    pairs[2 * t + channel] = static_cast<int16_t>(h.prev1);
  }
}

void ref_encode_sound_group(RefStereo& encoder, const int16_t* pairs, uint8_t* group) {
  for (int i = 0; i < 4; ++i) {  // unit pair i: samples 28i..28i+27 of both channels
    Trial best[2];
    for (int c = 0; c < 2; ++c) {
      for (int m = 0; m < 52; ++m) {  // candidate m = 4 * shift + filter; the first least wins
        Trial t{m / 4, m % 4, encoder.channel[c]};
        for (int n = 0; n < 28; ++n) {
          const int32_t x = pairs[56 * i + 2 * n + c], p = predict(t.h, t.filter);
          t.nibbles[n] = static_cast<int8_t>(std::clamp((x - p) >> t.shift, -8, 7));
          push(t.h, clip(p + t.nibbles[n] * (1 << t.shift)));
          t.error += static_cast<uint32_t>(std::abs(x - t.h.prev1));
        }
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

void ref_encode_sector(RefStereo& decoder, RefStereo& encoder, uint8_t* region, int groups) {
  static int16_t in[2 * 2352], out[2 * 2016];
  for (int b = 0; b < 2 * 84; ++b)
    ref_decode_block(decoder.channel[b % 2], region + 16 * b, in + 56 * (b / 2), b % 2);
  // Output pair 6g + k weighs input pairs 7g + k and 7g + k + 1 by (6 - k) and (k + 1)
  // sevenths, the sum divided with truncation toward zero.
  for (int j = 0; j < 2 * 2016; ++j) {
    const int g = j / 12, k = j / 2 % 6, c = j % 2;
    out[j] = static_cast<int16_t>(
        clip((in[2 * (7 * g + k) + c] * (6 - k) + in[2 * (7 * g + k + 1) + c] * (k + 1)) / 7));
  }
  for (int s = 0; s < groups; ++s) ref_encode_sound_group(encoder, out + 224 * s, region + 128 * s);
}

}  // namespace kv9::test
