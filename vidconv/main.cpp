// vidconv: converts movies into interleaved raw-sector streams "kv9x%d%02d.str": the video
// re-packed into video sectors and the sound re-encoded as 37.8 kHz XA ADPCM audio sectors.
#include "common/extractor_main.h"
#include "vidconv/interleaved_stream.h"

namespace {

kv9::ExtractorRun run;
kv9::InterleavedState state;

void run_start(void* s) {
  kv9::start_interleaved_run(*static_cast<kv9::InterleavedState*>(s));
}

void convert(kv9::ExtractorRun& r, void* s, int32_t id) {
  kv9::convert_movie_interleaved(r, *static_cast<kv9::InterleavedState*>(s), id);
}

}  // namespace

int main(int argc, char** argv) {
  const kv9::ExtractorTool tool = {"USAGE:vidconv D:kv9disc?.img <n-m>\n", run_start, convert,
                                   &state};
  return kv9::run_extractor(run, tool, argc, argv);
}
