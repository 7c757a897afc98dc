// vidcopy: writes the video of movies as video-only raw-sector streams "kv9_%d%02d.str".
#include "common/extractor_main.h"
#include "vidcopy/video_only_stream.h"

namespace {

kv9::ExtractorRun run;
kv9::VideoOnlyState state;

}  // namespace

int main(int argc, char** argv) {
  kv9::init_video_only(state);
  const kv9::ExtractorTool<kv9::VideoOnlyState> tool = {
      {"vidcopy", "USAGE:vidcopy D:kv9disc?.img <n-m>\n",
       "Writes the video of movies of a disc image as video-only raw-sector streams kv9_DNN.str "
       "in\n"
       "the current directory (D the disc, NN the movie id): movie n, movies n to m, or every\n"
       "movie of the disc. Reads the image and, when present, the address file kv9cdadr.ini."},
      nullptr,
      kv9::convert_movie_video_only};
  return kv9::run_extractor(run, tool, state, argc, argv);
}
