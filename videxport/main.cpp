// videxport: writes movies as Matroska files "kv9_%d%02d.mkv", pictures in FFV1 and sound in
// FLAC, both lossless.
#include "common/extractor_main.h"
#include "videxport/movie_export.h"

namespace {

kv9::ExtractorRun run;
kv9::MovieExportState state;

}  // namespace

int main(int argc, char** argv) {
  const kv9::ExtractorTool<kv9::MovieExportState> tool = {
      {"videxport", "USAGE:videxport D:kv9disc?.img <n-m>\n",
       "Writes movies of a disc image as Matroska files kv9_DNN.mkv, pictures in FFV1 and sound "
       "in\n"
       "FLAC, both lossless, in the current directory (D the disc, NN the movie id): movie n,\n"
       "movies n to m, or every movie of the disc. Reads the image and, when present, the\n"
       "address file kv9cdadr.ini."},
      kv9::start_export_run,
      kv9::export_movie};
  const int status = kv9::run_extractor(run, tool, state, argc, argv);
  kv9::end_export_run(state);
  return status;
}
