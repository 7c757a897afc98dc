#include "support/test_pattern_reader.h"

namespace kv9::test {

using namespace builder;

namespace {

inline constexpr int kInnerOffset = 4;  // inner 8x8 pixels of a macroblock
inline constexpr int kInnerSize = 8;
inline constexpr int kLumaThreshold = 128;

uint32_t read_bit_row(const uint8_t* luma, std::size_t stride, int row) {
  uint32_t bits = 0;
  for (int column = 0; column < kMacroblockColumns; ++column) {
    uint32_t sum = 0;
    for (int y = 0; y < kInnerSize; ++y) {
      const uint8_t* line =
          luma + static_cast<std::size_t>(row * kMacroblockSize + kInnerOffset + y) * stride +
          column * kMacroblockSize + kInnerOffset;
      for (int x = 0; x < kInnerSize; ++x) sum += line[x];
    }
    bits = (bits << 1) | (sum > kLumaThreshold * kInnerSize * kInnerSize ? 1u : 0u);
  }
  return bits;
}

}  // namespace

bool unpack_pattern_bitstream(const uint8_t* bitstream, PatternDcs& dcs) {
  uint32_t pending = 0;
  int pending_bits = 0;
  std::size_t at = 0;
  bool ok = true;
  for (int16_t& dc : dcs) {
    while (pending_bits < kBitsPerBlock) {
      pending = (pending << kWordBits) | bitstream[at] | (uint32_t{bitstream[at + 1]} << 8);
      pending_bits += kWordBits;
      at += 2;
    }
    pending_bits -= kBitsPerBlock;
    const uint32_t code = (pending >> pending_bits) & ((1u << kBitsPerBlock) - 1);
    pending &= (1u << pending_bits) - 1;
    const int32_t field = static_cast<int32_t>(code >> kEndOfBlockBits);
    dc = static_cast<int16_t>(field > kDcMax ? field - (1 << kDcBits) : field);
    ok = ok && (code & ((1u << kEndOfBlockBits) - 1)) == kEndOfBlockCode;
  }
  return ok;
}

void render_pattern_luma(const PatternDcs& dcs, uint8_t* luma, std::size_t stride) {
  constexpr int kHalf = kMacroblockSize / 2;
  for (int row = 0; row < kMacroblockRows; ++row) {
    for (int column = 0; column < kMacroblockColumns; ++column) {
      for (int y = 0; y < kMacroblockSize; ++y) {
        uint8_t* line = luma + static_cast<std::size_t>(row * kMacroblockSize + y) * stride +
                        column * kMacroblockSize;
        const PatternBlock left = y < kHalf ? kY0Block : kY2Block;
        const PatternBlock right = y < kHalf ? kY1Block : kY3Block;
        const uint8_t l = luma_of_dc(dcs[pattern_dc_index(column, row, left)]);
        const uint8_t r = luma_of_dc(dcs[pattern_dc_index(column, row, right)]);
        for (int x = 0; x < kMacroblockSize; ++x) line[x] = x < kHalf ? l : r;
      }
    }
  }
}

bool read_frame_label(const uint8_t* luma, std::size_t stride, FrameLabel& label) {
  const uint32_t frame_row = read_bit_row(luma, stride, kFrameLabelRow);
  const uint32_t movie_row = read_bit_row(luma, stride, kMovieLabelRow);
  const FrameLabel read = {frame_row >> kCheckBits,
                           movie_row >> (kDiscBits + kCheckBits + kMarkerBits),
                           (movie_row >> (kCheckBits + kMarkerBits)) & ((1u << kDiscBits) - 1)};
  // The rows the builder draws for what was read must be the rows read: this checks both check
  // nibbles and the marker.
  if (frame_row_bits(read) != frame_row || movie_row_bits(read) != movie_row) return false;
  label = read;
  return true;
}

}  // namespace kv9::test
