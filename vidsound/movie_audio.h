// vidsound's per-movie step: one movie's sound to "kv9_%d%02d.wav", 44.1 kHz 16-bit stereo.
//
// WAVE file:
//   0   4  "RIFF"          4  4  D + 76 (header rest 36 + trailer 40)
//   8   4  "WAVE"          12 4  "fmt "        16 4  16
//   20  2  1 (PCM)         22 2  2 channels    24 4  44100      28 4  176400 bytes/s
//   32  2  4 bytes/pair    34 2  16 bits       36 4  "data"     40 4  D = F x 11760
//   44  D  sample pairs, left then right, 16-bit little-endian
//   44+D 40  trailer "Karvelon Tidewater movie effect sound" + movie number (3 characters)
#pragma once

#include <array>
#include <cstdint>

#include "common/adpcm_decoder.h"
#include "common/extractor_main.h"
#include "common/layout.h"

namespace kv9 {

inline constexpr std::size_t kWaveHeaderBytes = 44;
inline constexpr std::size_t kWaveTrailerBytes = 40;
inline constexpr std::size_t kBytesPerPair = 4;
inline constexpr uint32_t kFrameSampleBytes = kSamplesPerFrame * kBytesPerPair;
static_assert(kFrameSampleBytes == 11760);
inline constexpr char kTrailerText[] = "Karvelon Tidewater movie effect sound";
static_assert(sizeof kTrailerText - 1 + 3 == kWaveTrailerBytes);

struct MovieAudioState {
  DecoderHistory history;
  std::array<int16_t, 2 * kSamplesPerBlock> pairs{};  // one block pair's 28 stereo pairs
  std::array<uint8_t, kFrameSampleBytes> samples{};   // one frame's sample data as written
};

// The 44-byte header of a movie of F frames.
std::array<uint8_t, kWaveHeaderBytes> wave_header(uint32_t frames);

// Decodes one frame's 105 block pairs into its 11760 bytes of sample data.
void decode_frame_audio(MovieAudioState& state, const SourceFrame& frame);

void extract_movie_audio(MovieJob& job, MovieAudioState& state);

}  // namespace kv9
