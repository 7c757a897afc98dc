#include "vidconv/resampler.h"

#include <cstddef>

namespace kv9 {
namespace {

inline constexpr std::size_t kGroupInPairs = 7;
inline constexpr std::size_t kGroupOutPairs = 6;
inline constexpr std::size_t kInterpolationGroups = kRegionPairs / kGroupInPairs;
static_assert(kInterpolationGroups * kGroupInPairs == kRegionPairs);
static_assert(kInterpolationGroups * kGroupOutPairs == kXaPairsPerSector);

}  // namespace

void interpolate_sector(ResamplerBuffers& buffers) {
  for (std::size_t g = 0; g < kInterpolationGroups; ++g) {
    const int16_t* in = buffers.pcm44 + 2 * kGroupInPairs * g;
    int16_t* out = buffers.pcm37 + 2 * kGroupOutPairs * g;
    for (std::size_t c = 0; c < static_cast<std::size_t>(kDecoderChannels); ++c) {
      for (std::size_t k = 0; k < kGroupOutPairs; ++k) {
        const int32_t near_weight = static_cast<int32_t>(kGroupOutPairs - k);
        const int32_t far_weight = static_cast<int32_t>(k + 1);
        const int32_t sum = in[2 * k + c] * near_weight + in[2 * (k + 1) + c] * far_weight;
        out[2 * k + c] = static_cast<int16_t>(clamp16(sum / static_cast<int32_t>(kGroupInPairs)));
      }
    }
  }
}

void resample_sector(DecoderHistory& history, const uint8_t* region, ResamplerBuffers& buffers) {
  for (std::size_t b = 0; b < kRegionBlockPairs; ++b) {
    const uint8_t* pair = region + kBlockPairBytes * b;
    decode_block_pair(history, pair, pair + kBlockBytes, buffers.pcm44 + 2 * kSamplesPerBlock * b);
  }
  interpolate_sector(buffers);
}

}  // namespace kv9
