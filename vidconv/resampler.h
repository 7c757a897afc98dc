// Resampler: one audio sector's 84 source block pairs, decoded at 44.1 kHz, turned into the
// sector's 2016 stereo pairs at 37.8 kHz by a fixed 7-to-6 interpolation.
#pragma once

#include <cstdint>

#include "common/adpcm_decoder.h"
#include "common/layout.h"

namespace kv9 {

// Overwritten by every sector; pcm37 is what the XA encoder reads.
struct ResamplerBuffers {
  int16_t pcm44[2 * kRegionPairs];       // decoded region, pair 28b + t = sample t of block pair b
  int16_t pcm37[2 * kXaPairsPerSector];  // the sector's audio at 37.8 kHz
};

// Decodes the 84 block pairs of `region` (left block at 32b, right at 32b + 16, histories
// carried on from the previous sector) into pcm44, then interpolates pcm44 into pcm37.
// The region is only read.
void resample_sector(DecoderHistory& history, const uint8_t* region, ResamplerBuffers& buffers);

// The interpolation step alone: every 7 pairs of pcm44 become 6 pairs of pcm37, per channel,
// output pair k = (in[k] * (6 - k) + in[k + 1] * (k + 1)) / 7 truncated toward zero.
void interpolate_sector(ResamplerBuffers& buffers);

}  // namespace kv9
