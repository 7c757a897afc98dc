// Source audio for synthetic movies: the waveforms a movie channel can carry, and an encoder
// into 16-byte source audio blocks that tracks the block decoder exactly, so what a tool decodes
// from an image is known sample for sample.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/adpcm_decoder.h"
#include "common/layout.h"

namespace kv9::builder {

inline constexpr int32_t kFullScale = 32767;
inline constexpr int kFilterCount = static_cast<int>(adpcm_filter_table.size());  // 0..4

// What one channel of a movie carries. Sample n of the channel is waveform_sample(w, n),
// n counted from the movie's first sample at 44.1 kHz.
struct Waveform {
  enum Kind { kSilence, kTone, kNoise, kSquare, kConstant } kind = kSilence;
  double frequency_hz = 0;  // kTone, kSquare
  double amplitude = 0;     // fraction of full scale, 0..1 (kTone, kNoise)
  int32_t constant = 0;     // kConstant, saturated to 16 bits
  uint32_t seed = 1;        // kNoise

  friend bool operator==(const Waveform&, const Waveform&) = default;
};

// kTone: sine of amplitude * 32767 starting at phase 0; kNoise: uniform in +-amplitude * 32767,
// a fixed function of (seed, n); kSquare: +32767 for the first half of each period, -32768 for
// the second (full scale, amplitude unused); kConstant: clamp16(constant); kSilence: 0.
int16_t waveform_sample(const Waveform& w, uint64_t n);
void waveform_samples(const Waveform& w, uint64_t first, std::size_t count, int16_t* out);

// Encodes 28 samples into one source audio block. Every filter (0..4) and range (0..12) is
// weighed and the pair with the least summed absolute error against `samples` is kept; the
// nibbles are the rounded, -8..7-limited residuals against the decoder's own prediction, so
// `history` afterwards and `reconstruction` (if not null) are exactly what decode_block gives
// for the written block from the same history. Returns the summed absolute error.
uint32_t encode_source_block(ChannelHistory& history, const int16_t* samples, uint8_t* block,
                             int16_t* reconstruction);

// One channel of a movie being encoded: the waveform, the next sample index and the history,
// which runs on across blocks and frames and starts at zero with the movie.
struct ChannelSound {
  Waveform wave;
  uint64_t next_sample = 0;
  ChannelHistory history;
};

inline ChannelSound start_channel_sound(const Waveform& w) {
  return ChannelSound{w, 0, {}};
}

// Encodes the channel's next frame: 105 blocks into the 1680-byte audio payload; the 2940
// decoded samples go to `reconstruction` if not null.
void encode_frame_payload(ChannelSound& sound, uint8_t* payload, int16_t* reconstruction);

}  // namespace kv9::builder
