#include "tools/source_audio_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "tools/pseudo_random.h"

namespace kv9::builder {
namespace {

// Block layout: byte 0 filter (high nibble) and range (low nibble), byte 1 spare, then the
// samples two to a byte, the earlier one in the low nibble.
inline constexpr std::size_t kBlockSpareAt = 1;
inline constexpr int kNibbleBits = 4;
inline constexpr int32_t kNibbleMask = 15;
inline constexpr int kBlockNibbleBytes = static_cast<int>(kSamplesPerBlock / 2);
static_assert(kBlockSamplesAt + kBlockNibbleBytes == kBlockBytes);
inline constexpr uint32_t kUnbounded = UINT32_MAX;
inline constexpr int kCandidates = kFilterCount * (kMaxShift + 1);

inline int32_t scaled_amplitude(double amplitude) {
  return static_cast<int32_t>(std::lround(amplitude * kFullScale));
}

// Fraction of the period elapsed at sample n, 0 <= phase < 1.
inline double period_phase(double frequency_hz, uint64_t n) {
  const double cycles = frequency_hz * static_cast<double>(n) / kSourceSampleRate;
  return cycles - std::floor(cycles);
}

struct Candidate {
  int filter;
  int shift;
};

// A filter and shift tried over a block: the nibbles, the decoded samples, the history after
// the block and the summed absolute error against the wanted samples.
struct Trial {
  Candidate candidate;
  uint32_t error;
  ChannelHistory history;
  int32_t nibbles[kSamplesPerBlock];
  int16_t decoded[kSamplesPerBlock];
};

// Tries one candidate from `history`. Gives up as soon as the summed error passes `bound` (the
// error is then only known to be larger). Prediction, 16-bit saturation and history are the
// decoder's, sample for sample.
void try_candidate(const ChannelHistory& history, const int32_t* target, Candidate c,
                   uint32_t bound, Trial& trial) {
  const int32_t k0 = adpcm_filter_table[c.filter].filter_k0;
  const int32_t k1 = adpcm_filter_table[c.filter].filter_k1;
  const int32_t step = int32_t{1} << c.shift;
  const int32_t half = step >> 1;
  int32_t prev1 = history.prev1;
  int32_t prev2 = history.prev2;
  uint32_t error = 0;
  trial.candidate = c;
  for (std::size_t t = 0; t < kSamplesPerBlock && error <= bound; ++t) {
    const int32_t p = (prev1 * k0 + prev2 * k1) >> kFilterWeightBits;
    const int32_t q = std::clamp((target[t] - p + half) >> c.shift, kNibbleMin, kNibbleMax);
    const int32_t v = clamp16(q * step + p);
    error += static_cast<uint32_t>(std::abs(target[t] - v));
    trial.nibbles[t] = q;
    trial.decoded[t] = static_cast<int16_t>(v);
    prev2 = prev1;
    prev1 = v;
  }
  trial.error = error;
  trial.history = {prev1, prev2};
}

// The order in which the candidates (every filter with every range) are tried, likely winners
// first, so that the others give up after a few samples. Filters come in the order of the residual
// their prediction leaves when it is fed the wanted samples themselves; each filter's shifts start
// from the smallest one that holds that residual's peak in the nibble range and move outwards.
using TrialOrder = std::array<Candidate, kCandidates>;

void order_candidates(const ChannelHistory& history, const int32_t* target, TrialOrder& order) {
  int64_t residual[kFilterCount];
  int likely_shift[kFilterCount];
  int filters[kFilterCount];
  for (int f = 0; f < kFilterCount; ++f) {
    const int32_t k0 = adpcm_filter_table[f].filter_k0;
    const int32_t k1 = adpcm_filter_table[f].filter_k1;
    int32_t prev1 = history.prev1;
    int32_t prev2 = history.prev2;
    int64_t sum = 0;
    int32_t peak = 0;
    for (std::size_t t = 0; t < kSamplesPerBlock; ++t) {
      const int32_t r = std::abs(target[t] - ((prev1 * k0 + prev2 * k1) >> kFilterWeightBits));
      sum += r;
      peak = std::max(peak, r);
      prev2 = prev1;
      prev1 = target[t];
    }
    int shift = 0;
    while (shift < kMaxShift && peak > kNibbleMax * (int32_t{1} << shift)) ++shift;
    residual[f] = sum;
    likely_shift[f] = shift;
    filters[f] = f;
  }
  std::stable_sort(filters, filters + kFilterCount,
                   [&](int a, int b) { return residual[a] < residual[b]; });
  std::size_t n = 0;
  for (int f : filters) {
    const int s0 = likely_shift[f];
    for (int d = 0; d <= kMaxShift; ++d) {
      if (s0 + d <= kMaxShift) order[n++] = {f, s0 + d};
      if (d > 0 && s0 - d >= 0) order[n++] = {f, s0 - d};
    }
  }
}

}  // namespace

int16_t waveform_sample(const Waveform& w, uint64_t n) {
  switch (w.kind) {
    case Waveform::kTone: {
      const double s = std::sin(2 * std::numbers::pi * period_phase(w.frequency_hz, n));
      return static_cast<int16_t>(
          clamp16(static_cast<int32_t>(std::lround(s * w.amplitude * kFullScale))));
    }
    case Waveform::kNoise: {
      const int32_t a = clamp16(scaled_amplitude(w.amplitude));
      if (a <= 0) return 0;
      const uint64_t span = 2 * static_cast<uint64_t>(a) + 1;
      return static_cast<int16_t>(static_cast<int32_t>(mix_seed(w.seed, n) % span) - a);
    }
    case Waveform::kSquare:
      return period_phase(w.frequency_hz, n) < 0.5 ? int16_t{32767} : int16_t{-32768};
    case Waveform::kConstant:
      return static_cast<int16_t>(clamp16(w.constant));
    case Waveform::kSilence:
      break;
  }
  return 0;
}

void waveform_samples(const Waveform& w, uint64_t first, std::size_t count, int16_t* out) {
  for (std::size_t i = 0; i < count; ++i) out[i] = waveform_sample(w, first + i);
}

uint32_t encode_source_block(ChannelHistory& history, const int16_t* samples, uint8_t* block,
                             int16_t* reconstruction) {
  int32_t target[kSamplesPerBlock];
  for (std::size_t t = 0; t < kSamplesPerBlock; ++t) target[t] = samples[t];

  // Every candidate is tried; the first of the least error is kept. Trying the likely winners
  // first lets the others give up after a few samples.
  TrialOrder order;
  order_candidates(history, target, order);
  Trial trials[2];
  Trial* best = &trials[0];
  Trial* next = &trials[1];
  best->error = kUnbounded;
  for (const Candidate& c : order) {
    try_candidate(history, target, c, best->error, *next);
    if (next->error < best->error) std::swap(best, next);
    if (best->error == 0) break;  // nothing can do better
  }

  block[kBlockParameterAt] = static_cast<uint8_t>((best->candidate.filter << kNibbleBits) |
                                                  (kMaxShift - best->candidate.shift));
  block[kBlockSpareAt] = static_cast<uint8_t>(best->error);  // not read by the decoder
  for (int j = 0; j < kBlockNibbleBytes; ++j) {
    block[kBlockSamplesAt + j] =
        static_cast<uint8_t>((best->nibbles[2 * j] & kNibbleMask) |
                             ((best->nibbles[2 * j + 1] & kNibbleMask) << kNibbleBits));
  }
  if (reconstruction != nullptr) {
    for (std::size_t t = 0; t < kSamplesPerBlock; ++t) reconstruction[t] = best->decoded[t];
  }
  history = best->history;
  return best->error;
}

void encode_frame_payload(ChannelSound& sound, uint8_t* payload, int16_t* reconstruction) {
  int16_t samples[kSamplesPerBlock];
  for (std::size_t b = 0; b < kBlocksPerFrame; ++b) {
    waveform_samples(sound.wave, sound.next_sample, kSamplesPerBlock, samples);
    sound.next_sample += kSamplesPerBlock;
    encode_source_block(
        sound.history, samples, payload + b * kBlockBytes,
        reconstruction == nullptr ? nullptr : reconstruction + b * kSamplesPerBlock);
  }
}

}  // namespace kv9::builder
