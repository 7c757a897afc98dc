// vidcopy's per-movie step: one movie to a video-only raw-sector stream "kv9_%d%02d.str",
// eight video sectors per frame.
#pragma once

#include <cstdint>

#include "common/extractor_main.h"
#include "common/stream_container.h"

namespace kv9 {

inline constexpr uint8_t kVideoOnlySectorsPerFrame = kChunksInEightSectors;

struct VideoOnlyState {
  VideoSector sector;
  VideoStaging staging{};
};

void init_video_only(VideoOnlyState& state);

// Output size of a movie of F frames: the header and eight sectors per frame.
inline constexpr uint64_t video_only_stream_bytes(uint32_t frames) {
  return kStreamHeaderBytes + uint64_t{kVideoOnlySectorsPerFrame} * kRawSectorSize * frames;
}

void convert_movie_video_only(ExtractorRun& run, VideoOnlyState& state, int32_t id);

}  // namespace kv9
