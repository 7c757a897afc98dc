// The disc image, opened once and read forward in large blocks. Bytes past the end of the image
// read as 0xFF; the end-of-image indicator is set by the first read that asks for a byte beyond
// the end, and stays set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kv9 {

inline constexpr std::size_t kImageBlockBytes = std::size_t{1} << 20;
inline constexpr uint8_t kPastEndByte = 0xFF;  // what a read beyond the end yields

struct ImageStream {
  std::FILE* file = nullptr;
  std::size_t pos = 0;        // next unread byte in block
  std::size_t len = 0;        // valid bytes in block
  bool no_more_data = false;  // the file has nothing more to give (end or read error)
  bool ended = false;         // a read has asked for a byte beyond the end
  std::array<uint8_t, kImageBlockBytes> block;
};

// Opens the image for reading. Fails when it cannot be opened, names a directory, or its first
// read fails with an error.
bool open_image(ImageStream& s, const char* path);
void close_image(ImageStream& s);

// Size of the file at `path` in bytes, or -1 when it cannot be told.
int64_t image_file_size(const char* path);

// Positions the stream at a byte offset from the start of the image.
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
