// Plain scalar audio sector encoding, written step by step as the format's rules read: every
// block decoded left then right, every output pair interpolated on its own, every candidate of
// every sound unit encoded in turn.  The vectorised encoder of vidconv is checked against it.
#pragma once

#include <cstdint>

#include "common/adpcm_decoder.h"
#include "vidconv/resampler.h"
#include "vidconv/xa_encoder.h"

namespace kv9::test {

void reference_resample_sector(DecoderHistory& history, const uint8_t* region,
                               ResamplerBuffers& buffers);

void reference_encode_candidate(XaCandidate& c, const int16_t* samples);

void reference_encode_sound_group(EncoderHistory& history, const int16_t* pairs, uint8_t* out);

void reference_encode_sector_audio(DecoderHistory& decoder, EncoderHistory& encoder,
                                   ResamplerBuffers& buffers, uint8_t* region);

}  // namespace kv9::test
