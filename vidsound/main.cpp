// vidsound: writes the sound of movies as 44.1 kHz 16-bit stereo WAVE files "kv9_%d%02d.wav".
#include "common/extractor_main.h"
#include "platform/program_entry.h"
#include "vidsound/movie_audio.h"

int kv9::tool_main(int argc, char** argv) {
  static ExtractorRun run;
  const ExtractorTool<MovieAudioState> tool = {
      {"vidsound", "USAGE:vidsound D:kv9disc?.img <n-m>\n",
       "Writes the sound of movies of a disc image as 44.1 kHz 16-bit stereo WAVE files "
       "kv9_DNN.wav\n"
       "in the current directory (D the disc, NN the movie id): movie n, movies n to m, or every\n"
       "movie of the disc. Reads the image and, when present, the address file kv9cdadr.ini."},
      nullptr,
      extract_movie_audio,
      nullptr};
  return run_extractor(run, tool, argc, argv);
}
