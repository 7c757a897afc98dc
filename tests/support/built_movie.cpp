#include "support/built_movie.h"

#include "common/layout.h"
#include "support/reference_decoder.h"

namespace kv9::test {

MovieSound start_movie_sound(const builder::MovieLayout& movie) {
  return {builder::start_channel_sound(movie.left), builder::start_channel_sound(movie.right)};
}

void next_frame_sound(MovieSound& sound, uint8_t* left_payload, uint8_t* right_payload) {
  builder::encode_frame_payload(sound.left, left_payload, nullptr);
  builder::encode_frame_payload(sound.right, right_payload, nullptr);
}

void make_movie_frame(const builder::DiscLayout& disc_layout, std::size_t movie, uint32_t frame,
                      MovieSound& sound, uint8_t* frame_bytes) {
  builder::put_frame_without_sound(disc_layout, movie, frame, frame_bytes);
  next_frame_sound(sound, frame_bytes + kSmnSector * kSectorSize + kAudioPayloadOffset,
                   frame_bytes + kSmrSector * kSectorSize + kAudioPayloadOffset);
}

std::vector<int16_t> decoded_movie_channel(const builder::DiscLayout& disc_layout,
                                           std::size_t movie, int channel) {
  const builder::MovieLayout& m = disc_layout.movies.at(movie);
  builder::ChannelSound sound = builder::start_channel_sound(channel == 0 ? m.left : m.right);
  ChannelHistory history;
  std::vector<int16_t> samples;
  samples.reserve(std::size_t{m.frames} * kSamplesPerFrame);
  uint8_t payload[kAudioPayloadBytes];
  int16_t pairs[2 * kSamplesPerBlock];
  for (uint32_t frame = 0; frame < m.frames; ++frame) {
    builder::encode_frame_payload(sound, payload, nullptr);
    for (std::size_t b = 0; b < kBlocksPerFrame; ++b) {
      decode_block(history, payload + b * kBlockBytes, pairs, 0);
      for (std::size_t t = 0; t < kSamplesPerBlock; ++t) samples.push_back(pairs[2 * t]);
    }
  }
  return samples;
}

}  // namespace kv9::test
