// Reading the builder's test pattern back: the DC values of a frame's bitstream, the luma
// picture they decode to, and the label a decoded picture carries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/test_pattern_video.h"

namespace kv9::test {

// Reads the blocks of a bitstream back; false when a block's end-of-block code is not '10'.
bool unpack_pattern_bitstream(const uint8_t* bitstream, builder::PatternDcs& dcs);

// Luma a decoder shows for a block of DC value `dc` (full range, halves rounded down).
inline constexpr uint8_t luma_of_dc(int32_t dc) {
  const int32_t y = (2 * dc + 1027) >> 3;
  return static_cast<uint8_t>(y < 0 ? 0 : (y > 255 ? 255 : y));
}

// The 320x224 luma picture of a bitstream, one byte per pixel, rows of `stride` bytes.
void render_pattern_luma(const builder::PatternDcs& dcs, uint8_t* luma, std::size_t stride);

// Reads the label of a decoded luma picture: the mean of the inner 8x8 pixels of each label
// macroblock against 128. False when a check nibble or the marker does not match.
bool read_frame_label(const uint8_t* luma, std::size_t stride, builder::FrameLabel& label);

}  // namespace kv9::test
