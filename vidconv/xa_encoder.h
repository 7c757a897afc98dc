// XA ADPCM encoder: 37.8 kHz stereo pairs into CD-ROM XA sound groups (4-bit, stereo), each
// sound unit encoded with the best of 52 trial encodings (4 filters x 13 shifts), chosen by the
// least summed absolute error of the reconstruction.
//
// Sound group (128 bytes, 112 stereo pairs in four unit pairs of 28):
//   bytes 0..3    copies of bytes 4..7
//   bytes 4..11   parameter byte of sound unit u at 4 + u (unit 2i left, 2i + 1 right of unit
//                 pair i): filter in bits 7..4, range = 12 - shift in bits 3..0
//   bytes 12..15  copies of bytes 8..11
//   16 + 4n + i   sample n of unit pair i: bits 3..0 left, bits 7..4 right
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/adpcm_decoder.h"
#include "common/layout.h"
#include "vidconv/resampler.h"

namespace kv9 {

inline constexpr int kXaFilters = 4;  // rows 0..3 of adpcm_filter_table
inline constexpr int kXaCandidates = kXaFilters * (kMaxShift + 1);  // m = 4 * shift + filter
inline constexpr std::size_t kUnitPairsPerSoundGroup = kPairsPerSoundGroup / kSamplesPerBlock;
static_assert(kXaCandidates == 52 && kUnitPairsPerSoundGroup == 4);

// Sound group offsets, as in the table above.
inline constexpr std::size_t kGroupCopyBytes = 4;
inline constexpr std::size_t kGroupFirstCopiesAt = 0;
inline constexpr std::size_t kGroupParametersAt = kGroupFirstCopiesAt + kGroupCopyBytes;
inline constexpr std::size_t kGroupParameters = 2 * kUnitPairsPerSoundGroup;
inline constexpr std::size_t kGroupSecondCopiesAt = kGroupParametersAt + kGroupParameters;
inline constexpr std::size_t kGroupSamplesAt = kGroupSecondCopiesAt + kGroupCopyBytes;
static_assert(kGroupParametersAt == 4 && kGroupSecondCopiesAt == 12 && kGroupSamplesAt == 16);
static_assert(kGroupParameters == 2 * kGroupCopyBytes);
static_assert(kGroupSamplesAt + kUnitPairsPerSoundGroup * kSamplesPerBlock == kSoundGroupBytes);

// The encoder's history: per channel the last two reconstructed samples of the chosen candidates,
// i.e. what a decoder has made of the sound units written so far.  Reset with each movie.
struct EncoderHistory {
  std::array<ChannelHistory, kDecoderChannels> channel{};
};

inline void reset_history(EncoderHistory& h) {
  h = EncoderHistory{};
}

// Filter in bits 7..4, range = 12 - shift in bits 3..0.
inline constexpr uint8_t parameter_byte(int32_t filter, int32_t shift) {
  return static_cast<uint8_t>(filter * 16 + (kMaxShift - shift));
}

// The instruction sets the search over the 52 candidates is compiled for. A run takes the widest
// one the processor offers; every one gives the same bytes.
enum class XaSearchPath { kPlain, kAvx2, kAvx512 };
XaSearchPath xa_search_path();
// Tests and benchmarks: searches on `path` from now on, before any encoding starts. False,
// changing nothing, when the processor lacks it.
bool use_xa_search_path(XaSearchPath path);

// Encodes 112 stereo pairs into one 128-byte sound group and advances the history.
void encode_sound_group(EncoderHistory& history, const int16_t* pairs, uint8_t* out);

// One audio sector: resamples the 2688-byte block-pair region, then writes its 18 sound groups
// over region bytes 0..2303.  Bytes 2304..2687 are left as they were.
void encode_sector_audio(DecoderHistory& decoder, EncoderHistory& encoder,
                         ResamplerBuffers& buffers, uint8_t* region);

// Everything one movie's audio conversion carries from sector to sector.
struct AudioCodecState {
  DecoderHistory decoder;
  EncoderHistory encoder;
  ResamplerBuffers buffers;
};

inline void reset_audio_codec(AudioCodecState& s) {
  reset_history(s.decoder);
  reset_history(s.encoder);
}

inline void encode_sector_audio(AudioCodecState& s, uint8_t* region) {
  encode_sector_audio(s.decoder, s.encoder, s.buffers, region);
}

}  // namespace kv9
