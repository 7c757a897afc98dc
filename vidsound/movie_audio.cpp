#include "vidsound/movie_audio.h"

#include <cstdio>
#include <cstring>

namespace kv9 {
namespace {

inline constexpr uint32_t kRiffSizeExtra = kWaveHeaderBytes - 8 + kWaveTrailerBytes;
static_assert(kRiffSizeExtra == 76);

}  // namespace

std::array<uint8_t, kWaveHeaderBytes> wave_header(uint32_t frames) {
  const uint32_t data_size = frames * kFrameSampleBytes;  // unsigned 32-bit, as the file holds it
  std::array<uint8_t, kWaveHeaderBytes> h{};
  uint8_t* p = h.data();
  std::memcpy(p, "RIFF", 4);
  put_le32(p + 4, data_size + kRiffSizeExtra);
  std::memcpy(p + 8, "WAVE", 4);
  std::memcpy(p + 12, "fmt ", 4);
  put_le32(p + 16, 16);
  put_le16(p + 20, 1);
  put_le16(p + 22, 2);
  put_le32(p + 24, kSourceSampleRate);
  put_le32(p + 28, kSourceSampleRate * kBytesPerPair);
  put_le16(p + 32, kBytesPerPair);
  put_le16(p + 34, 16);
  std::memcpy(p + 36, "data", 4);
  put_le32(p + 40, data_size);
  return h;
}

void decode_frame_audio(MovieAudioState& state, const SourceFrame& frame) {
  const uint8_t* left = audio_payload(frame, 0);
  const uint8_t* right = audio_payload(frame, 1);
  uint8_t* out = state.samples.data();
  for (std::size_t q = 0; q < kBlocksPerFrame; ++q) {
    decode_block_pair(state.history, left + kBlockBytes * q, right + kBlockBytes * q,
                      state.pairs.data());
    for (int16_t v : state.pairs) {
      put_le16(out, static_cast<uint16_t>(v));
      out += 2;
    }
  }
}

void extract_movie_audio(MovieJob& job, MovieAudioState& state) {
  reset_history(state.history);
  if (!begin_movie_output(job, "kv9_", ".wav")) return;

  const auto header = wave_header(job.frames);
  put_bytes(job.output, header.data(), header.size());
  for (uint32_t l = 0; l < job.frames; ++l) {
    read_next_frame(job);
    decode_frame_audio(state, job.frame);
    put_bytes(job.output, state.samples.data(), state.samples.size());
  }
  char trailer[kWaveTrailerBytes + 1];
  std::snprintf(trailer, sizeof trailer, "%s%d%02d", kTrailerText, job.run->disc, job.id);
  put_bytes(job.output, trailer, kWaveTrailerBytes);

  console_printf(*job.console, "\ndone. (%0.3f sec)\n",
                 static_cast<double>(job.frames) / kFramesPerSecond);
  finish_movie_output(job);
}

}  // namespace kv9
