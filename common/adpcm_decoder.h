// Source audio block decoder: 16-byte blocks of 4-bit ADPCM, 28 samples of one channel each.
//
// Block layout:
//   byte 0        bits 7..4 filter number, bits 3..0 range (step 2^(12 - range))
//   byte 1        not read
//   byte 2 + j    bits 3..0 sample 2j, bits 7..4 sample 2j + 1 (two's complement, -8..7)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv9 {

inline constexpr int kDecoderChannels = 2;  // 0 left, 1 right

inline constexpr std::size_t kBlockParameterAt = 0;
inline constexpr std::size_t kBlockSamplesAt = 2;
inline constexpr int32_t kNibbleMin = -8;  // a sample's 4-bit value, two's complement
inline constexpr int32_t kNibbleMax = 7;
inline constexpr int kMaxShift = 12;         // range r gives the step 2^(12 - r)
inline constexpr int kFilterWeightBits = 8;  // filter weights are in units of 1/256

// 16-bit saturation used everywhere a value becomes a sample or a history value.
inline constexpr int32_t clamp16(int32_t v) {
  return v > 32767 ? 32767 : (v < -32768 ? -32768 : v);
}

// Prediction filters in units of 1/256: weight of the last and of the second-last sample.
struct AdpcmFilter {
  int32_t filter_k0;
  int32_t filter_k1;
};
inline constexpr std::array<AdpcmFilter, 5> adpcm_filter_table = {{
    {0, 0},
    {240, 0},
    {460, -208},
    {392, -220},
    {488, -240},
}};

// A filter number of 5..15 predicts like filter 0; a range of 13..15 is taken as 12.
inline constexpr int block_filter(uint8_t param) {
  int f = param >> 4;
  return f < static_cast<int>(adpcm_filter_table.size()) ? f : 0;
}
inline constexpr int block_shift(uint8_t param) {
  int r = param & 15;
  return kMaxShift - (r > kMaxShift ? kMaxShift : r);
}

struct ChannelHistory {
  int32_t prev1 = 0;  // last decoded sample
  int32_t prev2 = 0;  // the one before it
};

// The decoder's history: one record per channel, reset at the start of every movie.
struct DecoderHistory {
  std::array<ChannelHistory, kDecoderChannels> channel{};
};

inline void reset_history(DecoderHistory& h) {
  h = DecoderHistory{};
}

// Decodes a left and a right block into the same 28 pairs, pair t being (left sample t, right
// sample t), each channel with its own history.
void decode_block_pair(DecoderHistory& h, const uint8_t* left, const uint8_t* right,
                       int16_t* pairs);

}  // namespace kv9
