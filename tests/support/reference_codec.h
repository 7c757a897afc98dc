// The sound path written as plainly as it can be, sharing no state, table or helper with the
// tools: source audio blocks decoded one sample after the other, the 7-to-6 interpolation one
// output pair at a time, and every one of the 52 candidates of every XA sound unit encoded in
// turn. The tools' decoder, resampler and encoder are checked against it.
#pragma once

#include <cstdint>

namespace kv9::test {

struct RefHistory {
  int32_t prev1 = 0;  // last sample
  int32_t prev2 = 0;  // the one before
};
struct RefStereo {
  RefHistory channel[2];
};

// Prediction weights of filters 0 to 4, in 256ths, of the last and the second-last sample.
inline constexpr int32_t kRefWeights[5][2] = {
    {0, 0}, {240, 0}, {460, -208}, {392, -220}, {488, -240}};

// Decodes one 16-byte source block into `pairs[2t + channel]`, t = 0..27.
void ref_decode_block(RefHistory& h, const uint8_t* block, int16_t* pairs, int channel);

// Encodes 112 stereo pairs into one 128-byte XA sound group.
void ref_encode_sound_group(RefStereo& encoder, const int16_t* pairs, uint8_t* group);

// Decodes a 2688-byte region of 84 block pairs, resamples it to 2016 pairs and encodes them in
// place as the 18 sound groups of an audio sector, or as its first `groups` of them.
void ref_encode_sector(RefStereo& decoder, RefStereo& encoder, uint8_t* region, int groups = 18);

}  // namespace kv9::test
