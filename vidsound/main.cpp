// vidsound: writes the sound of movies as 44.1 kHz 16-bit stereo WAVE files "kv9_%d%02d.wav".
#include "common/extractor_main.h"
#include "vidsound/movie_audio.h"

namespace {

kv9::ExtractorRun run;
kv9::MovieAudioState state;

}  // namespace

int main(int argc, char** argv) {
  const kv9::ExtractorTool<kv9::MovieAudioState> tool = {"USAGE:vidsound D:kv9disc?.img <n-m>\n",
                                                         nullptr, kv9::extract_movie_audio};
  return kv9::run_extractor(run, tool, state, argc, argv);
}
