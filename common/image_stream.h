// The disc image's user data (common/disc_image.h) read forward in large blocks. Bytes past the
// end of the image read as 0xFF;
// the end-of-image indicator is set by the first read that asks for a byte beyond the end, and
// stays set. A read error ends the image where it happens: it is remembered apart from the end,
// and every byte from it on reads as past the end.
//
// A seekable image is read in blocks of 1 MiB laid on a grid that starts where the run first
// positions it, so that streams of several workers, each positioned at its own movie, ask the
// file for exactly the blocks one stream reading the whole range asks for: a read that fails
// fails for all of them alike.
//
// Raw sectors are checked as they are read; the stream counts those that fail within the stretch
// it is told to watch (a movie, or the whole image), each once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/disc_image.h"

namespace kv9 {

inline constexpr std::size_t kImageBlockBytes = std::size_t{1} << 20;
inline constexpr uint8_t kPastEndByte = 0xFF;  // what a read beyond the end yields

// Sectors that failed their check within the watched stretch [from, to) of the data track.
struct SectorDamage {
  uint64_t from = 0;
  uint64_t to = 0;
  uint64_t counted_to = 0;  // sectors below it have been read and counted, those in the stretch
  uint64_t failed = 0;
  uint64_t first_failed = 0;
};

struct ImageStream {
  const DiscImage* image = nullptr;
  uint64_t block_at = 0;        // image offset of block[0]
  uint64_t limit = UINT64_MAX;  // bytes of the image taken at most
  std::size_t pos = 0;          // next unread byte in block
  std::size_t len = 0;          // valid bytes in block
  bool no_more_data = false;    // the file has nothing more to give (end or read error)
  bool ended = false;           // a read has asked for a byte beyond the end
  bool read_failed = false;     // the file reported a read error
  bool beyond_limit = false;    // the image holds more than `limit` bytes
  SectorDamage damage;
  // Raw images: the sectors of the block at hand that failed their check, in order.
  std::array<uint64_t, 2 * kRawBlockSectors> block_failures;
  std::size_t block_failure_count = 0;
  FailedSectors read_failures;
  std::array<uint8_t, kImageBlockBytes> block;
  std::array<uint8_t, kRawBlockBytes> raw;
};

// Starts reading the image from its first byte.
void start_image_stream(ImageStream& s, const DiscImage& image);

// Counts from now on the sectors that fail their check among those holding bytes [from, to) of
// the image (to: UINT64_MAX for all), the ones the stream holds already included.
void watch_damage(ImageStream& s, uint64_t from, uint64_t to);

// Positions the stream at a byte offset from the start of the image, on the block grid that
// starts at `grid` (where the run's first movie starts); an offset within the block at hand is
// read from it. A stream that cannot seek reads forward to the offset from where it stands.
// Meeting the end here is left for the next read to find.
void position_image(ImageStream& s, uint64_t grid, uint64_t offset);

// Reads n bytes into dst; bytes beyond the end are 0xFF.
void read_image(ImageStream& s, uint8_t* dst, std::size_t n);

// Passes over n bytes as reading them would.
void skip_image(ImageStream& s, uint64_t n);

// True when not a single byte is left from the stream's position on (the end, or a read error,
// lies there). Sets no indicator.
bool image_at_end(ImageStream& s);

// The buffered bytes not yet consumed, topped up from the file when fewer than `want` are
// left (want <= 4096). Fewer than `want` bytes come back only near the end of the image; 0 bytes
// only at its end. Peeking never sets the end indicator.
std::size_t peek_image(ImageStream& s, std::size_t want, const uint8_t*& data);
inline void consume_image(ImageStream& s, std::size_t n) {
  s.pos += n;
}

}  // namespace kv9
