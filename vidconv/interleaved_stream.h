// vidconv's per-movie step: one movie to an interleaved raw-sector stream "kv9x%d%02d.str".
// Four movie frames make a cycle of 40 sectors: 35 video sectors and 5 XA audio sectors, the
// audio sectors exactly at the file's sector indexes 7 mod 8.
#pragma once

#include <array>
#include <cstdint>

#include "common/extractor_main.h"
#include "common/layout.h"
#include "common/stream_container.h"
#include "vidconv/xa_encoder.h"

namespace kv9 {

inline constexpr uint8_t kFullFrameSectors = 9;   // phases 0 to 2 carry the whole video data
inline constexpr uint8_t kShortFrameSectors = 8;  // phase 3 drops the last 192 bytes
inline constexpr std::size_t kSectorsPerFrameSlot = 10;
inline constexpr std::size_t kAudioSectorEvery = 8;

// Where the audio sectors of a cycle go: after video (or zero) sector `after` of the frame of
// phase `phase`, the audio sector of block-pair region `region` follows.
struct AudioPoint {
  uint32_t phase;
  uint8_t after;
  std::size_t region;
};
inline constexpr std::array<AudioPoint, kCycleAudioSectors> kAudioPoints = {{
    {0, 6, 0},
    {1, 4, 1},
    {2, 2, 2},
    {3, 0, 3},
    {3, 7, 4},
}};

inline constexpr uint8_t video_sectors_in_phase(uint32_t phase) {
  return phase == kCycleFrames - 1 ? kShortFrameSectors : kFullFrameSectors;
}

struct InterleavedState {
  VideoSector video;
  VideoStaging staging{};                          // frame video data, zeros after it
  std::array<uint8_t, kAudioBufferBytes> audio{};  // block pairs of the cycle's 4 frames
  AudioCodecState codec;                           // decoder and encoder histories
};

// Run start: the template, and both work buffers zeroed once before the first movie.
void start_interleaved_run(InterleavedState& state);

void convert_movie_interleaved(ExtractorRun& run, InterleavedState& state, int32_t id);

}  // namespace kv9
