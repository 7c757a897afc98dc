// Deterministic pseudo-random bytes for filler sectors, unused header areas, video padding and
// noise: splitmix64, eight bytes at a time, seeded per sector or per frame so any part of an
// image can be produced on its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/output_file.h"

namespace kv9::builder {

inline constexpr uint64_t kSplitmixIncrement = 0x9E3779B97F4A7C15ull;

inline constexpr uint64_t splitmix64_mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Next value of a splitmix64 stream whose state is `state`.
inline uint64_t splitmix64_next(uint64_t& state) {
  state += kSplitmixIncrement;
  return splitmix64_mix(state);
}

// Combines a seed with one more key (sector index, frame index, ...) into a new seed.
inline constexpr uint64_t mix_seed(uint64_t seed, uint64_t key) {
  return splitmix64_mix(seed ^ splitmix64_mix(key + kSplitmixIncrement));
}

// Fills `n` bytes with the splitmix64 stream started from `seed`, little-endian words.
inline void fill_pseudo_random(uint64_t seed, uint8_t* out, std::size_t n) {
  uint64_t state = seed;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t v = splitmix64_next(state);
    put_le32(out + i, static_cast<uint32_t>(v));
    put_le32(out + i + 4, static_cast<uint32_t>(v >> 32));
  }
  if (i < n) {
    uint64_t last = splitmix64_next(state);
    for (; i < n; ++i, last >>= 8) out[i] = static_cast<uint8_t>(last);
  }
}

}  // namespace kv9::builder
