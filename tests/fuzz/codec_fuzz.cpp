// The audio path of vidconv on arbitrary data, against the plain reference encoder, for
// arbitrary 16-bit histories.
//
// Input byte 0 picks what is exercised (byte 0 % 4); then come the histories (16-bit values)
// and the data, continued pseudo-randomly when the input is short.
//
// Invariants:
//  0 decode_block_pair gives the same 28 pairs and histories as the reference's
//    decode_block_left then decode_block_right, block pair after block pair;
//  1 resample_sector and the reference give the same pcm44, pcm37 and histories;
//  2 encode_sound_group and the reference give the same 128 bytes and histories;
//  3 encode_sector_audio and the reference give the same region and histories;
//  in 2 and 3, decoding the sound units written (each rebuilt as a 16-byte source block from its
//  parameter byte and nibbles) from the encoder's starting history ends on its history after.
#include <cstring>

#include "common/adpcm_decoder.h"
#include "common/layout.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reference_decoder.h"
#include "tests/support/reference_xa_encoder.h"
#include "vidconv/resampler.h"
#include "vidconv/xa_encoder.h"

namespace {

using kv9::kSamplesPerBlock;
using kv9::fuzz::Input;

template <class H>
H histories(Input& in) {
  H h;
  for (kv9::ChannelHistory& c : h.channel) {
    c.prev1 = static_cast<int16_t>(in.u16());
    c.prev2 = static_cast<int16_t>(in.u16());
  }
  return h;
}

template <class H>
bool same(const H& a, const H& b) {
  for (int c = 0; c < kv9::kDecoderChannels; ++c) {
    if (a.channel[c].prev1 != b.channel[c].prev1 || a.channel[c].prev2 != b.channel[c].prev2) {
      return false;
    }
  }
  return true;
}

// Decodes the eight sound units of a sound group as source blocks, advancing the history.
void decode_group(kv9::EncoderHistory& h, const uint8_t* group) {
  for (int u = 0; u < 8; ++u) {
    uint8_t block[kv9::kBlockBytes] = {group[4 + u], 0};
    for (std::size_t n = 0; n < kSamplesPerBlock; ++n) {
      const int nibble = group[16 + 4 * n + u / 2] >> (4 * (u % 2)) & 15;
      block[2 + n / 2] |= static_cast<uint8_t>(nibble << (4 * (n % 2)));
    }
    int16_t out[2 * kSamplesPerBlock];
    kv9::test::decode_block(h.channel[u % 2], block, out, 0);
  }
}

void decode_mode(Input& in) {
  kv9::DecoderHistory paired = histories<kv9::DecoderHistory>(in), single = paired;
  for (int b = 1 + in.u8() % 8; b > 0; --b) {
    uint8_t left[kv9::kBlockBytes], right[kv9::kBlockBytes];
    for (uint8_t& x : left) x = in.u8();
    for (uint8_t& x : right) x = in.u8();
    int16_t p[2 * kSamplesPerBlock], s[2 * kSamplesPerBlock];
    kv9::decode_block_pair(paired, left, right, p);
    kv9::test::decode_block_left(single, left, s);
    kv9::test::decode_block_right(single, right, s);
    KV9_CHECK(std::memcmp(p, s, sizeof p) == 0 && same(paired, single),
              "decode_block_pair differs from the reference decoder");
  }
}

void resample_mode(Input& in) {
  kv9::DecoderHistory fast = histories<kv9::DecoderHistory>(in), plain = fast;
  static uint8_t region[kv9::kRegionBytes];
  for (uint8_t& x : region) x = in.u8();
  static kv9::ResamplerBuffers a, b;
  kv9::resample_sector(fast, region, a);
  kv9::test::reference_resample_sector(plain, region, b);
  KV9_CHECK(std::memcmp(a.pcm44, b.pcm44, sizeof a.pcm44) == 0, "pcm44 differs");
  KV9_CHECK(std::memcmp(a.pcm37, b.pcm37, sizeof a.pcm37) == 0, "pcm37 differs");
  KV9_CHECK(same(fast, plain), "resample_sector: the histories differ");
}

void sound_group_mode(Input& in) {
  kv9::EncoderHistory fast = histories<kv9::EncoderHistory>(in), plain = fast, decoded = fast;
  // Each channel raw 16-bit values or a walk of steps of up to 127 << (kind bits 4-6).
  int16_t pairs[2 * kv9::kPairsPerSoundGroup];
  for (int c = 0; c < 2; ++c) {
    const uint8_t kind = in.u8();
    int32_t level = static_cast<int16_t>(in.u16());
    for (std::size_t n = 0; n < kv9::kPairsPerSoundGroup; ++n) {
      if ((kind & 1) == 0) {
        level = static_cast<int16_t>(in.u16());
      } else {
        level = kv9::clamp16(level + static_cast<int8_t>(in.u8()) * (1 << (kind >> 4 & 7)));
      }
      pairs[2 * n + c] = static_cast<int16_t>(level);
    }
  }
  uint8_t a[kv9::kSoundGroupBytes], b[kv9::kSoundGroupBytes];
  kv9::encode_sound_group(fast, pairs, a);
  kv9::test::reference_encode_sound_group(plain, pairs, b);
  KV9_CHECK(std::memcmp(a, b, sizeof a) == 0, "the sound group differs from the reference's");
  KV9_CHECK(same(fast, plain), "encode_sound_group: the histories differ from the reference's");
  decode_group(decoded, a);
  KV9_CHECK(same(decoded, fast), "the sound group decodes to another history than the encoder's");
}

void sector_mode(Input& in) {
  kv9::DecoderHistory dec_fast = histories<kv9::DecoderHistory>(in), dec_plain = dec_fast;
  kv9::EncoderHistory enc_fast = histories<kv9::EncoderHistory>(in), enc_plain = enc_fast;
  kv9::EncoderHistory decoded = enc_fast;
  static uint8_t a[kv9::kRegionBytes], b[kv9::kRegionBytes];
  for (uint8_t& x : a) x = in.u8();
  std::memcpy(b, a, sizeof a);
  static kv9::ResamplerBuffers fast_buffers, plain_buffers;
  kv9::encode_sector_audio(dec_fast, enc_fast, fast_buffers, a);
  kv9::test::reference_encode_sector_audio(dec_plain, enc_plain, plain_buffers, b);
  KV9_CHECK(std::memcmp(a, b, sizeof a) == 0, "the sector differs from the reference's");
  KV9_CHECK(same(dec_fast, dec_plain) && same(enc_fast, enc_plain),
            "encode_sector_audio: the histories differ from the reference's");
  for (std::size_t s = 0; s < kv9::kSoundGroupsPerSector; ++s) {
    decode_group(decoded, a + kv9::kSoundGroupBytes * s);
  }
  KV9_CHECK(same(decoded, enc_fast), "the sector decodes to another history than the encoder's");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Input in{data, size, true};
  void (*const modes[])(Input&) = {decode_mode, resample_mode, sound_group_mode, sector_mode};
  modes[in.u8() % 4](in);
  return 0;
}
