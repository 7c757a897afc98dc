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
inline constexpr int16_t kGreySteps[4] = {-300, -100, 100, 300};  // Y0, Y1, Y2, Y3

// The frame number: a band of macroblock rows, and in it digits drawn on the grid of 8x8 luma
// blocks (two per macroblock side), one block per font pixel.
inline constexpr int kBlocksPerSide = 2;
inline constexpr int kBlockColumns = kMacroblockColumns * kBlocksPerSide;
inline constexpr int kNumberBandRow = 3;
inline constexpr int kNumberBandRows = 5;
inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;
inline constexpr int kGlyphStep = kGlyphWidth + 1;  // a blank block column between digits
inline constexpr int kNumberBlockRow = kNumberBandRow * kBlocksPerSide + 1;
inline constexpr int kMaxDigits = 5;  // up to 65536
inline constexpr uint32_t kNumberModulus = uint32_t{1} << kFrameBits;
static_assert(kNumberBandRow + kNumberBandRows <= kBarRows);
static_assert(kNumberBlockRow + kGlyphHeight < (kNumberBandRow + kNumberBandRows) * kBlocksPerSide);
static_assert(kMaxDigits * kGlyphStep <= kBlockColumns);

// Digits 0 to 9, rows top to bottom, the leftmost font pixel in bit 4.
using Glyph = std::array<uint8_t, kGlyphHeight>;
inline constexpr std::array<Glyph, 10> kDigitGlyphs = {{
    {0b01110, 0b10001, 0b10011, 0b10101, 0b11001, 0b10001, 0b01110},
    {0b00100, 0b01100, 0b00100, 0b00100, 0b00100, 0b00100, 0b01110},
    {0b01110, 0b10001, 0b00001, 0b00010, 0b00100, 0b01000, 0b11111},
    {0b11111, 0b00010, 0b00100, 0b00010, 0b00001, 0b10001, 0b01110},
    {0b00010, 0b00110, 0b01010, 0b10010, 0b11111, 0b00010, 0b00010},
    {0b11111, 0b10000, 0b11110, 0b00001, 0b00001, 0b10001, 0b01110},
    {0b00110, 0b01000, 0b10000, 0b11110, 0b10001, 0b10001, 0b01110},
    {0b11111, 0b00001, 0b00010, 0b00100, 0b01000, 0b01000, 0b01000},
    {0b01110, 0b10001, 0b10001, 0b01110, 0b10001, 0b10001, 0b01110},
    {0b01110, 0b10001, 0b10001, 0b01111, 0b00001, 0b00010, 0b01100},
}};

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

void set_macroblock(PatternDcs& dcs, int column, int row, BlockColour c) {
  dcs[pattern_dc_index(column, row, kCrBlock)] = c.cr;
  dcs[pattern_dc_index(column, row, kCbBlock)] = c.cb;
  for (PatternBlock y : {kY0Block, kY1Block, kY2Block, kY3Block}) {
    dcs[pattern_dc_index(column, row, y)] = c.y;
  }
}

// Luma block `block_column`, `block_row` of the 40x28 grid of luma blocks.
void set_luma_block(PatternDcs& dcs, int block_column, int block_row, int16_t dc) {
  const auto block =
      static_cast<PatternBlock>(kY0Block + kBlocksPerSide * (block_row % 2) + block_column % 2);
  dcs[pattern_dc_index(block_column / kBlocksPerSide, block_row / kBlocksPerSide, block)] = dc;
}

// The band, and on it the number's digits, centred.
void draw_number(PatternDcs& dcs, uint32_t number) {
  for (int row = kNumberBandRow; row < kNumberBandRow + kNumberBandRows; ++row) {
    for (int column = 0; column < kMacroblockColumns; ++column) {
      set_macroblock(dcs, column, row, {kBlackDc, 0, 0});
    }
  }
  int digits[kMaxDigits];
  int count = 0;
  do {
    digits[count++] = static_cast<int>(number % 10);
    number /= 10;
  } while (number != 0 && count < kMaxDigits);
  const int left = (kBlockColumns - (count * kGlyphStep - 1)) / 2;
  for (int d = 0; d < count; ++d) {
    const Glyph& glyph = kDigitGlyphs[digits[count - 1 - d]];
    for (int y = 0; y < kGlyphHeight; ++y) {
      for (int x = 0; x < kGlyphWidth; ++x) {
        if ((glyph[y] >> (kGlyphWidth - 1 - x)) & 1) {
          set_luma_block(dcs, left + d * kGlyphStep + x, kNumberBlockRow + y, kWhiteDc);
        }
      }
    }
  }
}

// Packs the blocks into 16-bit little-endian words filled from their most significant bit.
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

void set_bit_row(PatternDcs& dcs, int row, uint32_t bits) {
  for (int column = 0; column < kMacroblockColumns; ++column) {
    const bool one = (bits >> (kMacroblockColumns - 1 - column)) & 1;
    set_macroblock(dcs, column, row, {static_cast<int16_t>(one ? kWhiteDc : kBlackDc), 0, 0});
  }
}

}  // namespace

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
  draw_number(dcs, label.frame % kNumberModulus + 1);
  set_bit_row(dcs, kFrameLabelRow, frame_row_bits(label));
  set_bit_row(dcs, kMovieLabelRow, movie_row_bits(label));
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

}  // namespace kv9::builder
