// vidsound: writes the sound of movies as 44.1 kHz 16-bit stereo WAVE files "kv9_%d%02d.wav".
#include "common/extractor_main.h"
#include "vidsound/movie_audio.h"

namespace {

kv9::ExtractorRun run;
kv9::MovieAudioState state;

}  // namespace

int main(int argc, char** argv) {
  const kv9::ExtractorTool<kv9::MovieAudioState> tool = {
      {"vidsound", "USAGE:vidsound D:kv9disc?.img <n-m>\n",
       "Writes the sound of movies of a disc image as 44.1 kHz 16-bit stereo WAVE files "
       "kv9_DNN.wav\n"
       "in the current directory (D the disc, NN the movie id): movie n, movies n to m, or every\n"
       "movie of the disc. Reads the image and, when present, the address file kv9cdadr.ini."},
      nullptr,
      kv9::extract_movie_audio};
  return kv9::run_extractor(run, tool, state, argc, argv);
}
