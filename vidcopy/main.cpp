// vidcopy: writes the video of movies as video-only raw-sector streams "kv9_%d%02d.str".
#include "common/extractor_main.h"
#include "vidcopy/video_only_stream.h"

namespace {

kv9::ExtractorRun run;
kv9::VideoOnlyState state;

void convert(kv9::ExtractorRun& r, void* s, int32_t id) {
  kv9::convert_movie_video_only(r, *static_cast<kv9::VideoOnlyState*>(s), id);
}

}  // namespace

int main(int argc, char** argv) {
  kv9::init_video_only(state);
  const kv9::ExtractorTool tool = {"USAGE:vidcopy D:kv9disc?.img <n-m>\n", nullptr, convert,
                                   &state};
  return kv9::run_extractor(run, tool, argc, argv);
}
