// vidsound: writes the sound of movies as 44.1 kHz 16-bit stereo WAVE files "kv9_%d%02d.wav".
#include "common/extractor_main.h"
#include "vidsound/movie_audio.h"

namespace {

kv9::ExtractorRun run;
kv9::MovieAudioState state;

void extract(kv9::ExtractorRun& r, void* s, int32_t id) {
  kv9::extract_movie_audio(r, *static_cast<kv9::MovieAudioState*>(s), id);
}

}  // namespace

int main(int argc, char** argv) {
  const kv9::ExtractorTool tool = {"USAGE:vidsound D:kv9disc?.img <n-m>\n", nullptr, extract,
                                   &state};
  return kv9::run_extractor(run, tool, argc, argv);
}
