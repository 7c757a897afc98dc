// videxport: writes movies as Matroska files "kv9_%d%02d.mkv", pictures in FFV1 and sound in
// FLAC, both lossless.
#include "common/extractor_main.h"
#include "videxport/movie_export.h"

namespace {

kv9::ExtractorRun run;
kv9::MovieExportState state;

}  // namespace

int main(int argc, char** argv) {
  const kv9::ExtractorTool<kv9::MovieExportState> tool = {"USAGE:videxport D:kv9disc?.img <n-m>\n",
                                                          kv9::start_export_run, kv9::export_movie};
  const int status = kv9::run_extractor(run, tool, state, argc, argv);
  kv9::end_export_run(state);
  return status;
}
