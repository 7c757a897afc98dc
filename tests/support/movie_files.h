// Test support: built disc images with their address file, expected outputs assembled from
// the image description, and what ffmpeg/ffprobe make of the tools' files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/disc_image_builder.h"

namespace kv9::test {

// A movie carrying tones (quarter scale) on both channels.
builder::MovieLayout tone_movie(uint32_t start_sector, uint32_t frames, double left_hz = 440,
                                double right_hz = 660);

// Movies of the given frame counts lying back to back from `first_sector` on.
builder::DiscLayout back_to_back(int disc, const std::vector<uint32_t>& frames,
                                 uint32_t first_sector = 8);

// The address-file text that lists the descriptions' movies as ids 0, 1, ... of their discs.
std::string address_file_for(const std::vector<builder::DiscLayout>& discs);
inline std::string address_file_for(const builder::DiscLayout& disc_layout) {
  return address_file_for(std::vector{disc_layout});
}

// Writes "kv9disc<d>.img" and, unless told not to, "kv9cdadr.ini" into the directory.
void write_disc(const std::filesystem::path& dir, const builder::DiscLayout& disc_layout,
                bool with_address_file = true);

std::string image_name(const builder::DiscLayout& disc_layout);

// Raw-sector stream pieces assembled field by field from the sector layout, for comparing the
// converters' files against: the 44-byte header, and a video sector with its subheader (file,
// channel, submode, coding), the frame's video data, frame number, index and sector count.
std::string expected_stream_header();
std::string expected_video_sector(const std::array<uint8_t, 4>& subheader, const uint8_t* video,
                                  uint32_t frame_number, uint8_t index, uint8_t count);

// Runs ffprobe and returns "key=value" lines of the streams' given entries.
std::string probe_streams(const std::filesystem::path& file, const std::string& entries);

// ffmpeg's decoded sound of a file as interleaved 16-bit samples (empty on failure).
std::vector<int16_t> ffmpeg_samples(const std::filesystem::path& file);

// ffmpeg's decoded pictures of a file, as the labels their test patterns carry; a picture
// whose label cannot be read gives a label with frame 0xFFFFFFFF.
std::vector<builder::FrameLabel> ffmpeg_picture_labels(const std::filesystem::path& file);

// ffmpeg's demuxed video packets of a raw-sector stream, concatenated.
std::string ffmpeg_video_packets(const std::filesystem::path& file);

// Signal-to-noise ratio in dB of `got` against `want` over n samples, every `step`-th sample.
double snr_db(const int16_t* want, const int16_t* got, std::size_t n, std::size_t step = 1);

}  // namespace kv9::test
