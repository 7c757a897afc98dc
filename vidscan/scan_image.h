// Finding the movies of a disc image by their sector headers, in one forward pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/image_stream.h"
#include "common/movie_table.h"

namespace kv9 {

// The scan's own state: where it stands in the image and the movie it is walking.
struct ScanState {
  uint64_t counter = 0;     // bytes consumed since the scan began, reads past the end included
  uint64_t window = 0;      // the last 8 bytes read; byte i of the header is bits 8i..8i+7
  int32_t next_id = 0;      // the id the next recorded movie receives
  uint32_t start = 0;       // start address of the current movie
  uint32_t frames = 0;      // frames counted so far in the current movie
  uint64_t stored_ids = 0;  // bit i: movie id i of the disc was recorded in the table
  bool dropped_long_movie = false;  // a movie had more frames than the address file can keep
  bool cut_movie = false;           // the image ended inside a movie
  bool damaged = false;             // raw sectors of the image failed their check
};
static_assert(kMaxMovieIds <= 64, "one bit per movie id");

// Frame counts are kept with at most four hexadecimal digits in the address file.
inline constexpr uint32_t kMaxStoredFrames = 0xFFFF;

enum class ScanOutcome { kScanned, kCannotOpen, kTooLarge, kReadError };

// Addresses are 32-bit in the address file, so larger images are refused: a file before the
// scan, a pipe or a device where its 4 GiB turn out to be more.
inline constexpr uint64_t kMaxImageBytes = uint64_t{1} << 32;

// Opens the image (any form) and scans it, printing the scan's console output and recording
// every movie found into the disc's movie table. Reports an image that cannot be opened, is too
// large (what was recorded is then of no use), fails to be read (the scan then ends there, as at
// the end of the image), ends inside a movie, or holds raw sectors that fail their check.
ScanOutcome scan_image(ScanState& state, MovieTables& tables, int disc, const char* path,
                       ImageStream& image);
// The same over an image opened already, which it closes.
ScanOutcome scan_opened_image(ScanState& state, MovieTables& tables, int disc, const char* path,
                              DiscImage& file, ImageStream& image);

// The first of the `limit` positions of `data` (which holds 7 bytes more) where the header of a
// movie's first frame (its SMN sector) stands, or `limit`: the search's step over a block.
std::size_t find_signature(const uint8_t* data, std::size_t limit);

// How find_signature screens the positions: 16, 32 or 64 at a time with SSE2, AVX2 or
// AVX-512BW. A run takes the widest the processor offers; every one finds the same position.
enum class SignatureScreen { kSse2, kAvx2, kAvx512 };
SignatureScreen signature_screen();
// Tests: screens with `screen` from now on. False, changing nothing, when the processor lacks it.
bool use_signature_screen(SignatureScreen screen);

}  // namespace kv9
