// Built disc images with their address file, what the tools must write for them (assembled
// here, field by field, from the image description), and what ffmpeg and ffprobe make of files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "tools/disc_image_builder.h"

namespace kv9::test {

// Movies of the given frame counts lying back to back from `first_sector` on, each with its
// own pair of quarter-scale tones.
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

// The audio payloads of a built movie, frame after frame: 1680 bytes of left blocks, then 1680
// bytes of right blocks.
std::vector<uint8_t> sound_payloads(const builder::DiscLayout& disc_layout, std::size_t movie);

// Raw-sector stream pieces: the 44-byte header, and a video sector with its subheader, the
// frame's video data, frame number, index and sector count.
std::string expected_stream_header();
std::string expected_video_sector(const std::array<uint8_t, 4>& subheader, const uint8_t* video,
                                  uint32_t frame_number, uint8_t index, uint8_t count);

// ffprobe's "key=value" lines of the streams' given entries.
std::string probe_streams(const std::filesystem::path& file, const std::string& entries);

// ffmpeg's decoded sound of a file as interleaved 16-bit samples (empty on failure).
std::vector<int16_t> ffmpeg_samples(const std::filesystem::path& file);

// The frame index each picture ffmpeg decodes from a file shows in its label row, or -1 where
// the row does not read back.
std::vector<int64_t> ffmpeg_frame_labels(const std::filesystem::path& file);

// Signal-to-noise ratio in dB of `got` against `want`.
double snr_db(const std::vector<int16_t>& want, const std::vector<int16_t>& got);

}  // namespace kv9::test
