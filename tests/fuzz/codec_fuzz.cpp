// The audio path of vidconv on arbitrary data: the source block decoder, the resampler and the
// XA encoder, each against a plain version, for arbitrary 16-bit histories.
//
// Input byte 0 picks what is exercised (mode = byte 0 % 5); then come the histories (16-bit
// values) and the data, topped up with pseudo-random bytes when the input is short.
//
// Invariants:
//  0 decode: decode_block_pair, decode_block_left then decode_block_right, and a plain decoder
//    written from the block layout give the same 28 pairs and the same histories, block pair
//    after block pair; decoding one channel never touches the other channel's values.
//  1 resample: resample_sector and the plain reference give the same pcm44, pcm37 and decoder
//    histories; the region is not changed.
//  2 sound group: encode_sound_group and the plain reference give the same 128 bytes and the
//    same histories; bytes 0-3 copy 4-7 and 12-15 copy 8-11; decoding each sound unit (rebuilt
//    as a 16-byte source block from its parameter byte and nibbles) from the encoder's starting
//    history ends on the encoder's history; the decoded samples' summed error is the least of
//    all 52 candidates and the chosen candidate is the lowest-numbered one with that error.
//  3 sector: encode_sector_audio and the plain reference give the same region bytes (2304..2687
//    unchanged) and the same decoder and encoder histories; decoding all 18 sound groups from
//    the encoder's starting history ends on its history afterwards.
//  4 candidate: encode_candidate and the plain reference agree on nibbles, error and history
//    for any filter 0..3, shift 0..12, history and samples.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/adpcm_decoder.h"
#include "common/layout.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reference_xa_encoder.h"
#include "vidconv/resampler.h"
#include "vidconv/xa_encoder.h"

namespace {

using kv9::ChannelHistory;
using kv9::DecoderHistory;
using kv9::EncoderHistory;
using kv9::kBlockBytes;
using kv9::kSamplesPerBlock;
using kv9::XaCandidate;
using kv9::fuzz::fail;

constexpr int kSamples = static_cast<int>(kSamplesPerBlock);

// The input's bytes, then a pseudo-random continuation seeded by the input.
class Source {
 public:
  Source(const uint8_t* data, std::size_t size) : in_(data, size) {
    uint64_t seed = 0x243F6A8885A308D3ull;
    for (std::size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 0x100000001b3ull;
    more_.state = seed;
  }
  uint8_t u8() {
    if (!in_.empty()) return in_.u8();
    uint8_t b;
    more_.fill(&b, 1);
    return b;
  }
  int16_t i16() {
    const uint16_t lo = u8();
    return static_cast<int16_t>(lo | (u8() << 8));
  }
  void bytes(uint8_t* out, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) out[i] = u8();
  }
  ChannelHistory history() {
    ChannelHistory h;
    h.prev1 = i16();
    h.prev2 = i16();
    return h;
  }
  // Samples of one of a few kinds: raw 16-bit values, a walk of small steps, or extremes.
  void samples(int16_t* out, std::size_t n) {
    const uint8_t kind = u8();
    int32_t level = i16();
    for (std::size_t i = 0; i < n; ++i) {
      switch (kind % 4) {
        case 0:
          out[i] = i16();
          break;
        case 1:
        case 2:
          level = kv9::clamp16(level + static_cast<int8_t>(u8()) * (1 << ((kind >> 4) & 7)));
          out[i] = static_cast<int16_t>(level);
          break;
        default: {
          static constexpr int16_t kExtremes[] = {-32768, 32767, 0, -1, 1, -32767, 16384, -16385};
          out[i] = kExtremes[u8() % 8];
          break;
        }
      }
    }
  }

 private:
  kv9::fuzz::InputReader in_;
  kv9::fuzz::ByteStream more_{0};
};

void check_history(const ChannelHistory& a, const ChannelHistory& b, const char* what, int c) {
  KV9_FUZZ_CHECK(a.prev1 == b.prev1 && a.prev2 == b.prev2,
                 "%s, channel %d: history (%d, %d) vs (%d, %d)", what, c, a.prev1, a.prev2, b.prev1,
                 b.prev2);
}

template <class H>
void check_histories(const H& a, const H& b, const char* what) {
  for (int c = 0; c < kv9::kDecoderChannels; ++c)
    check_history(a.channel[c], b.channel[c], what, c);
}

void check_samples(const int16_t* a, const int16_t* b, std::size_t n, const char* what) {
  for (std::size_t i = 0; i < n; ++i) {
    KV9_FUZZ_CHECK(a[i] == b[i], "%s: value %zu is %d vs %d", what, i, a[i], b[i]);
  }
}

// A decoder written from the block layout alone: filter numbers 5..15 predict like 0, ranges
// 13..15 count as 12.
void plain_decode(ChannelHistory& h, const uint8_t* block, int16_t* out, int stride) {
  int f = block[0] >> 4;
  if (f > 4) f = 0;
  int r = block[0] & 15;
  if (r > 12) r = 12;
  static constexpr int32_t k0[5] = {0, 240, 460, 392, 488};
  static constexpr int32_t k1[5] = {0, 0, -208, -220, -240};
  for (int n = 0; n < kSamples; ++n) {
    int32_t nibble = (block[2 + n / 2] >> (4 * (n % 2))) & 15;
    if (nibble >= 8) nibble -= 16;
    const int32_t p = (h.prev1 * k0[f] + h.prev2 * k1[f]) >> 8;
    int32_t v = nibble * (1 << (12 - r)) + p;
    v = v > 32767 ? 32767 : v < -32768 ? -32768 : v;
    h.prev2 = h.prev1;
    h.prev1 = v;
    out[n * stride] = static_cast<int16_t>(v);
  }
}

void decode_mode(Source& src) {
  DecoderHistory paired, single;
  paired.channel[0] = src.history();
  paired.channel[1] = src.history();
  single = paired;
  DecoderHistory plain = paired;
  const int blocks = 1 + src.u8() % 8;
  for (int b = 0; b < blocks; ++b) {
    uint8_t left[kBlockBytes], right[kBlockBytes];
    src.bytes(left, sizeof left);
    src.bytes(right, sizeof right);
    int16_t a[2 * kSamples], s[2 * kSamples], p[2 * kSamples];
    for (int i = 0; i < 2 * kSamples; ++i) a[i] = s[i] = static_cast<int16_t>(0x5A5A + i);
    kv9::decode_block_pair(paired, left, right, a);
    kv9::decode_block_left(single, left, s);
    for (int t = 0; t < kSamples; ++t) {
      KV9_FUZZ_CHECK(s[2 * t + 1] == static_cast<int16_t>(0x5A5A + 2 * t + 1),
                     "decode_block_left changed the right value of pair %d", t);
    }
    kv9::decode_block_right(single, right, s);
    plain_decode(plain.channel[0], left, p, 2);
    plain_decode(plain.channel[1], right, p + 1, 2);
    check_samples(a, s, 2 * kSamples, "decode_block_pair vs decode_block_left/right");
    check_samples(a, p, 2 * kSamples, "decode_block_pair vs the plain decoder");
    check_histories(paired, single, "decode_block_pair vs decode_block_left/right");
    check_histories(paired, plain, "decode_block_pair vs the plain decoder");
  }
}

void resample_mode(Source& src) {
  DecoderHistory fast, plain;
  fast.channel[0] = src.history();
  fast.channel[1] = src.history();
  plain = fast;
  static uint8_t region[kv9::kRegionBytes], kept[kv9::kRegionBytes];
  src.bytes(region, sizeof region);
  std::memcpy(kept, region, sizeof region);
  static kv9::ResamplerBuffers a, b;
  kv9::resample_sector(fast, region, a);
  KV9_FUZZ_CHECK(std::memcmp(region, kept, sizeof region) == 0,
                 "resample_sector changed its region");
  kv9::test::reference_resample_sector(plain, region, b);
  check_samples(a.pcm44, b.pcm44, std::size(a.pcm44), "pcm44");
  check_samples(a.pcm37, b.pcm37, std::size(a.pcm37), "pcm37");
  check_histories(fast, plain, "resample_sector");
}

// Rebuilds sound unit u (0..7) of a sound group as a 16-byte source audio block.
void unit_as_block(const uint8_t* group, int u, uint8_t* block) {
  const int i = u / 2;
  const int c = u % 2;
  block[0] = group[4 + u];
  block[1] = 0;
  for (int j = 0; j < kSamples / 2; ++j) {
    const uint8_t even = group[16 + 4 * (2 * j) + i];
    const uint8_t odd = group[16 + 4 * (2 * j + 1) + i];
    const uint8_t lo = c == 0 ? (even & 15) : (even >> 4);
    const uint8_t hi = c == 0 ? (odd & 15) : (odd >> 4);
    block[2 + j] = static_cast<uint8_t>(lo | (hi << 4));
  }
}

// Decodes the group's eight sound units from `history`, advancing it. With `pairs` given, also
// checks each unit's choice against all 52 candidates.
void decode_group(EncoderHistory& history, const uint8_t* group, const int16_t* pairs, int s) {
  KV9_FUZZ_CHECK(
      std::memcmp(group, group + 4, 4) == 0 && std::memcmp(group + 12, group + 8, 4) == 0,
      "sound group %d: the parameter byte copies differ", s);
  for (int i = 0; i < 4; ++i) {
    for (int c = 0; c < 2; ++c) {
      ChannelHistory& h = history.channel[c];
      const int u = 2 * i + c;
      const uint8_t param = group[4 + u];
      KV9_FUZZ_CHECK((param >> 4) <= 3 && (param & 15) <= 12,
                     "sound group %d unit %d: parameter byte 0x%02X outside filters 0-3, ranges "
                     "0-12",
                     s, u, param);
      if (pairs != nullptr) {
        // Every candidate from the history the unit starts from.
        const int16_t* x = pairs + 2 * kSamples * i + c;
        uint32_t least = UINT32_MAX;
        int best = -1;
        for (int m = 0; m < kv9::kXaCandidates; ++m) {
          XaCandidate a, b;
          a.shift = b.shift = m / 4;
          a.filter = b.filter = m % 4;
          a.prev1 = b.prev1 = static_cast<int16_t>(h.prev1);
          a.prev2 = b.prev2 = static_cast<int16_t>(h.prev2);
          kv9::encode_candidate(a, x);
          kv9::test::reference_encode_candidate(b, x);
          KV9_FUZZ_CHECK(a.error == b.error && a.nibbles == b.nibbles && a.prev1 == b.prev1 &&
                             a.prev2 == b.prev2,
                         "encode_candidate differs from the reference for candidate %d", m);
          if (a.error < least) {
            least = a.error;
            best = m;
          }
        }
        KV9_FUZZ_CHECK(param == kv9::parameter_byte(best % 4, best / 4),
                       "sound group %d unit %d: parameter byte 0x%02X, but candidate %d (0x%02X) "
                       "is the first with the least error %u",
                       s, u, param, best, kv9::parameter_byte(best % 4, best / 4), least);
        uint8_t block[kBlockBytes];
        unit_as_block(group, u, block);
        int16_t out[2 * kSamples];
        kv9::decode_block(h, block, out, 0);
        uint32_t error = 0;
        for (int n = 0; n < kSamples; ++n) {
          const int32_t d = x[2 * n] - out[2 * n];
          error += static_cast<uint32_t>(d < 0 ? -d : d);
        }
        KV9_FUZZ_CHECK(error == least,
                       "sound group %d unit %d: decoded error %u, the best candidate's %u", s, u,
                       error, least);
      } else {
        uint8_t block[kBlockBytes];
        unit_as_block(group, u, block);
        int16_t out[2 * kSamples];
        kv9::decode_block(h, block, out, 0);
      }
    }
  }
}

void sound_group_mode(Source& src) {
  EncoderHistory fast, plain;
  fast.channel[0] = src.history();
  fast.channel[1] = src.history();
  plain = fast;
  EncoderHistory decoded = fast;
  int16_t pairs[2 * kv9::kPairsPerSoundGroup];
  // Left and right from separate draws, so the two channels differ in kind.
  int16_t left[kv9::kPairsPerSoundGroup], right[kv9::kPairsPerSoundGroup];
  src.samples(left, std::size(left));
  src.samples(right, std::size(right));
  for (std::size_t n = 0; n < kv9::kPairsPerSoundGroup; ++n) {
    pairs[2 * n] = left[n];
    pairs[2 * n + 1] = right[n];
  }
  uint8_t a[kv9::kSoundGroupBytes], b[kv9::kSoundGroupBytes];
  std::memset(a, 0xA5, sizeof a);
  std::memset(b, 0x5A, sizeof b);
  kv9::encode_sound_group(fast, pairs, a);
  kv9::test::reference_encode_sound_group(plain, pairs, b);
  for (std::size_t i = 0; i < sizeof a; ++i) {
    KV9_FUZZ_CHECK(a[i] == b[i], "sound group byte %zu: 0x%02X vs reference 0x%02X", i, a[i], b[i]);
  }
  check_histories(fast, plain, "encode_sound_group vs reference");
  decode_group(decoded, a, pairs, 0);
  check_histories(decoded, fast, "decoded sound group vs encoder history");
}

void sector_mode(Source& src) {
  DecoderHistory dec_fast, dec_plain;
  EncoderHistory enc_fast, enc_plain;
  dec_fast.channel[0] = src.history();
  dec_fast.channel[1] = src.history();
  enc_fast.channel[0] = src.history();
  enc_fast.channel[1] = src.history();
  dec_plain = dec_fast;
  enc_plain = enc_fast;
  EncoderHistory decoded = enc_fast;
  static uint8_t a[kv9::kRegionBytes], b[kv9::kRegionBytes], kept[kv9::kRegionBytes];
  src.bytes(a, sizeof a);
  std::memcpy(b, a, sizeof a);
  std::memcpy(kept, a, sizeof a);
  static kv9::ResamplerBuffers fast_buffers, plain_buffers;
  kv9::encode_sector_audio(dec_fast, enc_fast, fast_buffers, a);
  kv9::test::reference_encode_sector_audio(dec_plain, enc_plain, plain_buffers, b);
  for (std::size_t i = 0; i < sizeof a; ++i) {
    KV9_FUZZ_CHECK(a[i] == b[i], "sector byte %zu: 0x%02X vs reference 0x%02X", i, a[i], b[i]);
  }
  KV9_FUZZ_CHECK(std::memcmp(a + kv9::kXaAudioBytes, kept + kv9::kXaAudioBytes,
                             kv9::kRegionBytes - kv9::kXaAudioBytes) == 0,
                 "encode_sector_audio wrote past its 2304 bytes");
  check_histories(dec_fast, dec_plain, "sector decoder history vs reference");
  check_histories(enc_fast, enc_plain, "sector encoder history vs reference");
  for (std::size_t s = 0; s < kv9::kSoundGroupsPerSector; ++s) {
    decode_group(decoded, a + kv9::kSoundGroupBytes * s, nullptr, static_cast<int>(s));
  }
  check_histories(decoded, enc_fast, "decoded sector vs encoder history");
}

void candidate_mode(Source& src) {
  const uint8_t choice = src.u8();
  XaCandidate a, b;
  a.shift = b.shift = (choice >> 2) % 13;
  a.filter = b.filter = choice % 4;
  a.prev1 = b.prev1 = src.i16();
  a.prev2 = b.prev2 = src.i16();
  ChannelHistory h{a.prev1, a.prev2};
  int16_t x[2 * kSamples];
  src.samples(x, std::size(x));
  kv9::encode_candidate(a, x);
  kv9::test::reference_encode_candidate(b, x);
  KV9_FUZZ_CHECK(a.error == b.error && a.prev1 == b.prev1 && a.prev2 == b.prev2,
                 "candidate filter %d shift %d: error %u history (%d, %d) vs reference %u (%d, %d)",
                 a.filter, a.shift, a.error, a.prev1, a.prev2, b.error, b.prev1, b.prev2);
  for (int n = 0; n < kSamples; ++n) {
    KV9_FUZZ_CHECK(a.nibbles[n] == b.nibbles[n] && a.nibbles[n] >= -8 && a.nibbles[n] <= 7,
                   "candidate filter %d shift %d: nibble %d is %d vs reference %d", a.filter,
                   a.shift, n, a.nibbles[n], b.nibbles[n]);
  }
  // The nibbles, decoded from the starting history, give back the candidate's reconstruction:
  // its history and its error.
  uint8_t block[kBlockBytes] = {kv9::parameter_byte(a), 0};
  for (int j = 0; j < kSamples / 2; ++j) {
    block[2 + j] =
        static_cast<uint8_t>((a.nibbles[2 * j] & 15) | ((a.nibbles[2 * j + 1] & 15) << 4));
  }
  int16_t out[2 * kSamples];
  kv9::decode_block(h, block, out, 0);
  uint32_t error = 0;
  for (int n = 0; n < kSamples; ++n) {
    const int32_t d = x[2 * n] - out[2 * n];
    error += static_cast<uint32_t>(d < 0 ? -d : d);
  }
  KV9_FUZZ_CHECK(h.prev1 == a.prev1 && h.prev2 == a.prev2 && error == a.error,
                 "candidate filter %d shift %d: decoding its nibbles ends on (%d, %d) with error "
                 "%u, the candidate on (%d, %d) with error %u",
                 a.filter, a.shift, h.prev1, h.prev2, error, a.prev1, a.prev2, a.error);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kv9::fuzz::StdoutSink sink(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Source src(data, size);
  switch (src.u8() % 5) {
    case 0:
      decode_mode(src);
      break;
    case 1:
      resample_mode(src);
      break;
    case 2:
      sound_group_mode(src);
      break;
    case 3:
      sector_mode(src);
      break;
    default:
      candidate_mode(src);
      break;
  }
  return 0;
}
