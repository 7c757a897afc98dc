// The raw-sector movie stream: a 44-byte RIFF/CDXA header, then 2352-byte Mode 2 sectors.
//
// Stream header:
//   0   4  "RIFF"
//   4   4  0 (the chunk size is never filled in)
//   8   4  "CDXA"
//   12 32  zero
// Video sector (interleaved: subheader 01 01 48 00; video-only: 00 00 08 00):
//   0  12  sync 00 FF x10 00        12  4  zero (address and mode not filled in)
//   16  4  subheader                20  4  subheader again
//   24  2  0x0160                   26  2  0x8001
//   28  2  sector index in frame    30  2  video sectors in frame (9 or 8; 8 video-only)
//   32  4  frame number, low 16 bits set       36  4  16128 (eight chunks)
//   40  2  320 (width)              42  2  224 (height)
//   44  8  frame head: first 8 bytes of the frame video data      52  4  zero
//   56 2016 video chunk             2072 280 zero (EDC/ECC not computed)
// Audio sector: prefix with subheader 01 01 64 01, 2304 bytes of sound groups at 24, 24 zeros.
// Zero sector: 2352 zero bytes.
#pragma once

#include <array>
#include <cstdint>

#include "common/layout.h"
#include "common/output_file.h"

namespace kv9 {

using Subheader = std::array<uint8_t, 4>;  // file, channel, submode, coding information
inline constexpr Subheader kInterleavedVideoSubheader = {0x01, 0x01, 0x48, 0x00};
inline constexpr Subheader kVideoOnlySubheader = {0x00, 0x00, 0x08, 0x00};
inline constexpr Subheader kAudioSubheader = {0x01, 0x01, 0x64, 0x01};

inline constexpr uint16_t kVideoSectorMagic = 0x0160;
inline constexpr uint16_t kVideoSectorType = 0x8001;
inline constexpr uint32_t kDeclaredFrameSize = kCarriedByEightChunks;

// One whole video sector: the template fields, the chunk area and the zero tail. The frame
// fields and sector index are patched in place before each sector is written.
struct VideoSector {
  std::array<uint8_t, kRawSectorSize> bytes{};
};

void init_video_sector(VideoSector& v, const Subheader& subheader, uint8_t sectors_in_frame);
void set_frame_fields(VideoSector& v, uint32_t frame_number, uint8_t sectors_in_frame,
                      const uint8_t* frame_head);
void set_sector_index(VideoSector& v, uint8_t index);

// The frame video data: the eight video payloads of a frame joined in sector order, followed by
// zeros up to the end of the staging area.
using VideoStaging = std::array<uint8_t, kVideoStagingBytes>;

void write_stream_header(OutputFile& out);
// Writes the sector with chunk `index` of the staged frame video data (zeros past its end).
void write_video_sector(OutputFile& out, VideoSector& v, const VideoStaging& staging,
                        uint8_t index);
void write_audio_sector(OutputFile& out, const uint8_t* sound_groups);
void write_zero_sector(OutputFile& out);

}  // namespace kv9
