// What a test rebuilds of a built movie on its own, frame by frame: whole frames with their
// sound, the audio payloads, and the samples a decoder gets from a channel's blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/disc_image_builder.h"

namespace kv9::test {

// Sound of a movie being rebuilt frame by frame; both histories start at zero with the movie.
struct MovieSound {
  builder::ChannelSound left;
  builder::ChannelSound right;
};
MovieSound start_movie_sound(const builder::MovieLayout& movie);
// The next frame's two 1680-byte audio payloads (105 blocks each).
void next_frame_sound(MovieSound& sound, uint8_t* left_payload, uint8_t* right_payload);

// The 20480 bytes of the next frame of a movie as the image holds them before faults are laid
// on top; `sound` must have produced exactly `frame` frames of this movie before.
void make_movie_frame(const builder::DiscLayout& disc_layout, std::size_t movie, uint32_t frame,
                      MovieSound& sound, uint8_t* frame_bytes);

// The 44.1 kHz samples a decoder gets from the movie's blocks of one channel (0 left,
// 1 right), history from zero at the movie's start: frames x 2940 samples. Compare with
// waveform_sample(movie.left or .right, n) for the wanted signal.
std::vector<int16_t> decoded_movie_channel(const builder::DiscLayout& disc_layout,
                                           std::size_t movie, int channel);

}  // namespace kv9::test
