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

  friend constexpr bool operator==(const AudioPoint&, const AudioPoint&) = default;
};

// Audio sector a of a cycle carries region a and lies at the cycle's sector 8a + 7, which is in
// the slot of the frame of phase (8a + 7) / 10. It follows the last video sector of that slot
// before it; the video sectors before it are the slot's sectors before it less the audio
// sectors among them.
constexpr std::array<AudioPoint, kCycleAudioSectors> make_audio_points() {
  std::array<AudioPoint, kCycleAudioSectors> points{};
  for (std::size_t a = 0; a < kCycleAudioSectors; ++a) {
    const std::size_t at = kAudioSectorEvery * a + kAudioSectorEvery - 1;
    const std::size_t phase = at / kSectorsPerFrameSlot;
    std::size_t video_before = at % kSectorsPerFrameSlot;
    for (std::size_t earlier = 0; earlier < a; ++earlier) {
      if (points[earlier].phase == phase) --video_before;
    }
    points[a] = {static_cast<uint32_t>(phase), static_cast<uint8_t>(video_before - 1), a};
  }
  return points;
}
inline constexpr std::array<AudioPoint, kCycleAudioSectors> kAudioPoints = make_audio_points();
static_assert(kAudioPoints == std::array<AudioPoint, kCycleAudioSectors>{
                                  {{0, 6, 0}, {1, 4, 1}, {2, 2, 2}, {3, 0, 3}, {3, 7, 4}}});

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
void start_interleaved_run(InterleavedState& state, const ExtractorRun& run);

void convert_movie_interleaved(MovieJob& job, InterleavedState& state);

}  // namespace kv9
