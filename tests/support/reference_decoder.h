// Plain per-channel decoding of source audio blocks, written apart from common/adpcm_decoder so
// that the tools' block-pair decoder is checked against a decoder of its own: one block of one
// channel at a time, one sample after the other.
#pragma once

#include <cstdint>

#include "common/adpcm_decoder.h"

namespace kv9::test {

// Decodes one block with one channel's history into that channel's value of 28 stereo pairs
// (pairs[2t + channel]); the other channel's values are left untouched.
void decode_block(ChannelHistory& history, const uint8_t* block, int16_t* pairs, int channel);

inline void decode_block_left(DecoderHistory& h, const uint8_t* block, int16_t* pairs) {
  decode_block(h.channel[0], block, pairs, 0);
}
inline void decode_block_right(DecoderHistory& h, const uint8_t* block, int16_t* pairs) {
  decode_block(h.channel[1], block, pairs, 1);
}

}  // namespace kv9::test
