#include "vidconv/xa_encoder.h"

namespace kv9 {
namespace {

// The search runs all 104 trials of a unit pair (52 candidates per channel) side by side, one
// lane each, sample by sample: lane l < 52 is left candidate l, lane 52 + m right candidate m.
// Lanes past 104 are padding (right channel, candidate 0) whose errors nobody reads.
inline constexpr std::size_t kLaneBlock = 16;  // int32 lanes of the widest vector
inline constexpr std::size_t kSearchTrials = kDecoderChannels * kXaCandidates;
inline constexpr std::size_t kSearchLanes =
    (kSearchTrials + kLaneBlock - 1) / kLaneBlock * kLaneBlock;
static_assert(kSearchLanes == 112);

// Per-lane constants: filter weights, shift, and an all-ones mask on right-channel lanes.
struct SearchLanes {
  alignas(64) int32_t k0[kSearchLanes];
  alignas(64) int32_t k1[kSearchLanes];
  alignas(64) int32_t shift[kSearchLanes];
  alignas(64) int32_t right[kSearchLanes];
};

constexpr SearchLanes make_search_lanes() {
  SearchLanes t{};
  for (std::size_t l = 0; l < kSearchLanes; ++l) {
    const bool is_right = l >= static_cast<std::size_t>(kXaCandidates);
    const int m = l < kSearchTrials ? static_cast<int>(l % kXaCandidates) : 0;
    const AdpcmFilter& f = adpcm_filter_table[static_cast<std::size_t>(m % kXaFilters)];
    t.k0[l] = f.filter_k0;
    t.k1[l] = f.filter_k1;
    t.shift[l] = m / kXaFilters;
    t.right[l] = is_right ? -1 : 0;
  }
  return t;
}

constexpr SearchLanes search_lanes = make_search_lanes();

// The trials' running state and each trial's quantised samples.
struct SearchState {
  alignas(64) int32_t prev1[kSearchLanes];
  alignas(64) int32_t prev2[kSearchLanes];
  alignas(64) uint32_t error[kSearchLanes];
  alignas(64) int32_t nibbles[kSamplesPerBlock][kSearchLanes];
};

// All trials of one unit pair (28 stereo pairs) to the end: each lane encodes its candidate
// sample by sample (prediction, 4-bit value, reconstruction, error), written so that the loop
// over lanes vectorises. Compiled once for each instruction set below.
[[gnu::always_inline]] inline void search_unit_pair(SearchState& __restrict s,
                                                    const int16_t* __restrict pairs) {
  for (std::size_t n = 0; n < kSamplesPerBlock; ++n) {
    const int32_t left = pairs[2 * n];
    const int32_t step_right = pairs[2 * n + 1] - left;  // 17 bits: keeps the lanes 32-bit
    for (std::size_t l = 0; l < kSearchLanes; ++l) {
      const int32_t x = left + (step_right & search_lanes.right[l]);
      const int32_t shift = search_lanes.shift[l];
      const int32_t p =
          (s.prev1[l] * search_lanes.k0[l] + s.prev2[l] * search_lanes.k1[l]) >> kFilterWeightBits;
      int32_t q = (x - p) >> shift;
      q = q < kNibbleMin ? kNibbleMin : q;
      q = q > kNibbleMax ? kNibbleMax : q;
      const int32_t r = clamp16(p + q * (int32_t{1} << shift));
      const int32_t d = x - r;
      s.nibbles[n][l] = q;
      s.prev2[l] = s.prev1[l];
      s.prev1[l] = r;
      s.error[l] += static_cast<uint32_t>(d < 0 ? -d : d);
    }
  }
}

// The search for AVX-512, for AVX2 and for any x86-64, and the widest one the processor
// offers, chosen once at start. (A function pointer rather than GCC's target clones, whose
// ifunc resolvers Windows executables lack.)
using SearchFunction = void (*)(SearchState& __restrict, const int16_t* __restrict);

[[gnu::target("avx512f")]] void search_avx512(SearchState& __restrict s,
                                              const int16_t* __restrict pairs) {
  search_unit_pair(s, pairs);
}
[[gnu::target("avx2")]] void search_avx2(SearchState& __restrict s,
                                         const int16_t* __restrict pairs) {
  search_unit_pair(s, pairs);
}
void search_plain(SearchState& __restrict s, const int16_t* __restrict pairs) {
  search_unit_pair(s, pairs);
}

constexpr SearchFunction kSearchOf[] = {search_plain, search_avx2, search_avx512};

bool processor_offers(XaSearchPath path) {
  __builtin_cpu_init();
  switch (path) {
    case XaSearchPath::kAvx512:
      return __builtin_cpu_supports("avx512f");
    case XaSearchPath::kAvx2:
      return __builtin_cpu_supports("avx2");
    case XaSearchPath::kPlain:
      break;
  }
  return true;
}

XaSearchPath widest_offered() {
  for (const XaSearchPath path : {XaSearchPath::kAvx512, XaSearchPath::kAvx2}) {
    if (processor_offers(path)) return path;
  }
  return XaSearchPath::kPlain;
}

XaSearchPath search_path = widest_offered();
SearchFunction search = kSearchOf[static_cast<int>(search_path)];

// Strictly least error; a tie keeps the lower candidate number.
int best_candidate(const uint32_t* error) {
  int best = 0;
  uint32_t least = error[0];
  for (int m = 1; m < kXaCandidates; ++m) {
    if (error[m] < least) {
      least = error[m];
      best = m;
    }
  }
  return best;
}

// Encodes unit pair i of a sound group: 28 stereo pairs into parameter bytes 2i (left) and
// 2i + 1 (right) from kGroupParametersAt on, and into nibble byte 4n + i from kGroupSamplesAt on
// for each sample n.
void encode_unit_pair(EncoderHistory& history, const int16_t* pairs, uint8_t* group,
                      std::size_t i) {
  // Each lane starts from its channel's history, picked by the lane mask rather than by an
  // index computed from it: GCC 12 vectorises such an index wrongly (it uses the -1 of the
  // compare result as the index).
  const ChannelHistory& left = history.channel[0];
  const ChannelHistory& right = history.channel[1];
  const int32_t step1 = right.prev1 - left.prev1;
  const int32_t step2 = right.prev2 - left.prev2;
  SearchState s;
  for (std::size_t l = 0; l < kSearchLanes; ++l) {
    s.prev1[l] = left.prev1 + (step1 & search_lanes.right[l]);
    s.prev2[l] = left.prev2 + (step2 & search_lanes.right[l]);
    s.error[l] = 0;
  }
  search(s, pairs);

  std::array<std::size_t, kDecoderChannels> lane;
  for (std::size_t c = 0; c < lane.size(); ++c) {
    const int m = best_candidate(s.error + kXaCandidates * c);
    lane[c] = kXaCandidates * c + static_cast<std::size_t>(m);
    history.channel[c] = {s.prev1[lane[c]], s.prev2[lane[c]]};
    group[kGroupParametersAt + 2 * i + c] = parameter_byte(m % kXaFilters, m / kXaFilters);
  }
  for (std::size_t n = 0; n < kSamplesPerBlock; ++n) {
    const auto lo = static_cast<uint8_t>(s.nibbles[n][lane[0]] & 15);
    const auto hi = static_cast<uint8_t>(s.nibbles[n][lane[1]] & 15);
    group[kGroupSamplesAt + kUnitPairsPerSoundGroup * n + i] = static_cast<uint8_t>(lo | (hi << 4));
  }
}

}  // namespace

XaSearchPath xa_search_path() {
  return search_path;
}

bool use_xa_search_path(XaSearchPath path) {
  if (!processor_offers(path)) return false;
  search_path = path;
  search = kSearchOf[static_cast<int>(path)];
  return true;
}

void encode_sound_group(EncoderHistory& history, const int16_t* pairs, uint8_t* out) {
  for (std::size_t i = 0; i < kUnitPairsPerSoundGroup; ++i) {
    encode_unit_pair(history, pairs + 2 * kSamplesPerBlock * i, out, i);
  }
  for (std::size_t b = 0; b < kGroupCopyBytes; ++b) {
    out[kGroupFirstCopiesAt + b] = out[kGroupParametersAt + b];
    out[kGroupSecondCopiesAt + b] = out[kGroupParametersAt + kGroupCopyBytes + b];
  }
}

void encode_sector_audio(DecoderHistory& decoder, EncoderHistory& encoder,
                         ResamplerBuffers& buffers, uint8_t* region) {
  resample_sector(decoder, region, buffers);
  for (std::size_t s = 0; s < kSoundGroupsPerSector; ++s) {
    encode_sound_group(encoder, buffers.pcm37 + 2 * kPairsPerSoundGroup * s,
                       region + kSoundGroupBytes * s);
  }
}

}  // namespace kv9
