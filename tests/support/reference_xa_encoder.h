// Plain scalar audio sector encoding, one step at a time: every block decoded left then right,
// every output pair interpolated on its own, every candidate of every sound unit encoded in
// turn. The vectorised encoder of vidconv is checked against it.
#pragma once

#include <array>
#include <cstdint>

#include "common/adpcm_decoder.h"
#include "vidconv/resampler.h"
#include "vidconv/xa_encoder.h"

namespace kv9::test {

void reference_resample_sector(DecoderHistory& history, const uint8_t* region,
                               ResamplerBuffers& buffers);

// One trial encoding of one sound unit.
struct XaCandidate {
  uint32_t error = 0;  // sum of |input - reconstruction| over the 28 samples
  int32_t shift = 0;   // 0..12
  int32_t filter = 0;  // 0..3
  int16_t prev1 = 0;   // history: on entry the channel's, on exit the trial's last sample
  int16_t prev2 = 0;
  std::array<int8_t, kSamplesPerBlock> nibbles{};  // quantised samples, -8..7
};

// The trial encoding of one channel's 28 samples, read one stereo pair apart (samples[2n]).
// Fills nibbles and error and leaves the trial's last two reconstructed samples in prev1/prev2.
void reference_encode_candidate(XaCandidate& c, const int16_t* samples);

void reference_encode_sound_group(EncoderHistory& history, const int16_t* pairs, uint8_t* out);

void reference_encode_sector_audio(DecoderHistory& decoder, EncoderHistory& encoder,
                                   ResamplerBuffers& buffers, uint8_t* region);

}  // namespace kv9::test
