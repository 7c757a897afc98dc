#include "support/reference_decoder.h"

#include <algorithm>

namespace kv9::test {
namespace {

// Weights of the last and of the second-last sample, in 256ths, of filters 0 to 4.
constexpr int32_t kWeights[5][2] = {{0, 0}, {240, 0}, {460, -208}, {392, -220}, {488, -240}};

}  // namespace

void decode_block(ChannelHistory& history, const uint8_t* block, int16_t* pairs, int channel) {
  const int filter = block[0] >> 4 <= 4 ? block[0] >> 4 : 0;  // 5 to 15 predict like 0
  const int shift = 12 - std::min(block[0] & 15, 12);         // range 13 to 15 is 12
  for (int t = 0; t < 28; ++t) {
    const int nibble = (block[2 + t / 2] >> (4 * (t % 2))) & 15;
    const int32_t value = nibble < 8 ? nibble : nibble - 16;
    const int32_t prediction =
        (history.prev1 * kWeights[filter][0] + history.prev2 * kWeights[filter][1]) >> 8;
    const int32_t sample = std::clamp(value * (1 << shift) + prediction, -32768, 32767);
    history.prev2 = history.prev1;
    history.prev1 = sample;
    pairs[2 * t + channel] = static_cast<int16_t>(sample);
  }
}

}  // namespace kv9::test
