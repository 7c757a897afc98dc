// Test pictures for synthetic movies: each frame's video data carries a DC-only bitstream of a
// 320x224 picture that says which frame it is, to a person and to a test. Macroblock rows 0 to
// 10: colour bars that move one bar per frame; across rows 3 to 7 a black band shows the frame's
// number counted from 1 (frame index mod 2^16, plus 1) in white digits of a 5x7 block font, one
// flat 8x8 luma block per font pixel. Row 11: four grey steps inside every macroblock (shows the
// luma block order). Row 12: the frame index, 16 bits, and a check nibble. Row 13: the movie
// number (8 bits), the disc (4 bits), a check nibble and a fixed marker. A bit is a white (luma
// DC +400) or black (-400) macroblock, most significant bit leftmost.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/layout.h"

namespace kv9::builder {

inline constexpr int kMacroblockSize = 16;
inline constexpr int kMacroblockColumns = kPictureWidth / kMacroblockSize;
inline constexpr int kMacroblockRows = kPictureHeight / kMacroblockSize;
inline constexpr int kMacroblocks = kMacroblockColumns * kMacroblockRows;
static_assert(kMacroblocks == 280);

// Blocks of a macroblock in stream order; Y0..Y3 are top-left, top-right, bottom-left,
// bottom-right 8x8 luma blocks, Cr and Cb cover the macroblock.
enum PatternBlock { kCrBlock, kCbBlock, kY0Block, kY1Block, kY2Block, kY3Block };
inline constexpr int kBlocksPerMacroblock = 6;
inline constexpr int kPatternBlocks = kMacroblocks * kBlocksPerMacroblock;

// One block: a 10-bit two's-complement DC value, then the end-of-block code '10'.
inline constexpr int kDcBits = 10;
inline constexpr int32_t kDcMin = -512;
inline constexpr int32_t kDcMax = 511;
inline constexpr uint32_t kEndOfBlockCode = 0b10;
inline constexpr int kEndOfBlockBits = 2;
inline constexpr int kBitsPerBlock = kDcBits + kEndOfBlockBits;
inline constexpr int kWordBits = 16;
inline constexpr std::size_t kBitstreamBytes = kPatternBlocks * kBitsPerBlock / 8;
static_assert(kPatternBlocks * kBitsPerBlock % kWordBits == 0);  // ends on a word boundary
static_assert(kBitstreamBytes == 2520);

// Frame head (kFrameHeadBytes): four 16-bit little-endian fields before the bitstream.
inline constexpr uint32_t kHeadLength = 210;  // 32-byte units of the expanded code list
static_assert(kHeadLength * 32 == kPatternBlocks * 2 * 2);
inline constexpr uint32_t kHeadMarker = 0x3800;
inline constexpr uint32_t kHeadVersion = 2;  // absolute 10-bit DC values
inline constexpr std::size_t kHeadLengthAt = 0;
inline constexpr std::size_t kHeadMarkerAt = 2;
inline constexpr std::size_t kHeadQuantiserAt = 4;
inline constexpr std::size_t kHeadVersionAt = 6;
inline constexpr std::size_t kPatternBytes = kFrameHeadBytes + kBitstreamBytes;
static_assert(kPatternBytes == 2528 && kPatternBytes < kFrameVideoBytes);

// Picture rows and the label bits.
inline constexpr int kBarRows = 11;
inline constexpr int kGreyStepRow = 11;
inline constexpr int kFrameLabelRow = 12;
inline constexpr int kMovieLabelRow = 13;
inline constexpr int kBarWidth = 2;  // macroblocks
inline constexpr int kFrameBits = 16;
inline constexpr int kMovieBits = 8;
inline constexpr int kDiscBits = 4;
inline constexpr int kCheckBits = 4;
inline constexpr uint32_t kCheckSalt = 0x5;     // an all-black or all-white row never checks
inline constexpr uint32_t kRowMarker = 0b1010;  // last four macroblocks of the movie row
inline constexpr int kMarkerBits = 4;
inline constexpr int32_t kWhiteDc = 400;   // decodes to luma 228
inline constexpr int32_t kBlackDc = -400;  // decodes to luma 28
static_assert(kBarRows + 3 == kMacroblockRows && kMovieLabelRow == kMacroblockRows - 1);
static_assert(kFrameBits + kCheckBits == kMacroblockColumns);
static_assert(kMovieBits + kDiscBits + kCheckBits + kMarkerBits == kMacroblockColumns);

// What a picture says. The picture carries frame mod 2^16, movie mod 2^8 and disc mod 2^4.
struct FrameLabel {
  uint32_t frame = 0;
  uint32_t movie = 0;
  uint32_t disc = 0;
};

// DC values of all blocks in stream order: macroblocks column by column, each top to bottom,
// six blocks each.
using PatternDcs = std::array<int16_t, kPatternBlocks>;

inline constexpr int pattern_dc_index(int column, int row, PatternBlock block) {
  return (column * kMacroblockRows + row) * kBlocksPerMacroblock + block;
}

void pattern_dcs(const FrameLabel& label, PatternDcs& dcs);

// Bits of the two label rows, leftmost macroblock first: the frame and its check nibble; the
// movie, the disc, their check nibble and the marker.
uint32_t frame_row_bits(const FrameLabel& label);
uint32_t movie_row_bits(const FrameLabel& label);

// The 16320 bytes of a frame's video data: frame head (quantiser scale frame + 1), bitstream,
// then pseudo-random bytes from `padding_seed` up to the end.
void make_frame_video_data(const FrameLabel& label, uint64_t padding_seed, uint8_t* video);

}  // namespace kv9::builder
