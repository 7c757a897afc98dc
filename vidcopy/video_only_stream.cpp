#include "vidcopy/video_only_stream.h"

#include <cstdio>

namespace kv9 {

void init_video_only(VideoOnlyState& state) {
  init_video_sector(state.sector, kVideoOnlySubheader, kVideoOnlySectorsPerFrame);
  state.staging.fill(0);
}

void convert_movie_video_only(ExtractorRun& run, VideoOnlyState& state, int32_t id) {
  const uint32_t frames = movie_frame_count(run, id);
  if (!begin_movie_output(run, id, "kv9_", ".str")) return;

  write_stream_header(run.output);
  for (uint32_t l = 0; l < frames; ++l) {
    read_next_frame(run);
    // Chunks 0 to 7 only: the frame's last 192 bytes of video data are not carried.
    gather_frame_video(run.frame, state.staging.data());
    set_frame_fields(state.sector, l + 1, kVideoOnlySectorsPerFrame, state.staging.data());
    for (uint8_t j = 0; j < kVideoOnlySectorsPerFrame; ++j) {
      write_video_sector(run.output, state.sector, state.staging, j);
    }
  }
  std::printf("\ndone. (%d frame)\n", static_cast<int>(frames));
  finish_movie_output(run, id);
}

}  // namespace kv9
