// Synthetic disc images: movies of real frames (sector headers as a disc carries them, encoded
// sound, test-pattern pictures) laid at chosen sectors, pseudo-random filler around them, and
// deliberate faults on top (wrong tags, lone SMN sectors, a cut image). Everything is a fixed
// function of the description, so tests can rebuild any frame, block or sample on their own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/layout.h"
#include "tools/source_audio_encoder.h"
#include "tools/test_pattern_video.h"

namespace kv9::builder {

struct MovieLayout {
  uint32_t start_sector = 0;
  uint32_t frames = 0;
  Waveform left, right;
  // Frames (> 0) whose headers have bytes 6-7 zero, as a movie's first frame: the scanner
  // takes each as the start of a new movie. Sound and pictures run on unchanged.
  std::vector<uint32_t> restart_frames;
};

struct DiscLayout {
  int disc = 1;
  uint32_t total_sectors = 0;  // 0: the last movie's end plus two filler sectors
  std::vector<MovieLayout> movies;
  std::vector<std::pair<uint32_t, std::array<char, 3>>> wrong_tags;  // sector -> tag bytes
  std::vector<uint32_t> lone_smn_sectors;  // sectors opening with the 8-byte SMN signature only
  uint64_t cut_at_byte = 0;                // nonzero: the image ends after this many bytes
  uint32_t filler_seed = 7;
};

// --- Sector headers (common/layout.h) -----------------------------------------------------------
inline constexpr std::size_t kUnusedAudioSectorBytes = kAudioPayloadOffset - kSectorHeaderBytes;
static_assert(kUnusedAudioSectorBytes == 360);

inline constexpr uint32_t kTrailingFillerSectors = 2;
inline constexpr uint32_t kMaxImageSectors = uint32_t{1} << 21;  // byte offsets stay 32-bit
static_assert(uint64_t{kMaxImageSectors} * kSectorSize == uint64_t{1} << 32);

// Bytes 6-7 of every header of a frame: 0 in a movie's first frame and in restart frames,
// otherwise the frame index, kept within 1..65535.
uint16_t frame_counter_field(const MovieLayout& movie, uint32_t frame);

// The 8-byte header of sector `sector_in_frame` (0..9) of a frame.
void put_sector_header(uint8_t* sector, std::size_t sector_in_frame, uint16_t counter);

// --- The description ---------------------------------------------------------------------------
// Empty when the description can be built, else what is wrong with it. Movies must lie inside
// the image without overlapping (in any order); faults must fall inside the image.
std::string check_disc_layout(const DiscLayout& disc_layout);

uint32_t image_sectors(const DiscLayout& disc_layout);  // total_sectors, or the derived count
uint64_t image_bytes(const DiscLayout& disc_layout);    // after the cut
inline uint32_t movie_address(const MovieLayout& m) {
  return static_cast<uint32_t>(m.start_sector * kSectorSize);
}

// --- Frames ------------------------------------------------------------------------------------
// Picture label of a frame: the frame index within the movie, the movie's index in the
// description (restart frames do not change either) and the disc.
FrameLabel frame_label(const DiscLayout& disc_layout, std::size_t movie, uint32_t frame);

// The 16320 bytes of frame video data of a frame (the SMJ payloads in sector order).
void frame_video_data(const DiscLayout& disc_layout, std::size_t movie, uint32_t frame,
                      uint8_t* video);

// Everything of a frame but its sound, which the audio payloads are left for: the ten sector
// headers, the unused bytes of the SMN and SMR sectors and the video payloads.
void put_frame_without_sound(const DiscLayout& disc_layout, std::size_t movie, uint32_t frame,
                             uint8_t* frame_bytes);

// --- Images ------------------------------------------------------------------------------------
// The whole image in memory. Throws std::invalid_argument when check_disc_layout objects.
std::vector<uint8_t> build_image(const DiscLayout& disc_layout);

// Writes the image to `path` frame by frame and in runs of filler sectors. Memory stays bounded
// whatever the image size: a frame buffer, and up to 32 MiB of encoded sound that movies of
// equal waveforms share.
// False (with the reason in `error` if given) for a bad description or a failed write.
bool write_image(const DiscLayout& disc_layout, const std::string& path,
                 std::string* error = nullptr);

}  // namespace kv9::builder
