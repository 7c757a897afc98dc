#include "common/adpcm_decoder.h"

#include "common/layout.h"

namespace kv9 {
namespace {

// Sign-extends a 4-bit value: nibbles 8..15 stand for -8..-1.
inline int32_t nibble_value(int32_t n) {
  return n >= 8 ? n - 16 : n;
}

struct BlockParams {
  int32_t k0;
  int32_t k1;
  int shift;
};

inline BlockParams block_params(const uint8_t* block) {
  const AdpcmFilter& f = adpcm_filter_table[block_filter(block[kBlockParameterAt])];
  return {f.filter_k0, f.filter_k1, block_shift(block[kBlockParameterAt])};
}

// One sample: prediction from the history (arithmetic shift, rounding toward minus infinity),
// plus the scaled 4-bit value, saturated; the saturated value becomes the new history.
inline int32_t decode_sample(ChannelHistory& h, const BlockParams& p, int32_t nibble) {
  int32_t d = nibble_value(nibble) * (int32_t{1} << p.shift);
  int32_t pred = (h.prev1 * p.k0 + h.prev2 * p.k1) >> kFilterWeightBits;
  int32_t v = d + pred;
  // Saturation is rare in real sound: a branch the processor predicts keeps the clamp off the
  // chain that runs from one sample to the next.
  if (__builtin_expect(v != static_cast<int16_t>(v), 0)) v = clamp16(v);
  h.prev2 = h.prev1;
  h.prev1 = v;
  return v;
}

}  // namespace

void decode_block_pair(DecoderHistory& history, const uint8_t* left, const uint8_t* right,
                       int16_t* pairs) {
  const BlockParams pl = block_params(left);
  const BlockParams pr = block_params(right);
  ChannelHistory hl = history.channel[0];
  ChannelHistory hr = history.channel[1];
  for (std::size_t j = 0; j < kSamplesPerBlock / 2; ++j) {
    const uint8_t bl = left[kBlockSamplesAt + j];
    const uint8_t br = right[kBlockSamplesAt + j];
    int16_t* out = pairs + 4 * j;
    out[0] = static_cast<int16_t>(decode_sample(hl, pl, bl & 15));
    out[1] = static_cast<int16_t>(decode_sample(hr, pr, br & 15));
    out[2] = static_cast<int16_t>(decode_sample(hl, pl, bl >> 4));
    out[3] = static_cast<int16_t>(decode_sample(hr, pr, br >> 4));
  }
  history.channel[0] = hl;
  history.channel[1] = hr;
}

}  // namespace kv9
