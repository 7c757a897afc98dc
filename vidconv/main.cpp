// vidconv: converts movies into interleaved raw-sector streams "kv9x%d%02d.str": the video
// re-packed into video sectors and the sound re-encoded as 37.8 kHz XA ADPCM audio sectors.
#include "common/extractor_main.h"
#include "platform/program_entry.h"
#include "vidconv/interleaved_stream.h"

int kv9::tool_main(int argc, char** argv) {
  static ExtractorRun run;
  const ExtractorTool<InterleavedState> tool = {
      {"vidconv", "USAGE:vidconv D:kv9disc?.img <n-m>\n",
       "Writes movies of a disc image as raw-sector movie streams kv9xDNN.str, video sectors and\n"
       "37.8 kHz XA ADPCM sound, in the current directory (D the disc, NN the movie id): movie n,\n"
       "movies n to m, or every movie of the disc. Reads the image and, when present, the\n"
       "address file kv9cdadr.ini."},
      start_interleaved_run,
      convert_movie_interleaved,
      nullptr};
  return run_extractor(run, tool, argc, argv);
}
