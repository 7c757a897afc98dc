// vidcopy: writes the video of movies as video-only raw-sector streams "kv9_%d%02d.str".
#include "common/extractor_main.h"
#include "platform/program_entry.h"
#include "vidcopy/video_only_stream.h"

int kv9::tool_main(int argc, char** argv) {
  static ExtractorRun run;
  const ExtractorTool<VideoOnlyState> tool = {
      {"vidcopy", "USAGE:vidcopy D:kv9disc?.img <n-m>\n",
       "Writes the video of movies of a disc image as video-only raw-sector streams kv9_DNN.str "
       "in\n"
       "the current directory (D the disc, NN the movie id): movie n, movies n to m, or every\n"
       "movie of the disc. Reads the image and, when present, the address file kv9cdadr.ini."},
      [](VideoOnlyState& state, const ExtractorRun&) { init_video_only(state); },
      convert_movie_video_only,
      nullptr};
  return run_extractor(run, tool, argc, argv);
}
