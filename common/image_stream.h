// The disc image, opened once and read forward in large blocks. Bytes past the end of the image
// read as 0xFF; the end-of-image indicator is set by the first read that asks for a byte beyond
// the end, and stays set. A read error ends the image where it happens: it is remembered apart
// from the end, and every byte from it on reads as past the end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace kv9 {

inline constexpr std::size_t kImageBlockBytes = std::size_t{1} << 20;
inline constexpr uint8_t kPastEndByte = 0xFF;  // what a read beyond the end yields

struct ImageStream {
  int fd = -1;
  bool seekable = false;      // false for a pipe: positioned by reading forward
  int64_t file_size = -1;     // size of a regular file, else -1
  std::size_t pos = 0;        // next unread byte in block
  std::size_t len = 0;        // valid bytes in block
  bool no_more_data = false;  // the file has nothing more to give (end or read error)
  bool ended = false;         // a read has asked for a byte beyond the end
  bool read_failed = false;   // the file reported a read error
  std::array<uint8_t, kImageBlockBytes> block;
};

// Opens the image for reading. Fails when it cannot be opened, names a directory, or (where it
// can be read at a given offset) its first byte cannot be read.
bool open_image(ImageStream& s, const char* path);
void close_image(ImageStream& s);

// Positions the stream at a byte offset from the start of the image. A stream that cannot seek
// reads forward to it from where it stands (the tools position once, from byte 0).
void position_image(ImageStream& s, uint64_t offset);

// Reads n bytes into dst; bytes beyond the end are 0xFF.
void read_image(ImageStream& s, uint8_t* dst, std::size_t n);

// Passes over n bytes as reading them would.
void skip_image(ImageStream& s, uint64_t n);

// The buffered bytes not yet consumed, topped up from the file when fewer than `want` are
// left (want <= 4096). Fewer than `want` bytes come back only near the end of the image; 0 bytes
// only at its end. Peeking never sets the end indicator.
std::size_t peek_image(ImageStream& s, std::size_t want, const uint8_t*& data);
inline void consume_image(ImageStream& s, std::size_t n) {
  s.pos += n;
}

}  // namespace kv9
