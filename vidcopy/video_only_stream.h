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

void convert_movie_video_only(MovieJob& job, VideoOnlyState& state);

}  // namespace kv9
