#include "vidcopy/video_only_stream.h"

namespace kv9 {

void init_video_only(VideoOnlyState& state) {
  init_video_sector(state.sector, kVideoOnlySubheader, kVideoOnlySectorsPerFrame);
  state.staging.fill(0);
}

void convert_movie_video_only(MovieJob& job, VideoOnlyState& state) {
  if (!begin_movie_output(job, "kv9_", ".str")) return;

  write_stream_header(job.output);
  for (uint32_t l = 0; l < job.frames; ++l) {
    read_next_frame(job);
    // Chunks 0 to 7 only: the frame's last 192 bytes of video data are not carried.
    gather_frame_video(job.frame, state.staging.data());
    set_frame_fields(state.sector, l + 1, kVideoOnlySectorsPerFrame, state.staging.data());
    for (uint8_t j = 0; j < kVideoOnlySectorsPerFrame; ++j) {
      write_video_sector(job.output, state.sector, state.staging, j);
    }
  }
  console_printf(*job.console, "\ndone. (%d frame)\n", static_cast<int>(job.frames));
  finish_movie_output(job);
}

}  // namespace kv9
