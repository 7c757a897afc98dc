// Named sizes of the source disc layout and of the raw-sector stream, tied together so a reader
// sees where every number comes from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv9 {

// --- Source disc: 2048-byte sectors, ten per movie frame -------------------------------------
inline constexpr std::size_t kSectorSize = 2048;
inline constexpr std::size_t kSectorHeaderBytes = 8;  // tag and five bytes, see below
inline constexpr std::size_t kFrameSectors = 10;      // SMN, SMR, eight SMJ
inline constexpr std::size_t kFrameBytes = kFrameSectors * kSectorSize;
static_assert(kFrameBytes == 20480);

inline constexpr std::size_t kSmnSector = 0;       // left audio
inline constexpr std::size_t kSmrSector = 1;       // right audio
inline constexpr std::size_t kFirstSmjSector = 2;  // first of the eight video sectors
inline constexpr std::size_t kSmjSectors = 8;
static_assert(kFirstSmjSector + kSmjSectors == kFrameSectors);

// Sector header:
//   0  3  tag: "SMN" (left audio), "SMR" (right audio) or "SMJ" (video)
//   3  1  0x01
//   4  1  the sector's place in its frame, 0 to 9
//   5  1  the frame's last place, 0x09
//   6  2  frame counter, little-endian: zero in a movie's first frame
using HeaderTag = std::array<uint8_t, 3>;
inline constexpr HeaderTag kSmnTag = {'S', 'M', 'N'};
inline constexpr HeaderTag kSmrTag = {'S', 'M', 'R'};
inline constexpr HeaderTag kSmjTag = {'S', 'M', 'J'};
inline constexpr std::size_t kHeaderTagBytes = kSmnTag.size();
inline constexpr std::size_t kHeaderVersionAt = 3;
inline constexpr uint8_t kHeaderVersion = 0x01;
inline constexpr std::size_t kHeaderSectorAt = 4;
inline constexpr std::size_t kHeaderLastSectorAt = 5;
inline constexpr uint8_t kHeaderLastSector = kFrameSectors - 1;
inline constexpr std::size_t kHeaderCounterAt = 6;
static_assert(kHeaderTagBytes == kHeaderVersionAt && kHeaderLastSector == 0x09);
static_assert(kHeaderCounterAt + 2 == kSectorHeaderBytes);

// The tag of the sector at place `s` of a frame.
inline constexpr const HeaderTag& sector_tag(std::size_t s) {
  return s == kSmnSector ? kSmnTag : (s == kSmrSector ? kSmrTag : kSmjTag);
}

// The whole header of the sector at place `s` of a movie's first frame, counter zero.
using SectorHeader = std::array<uint8_t, kSectorHeaderBytes>;
inline constexpr SectorHeader first_frame_header(std::size_t s) {
  const HeaderTag& tag = sector_tag(s);
  SectorHeader h{};
  for (std::size_t i = 0; i < kHeaderTagBytes; ++i) h[i] = tag[i];
  h[kHeaderVersionAt] = kHeaderVersion;
  h[kHeaderSectorAt] = static_cast<uint8_t>(s);
  h[kHeaderLastSectorAt] = kHeaderLastSector;
  return h;
}

// Audio payload: bytes 368..2047 of the SMN and SMR sectors, 105 blocks of 16 bytes.
inline constexpr std::size_t kAudioPayloadOffset = 368;
inline constexpr std::size_t kAudioPayloadBytes = kSectorSize - kAudioPayloadOffset;
inline constexpr std::size_t kBlockBytes = 16;
inline constexpr std::size_t kBlocksPerFrame = 105;
inline constexpr std::size_t kSamplesPerBlock = 28;
static_assert(kAudioPayloadBytes == 1680);
static_assert(kBlocksPerFrame * kBlockBytes == kAudioPayloadBytes);

inline constexpr std::size_t kSamplesPerFrame = kBlocksPerFrame * kSamplesPerBlock;  // per channel
inline constexpr std::size_t kFramesPerSecond = 15;
inline constexpr std::size_t kSourceSampleRate = 44100;
static_assert(kSamplesPerFrame * kFramesPerSecond == kSourceSampleRate);

// Video payload: bytes 8..2047 of each SMJ sector; eight of them form the frame video data.
inline constexpr std::size_t kVideoPayloadOffset = kSectorHeaderBytes;
inline constexpr std::size_t kVideoPayloadBytes = kSectorSize - kVideoPayloadOffset;
inline constexpr std::size_t kFrameVideoBytes = kSmjSectors * kVideoPayloadBytes;
static_assert(kVideoPayloadBytes == 2040);
static_assert(kFrameVideoBytes == 16320);
// The frame video data opens with an 8-byte frame head, which every video sector repeats.
inline constexpr std::size_t kFrameHeadBytes = 8;

// --- Raw-sector stream: 44-byte header, 2352-byte Mode 2 sectors -------------------------------
inline constexpr std::size_t kStreamHeaderBytes = 44;
inline constexpr std::size_t kRawSectorSize = 2352;
inline constexpr std::size_t kSectorPrefixBytes = 24;  // sync, header, subheader twice
inline constexpr std::size_t kVideoSectorHeaderBytes = 32;
inline constexpr std::size_t kVideoTemplateBytes = kSectorPrefixBytes + kVideoSectorHeaderBytes;
inline constexpr std::size_t kVideoChunkBytes = 2016;
inline constexpr std::size_t kVideoTailBytes = 280;  // EDC and ECC, written as zeros
static_assert(kVideoTemplateBytes + kVideoChunkBytes + kVideoTailBytes == kRawSectorSize);

inline constexpr uint16_t kPictureWidth = 320;  // stated in every video sector
inline constexpr uint16_t kPictureHeight = 224;

inline constexpr std::size_t kChunksInEightSectors = 8;
inline constexpr std::size_t kMaxVideoChunks = 9;  // the ninth carries the frame's last 192 bytes
inline constexpr std::size_t kCarriedByEightChunks = kChunksInEightSectors * kVideoChunkBytes;
static_assert(kCarriedByEightChunks == 16128);
static_assert(kFrameVideoBytes - kCarriedByEightChunks == 192);
// Staging area for the frame video data: nine sectors' worth, zeros past the frame video data,
// so that chunk 8 reads its 1824 trailing zeros from it.
inline constexpr std::size_t kVideoStagingBytes = 9 * kSectorSize;
static_assert(kVideoStagingBytes == 18432);
static_assert(kMaxVideoChunks * kVideoChunkBytes <= kVideoStagingBytes);

// XA audio sector: 18 sound groups of 128 bytes, then 24 zero bytes.
inline constexpr std::size_t kSoundGroupBytes = 128;
inline constexpr std::size_t kSoundGroupsPerSector = 18;
inline constexpr std::size_t kXaAudioBytes = kSoundGroupsPerSector * kSoundGroupBytes;
inline constexpr std::size_t kAudioTailBytes = 24;
static_assert(kXaAudioBytes == 2304);
static_assert(kSectorPrefixBytes + kXaAudioBytes + kAudioTailBytes == kRawSectorSize);

inline constexpr std::size_t kPairsPerSoundGroup = 112;  // four unit pairs of 28
inline constexpr std::size_t kXaPairsPerSector = kSoundGroupsPerSector * kPairsPerSoundGroup;
static_assert(kXaPairsPerSector == 2016);

// One audio sector's source: 84 block pairs (2352 pairs at 44.1 kHz -> 2016 at 37.8 kHz).
inline constexpr std::size_t kBlockPairBytes = 2 * kBlockBytes;
inline constexpr std::size_t kRegionBlockPairs = 84;
inline constexpr std::size_t kRegionBytes = kRegionBlockPairs * kBlockPairBytes;
inline constexpr std::size_t kRegionPairs = kRegionBlockPairs * kSamplesPerBlock;
static_assert(kRegionBytes == 2688 && kRegionPairs == 2352);
static_assert(kRegionPairs * 6 == kXaPairsPerSector * 7);  // 44.1 kHz * 6/7 = 37.8 kHz

// Four movie frames make one cycle: 105 block pairs each, five audio sectors.
inline constexpr std::size_t kCycleFrames = 4;
inline constexpr std::size_t kCycleAudioSectors = 5;
inline constexpr std::size_t kFrameBlockPairBytes = kBlocksPerFrame * kBlockPairBytes;
inline constexpr std::size_t kAudioBufferBytes = kCycleFrames * kFrameBlockPairBytes;
static_assert(kFrameBlockPairBytes == 3360 && kAudioBufferBytes == 13440);
static_assert(kCycleAudioSectors * kRegionBytes == kAudioBufferBytes);

}  // namespace kv9
