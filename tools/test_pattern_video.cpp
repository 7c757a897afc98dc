#include "tools/test_pattern_video.h"

#include <cmath>

#include "tools/pseudo_random.h"

namespace kv9::builder {
namespace {

struct BlockColour {
  int16_t y;
  int16_t cb;
  int16_t cr;
};

inline constexpr int kBarColours = 10;
inline constexpr int kNibbleBits = 4;
inline constexpr uint32_t kFrameLabelMask = (1u << kFrameBits) - 1;
inline constexpr uint32_t kMovieLabelMask = (1u << kMovieBits) - 1;
inline constexpr uint32_t kDiscLabelMask = (1u << kDiscBits) - 1;
inline constexpr uint32_t kDcFieldMask = (1u << kDcBits) - 1;
inline constexpr int kInnerOffset = 4;  // inner 8x8 pixels of a macroblock
inline constexpr int kInnerSize = 8;
inline constexpr int16_t kGreySteps[4] = {-300, -100, 100, 300};  // Y0, Y1, Y2, Y3

// Full-range BT.601: a component value v is coded as DC round(4 (v - 128)).
int16_t dc_of_component(double v) {
  const long dc = std::lround(4 * (v - 128));
  return static_cast<int16_t>(dc < kDcMin ? kDcMin : (dc > kDcMax ? kDcMax : dc));
}

BlockColour colour_of_rgb(double r, double g, double b) {
  return {dc_of_component(0.299 * r + 0.587 * g + 0.114 * b),
          dc_of_component(128 - 0.168736 * r - 0.331264 * g + 0.5 * b),
          dc_of_component(128 + 0.5 * r - 0.418688 * g - 0.081312 * b)};
}

const std::array<BlockColour, kBarColours>& bar_colours() {
  static const std::array<BlockColour, kBarColours> colours = {
      colour_of_rgb(255, 255, 255), colour_of_rgb(255, 255, 0), colour_of_rgb(0, 255, 255),
      colour_of_rgb(0, 255, 0),     colour_of_rgb(255, 0, 255), colour_of_rgb(255, 0, 0),
      colour_of_rgb(0, 0, 255),     colour_of_rgb(255, 128, 0), colour_of_rgb(128, 128, 128),
      colour_of_rgb(0, 0, 0),
  };
  return colours;
}

uint32_t nibble_xor(uint32_t v, int bits) {
  uint32_t x = 0;
  for (int i = 0; i < bits; i += kNibbleBits) x ^= (v >> i) & 15;
  return x;
}

uint32_t frame_row_check(uint32_t frame) {
  return nibble_xor(frame, kFrameBits) ^ kCheckSalt;
}
uint32_t movie_row_check(uint32_t movie, uint32_t disc) {
  return nibble_xor(movie, kMovieBits) ^ disc ^ kCheckSalt;
}

// Bits of a label row, leftmost macroblock first.
uint32_t frame_row_bits(const FrameLabel& label) {
  const uint32_t frame = label.frame & kFrameLabelMask;
  return (frame << kCheckBits) | frame_row_check(frame);
}
uint32_t movie_row_bits(const FrameLabel& label) {
  const uint32_t movie = label.movie & kMovieLabelMask;
  const uint32_t disc = label.disc & kDiscLabelMask;
  return (((((movie << kDiscBits) | disc) << kCheckBits) | movie_row_check(movie, disc))
          << kMarkerBits) |
         kRowMarker;
}

void set_macroblock(PatternDcs& dcs, int column, int row, BlockColour c) {
  dcs[pattern_dc_index(column, row, kCrBlock)] = c.cr;
  dcs[pattern_dc_index(column, row, kCbBlock)] = c.cb;
  for (PatternBlock y : {kY0Block, kY1Block, kY2Block, kY3Block}) {
    dcs[pattern_dc_index(column, row, y)] = c.y;
  }
}

void set_bit_row(PatternDcs& dcs, int row, uint32_t bits) {
  for (int column = 0; column < kMacroblockColumns; ++column) {
    const bool one = (bits >> (kMacroblockColumns - 1 - column)) & 1;
    set_macroblock(dcs, column, row, {static_cast<int16_t>(one ? kWhiteDc : kBlackDc), 0, 0});
  }
}

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

void pattern_dcs(const FrameLabel& label, PatternDcs& dcs) {
  const auto& colours = bar_colours();
  for (int column = 0; column < kMacroblockColumns; ++column) {
    const BlockColour bar = colours[(column / kBarWidth + label.frame) % kBarColours];
    for (int row = 0; row < kBarRows; ++row) set_macroblock(dcs, column, row, bar);
    set_macroblock(dcs, column, kGreyStepRow, {0, 0, 0});
    const PatternBlock steps[4] = {kY0Block, kY1Block, kY2Block, kY3Block};
    for (int i = 0; i < 4; ++i)
      dcs[pattern_dc_index(column, kGreyStepRow, steps[i])] = kGreySteps[i];
  }
  set_bit_row(dcs, kFrameLabelRow, frame_row_bits(label));
  set_bit_row(dcs, kMovieLabelRow, movie_row_bits(label));
}

void pack_pattern_bitstream(const PatternDcs& dcs, uint8_t* bitstream) {
  uint32_t pending = 0;  // bits not yet stored, most significant first
  int pending_bits = 0;
  std::size_t at = 0;
  for (int16_t dc : dcs) {
    pending = (pending << kBitsPerBlock) |
              ((static_cast<uint32_t>(dc) & kDcFieldMask) << kEndOfBlockBits) | kEndOfBlockCode;
    pending_bits += kBitsPerBlock;
    while (pending_bits >= kWordBits) {
      pending_bits -= kWordBits;
      put_le16(bitstream + at, pending >> pending_bits);
      at += 2;
    }
    pending &= (1u << pending_bits) - 1;
  }
}

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

void make_frame_video_data(const FrameLabel& label, uint64_t padding_seed, uint8_t* video) {
  put_le16(video + kHeadLengthAt, kHeadLength);
  put_le16(video + kHeadMarkerAt, kHeadMarker);
  put_le16(video + kHeadQuantiserAt, label.frame + 1);
  put_le16(video + kHeadVersionAt, kHeadVersion);
  PatternDcs dcs;
  pattern_dcs(label, dcs);
  pack_pattern_bitstream(dcs, video + kFrameHeadBytes);
  fill_pseudo_random(padding_seed, video + kPatternBytes, kFrameVideoBytes - kPatternBytes);
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
  const uint32_t frame = frame_row >> kCheckBits;
  const uint32_t movie = movie_row >> (kDiscBits + kCheckBits + kMarkerBits);
  const uint32_t disc = (movie_row >> (kCheckBits + kMarkerBits)) & kDiscLabelMask;
  const uint32_t movie_check = (movie_row >> kMarkerBits) & 15;
  if ((frame_row & 15) != frame_row_check(frame) || movie_check != movie_row_check(movie, disc) ||
      (movie_row & 15) != kRowMarker) {
    return false;
  }
  label = {frame, movie, disc};
  return true;
}

}  // namespace kv9::builder
