// videxport: writes movies as Matroska files "kv9_%d%02d.mkv", pictures in FFV1 and sound in
// FLAC, both lossless.
#include "common/extractor_main.h"
#include "platform/program_entry.h"
#include "videxport/movie_export.h"

int kv9::tool_main(int argc, char** argv) {
  static ExtractorRun run;
  const ExtractorTool<MovieExportState> tool = {
      {"videxport", "USAGE:videxport D:kv9disc?.img <n-m>\n",
       "Writes movies of a disc image as Matroska files kv9_DNN.mkv, pictures in FFV1 and sound "
       "in\n"
       "FLAC, both lossless, in the current directory (D the disc, NN the movie id): movie n,\n"
       "movies n to m, or every movie of the disc. Reads the image and, when present, the\n"
       "address file kv9cdadr.ini."},
      start_export_run,
      export_movie,
      end_export_run};
  return run_extractor(run, tool, argc, argv);
}
