#include "common/image_stream.h"

#include <algorithm>
#include <cstring>

namespace kv9 {
namespace {

// Reads up to n bytes at the stream's file position, as many as the file gives before its end:
// a pipe hands its data over in pieces. Past `limit` it only looks whether there is more.
// Returns the count read; sets the indicators when the end, a read error or the limit is met.
std::size_t read_more(ImageStream& s, uint8_t* dst, std::size_t n) {
  const uint64_t at = s.block_at + s.len;
  if (at >= s.limit) {
    uint8_t more;
    s.beyond_limit = read_image_file(*s.file, at, &more, 1) > 0;
    s.no_more_data = true;
    return 0;
  }
  n = static_cast<std::size_t>(std::min<uint64_t>(n, s.limit - at));
  std::size_t got = 0;
  while (got < n) {
    const int64_t r = read_image_file(*s.file, at + got, dst + got, n - got);
    if (r <= 0) {
      s.no_more_data = true;
      s.read_failed = r < 0;
      break;
    }
    got += static_cast<std::size_t>(r);
  }
  return got;
}

// Moves the unconsumed bytes to the front of the block and fills the rest from the file.
// Returns false when no byte is left at all.
bool refill(ImageStream& s) {
  const std::size_t left = s.len - s.pos;
  if (left > 0 && s.pos > 0) std::memmove(s.block.data(), s.block.data() + s.pos, left);
  s.block_at += s.pos;
  s.pos = 0;
  s.len = left;
  if (!s.no_more_data) s.len += read_more(s, s.block.data() + left, s.block.size() - left);
  return s.len > 0;
}

}  // namespace

void start_image_stream(ImageStream& s, const ImageFile& file) {
  s.file = &file;
  s.block_at = 0;
  s.limit = UINT64_MAX;
  s.pos = s.len = 0;
  s.no_more_data = s.ended = s.read_failed = s.beyond_limit = false;
}

void position_image(ImageStream& s, uint64_t grid, uint64_t offset) {
  if (!s.file->seekable) {
    skip_image(s, offset - (s.block_at + s.pos));
  } else if (s.len > 0 && offset >= s.block_at && offset - s.block_at <= s.len) {
    s.pos = static_cast<std::size_t>(offset - s.block_at);
  } else {
    s.block_at =
        offset < grid ? offset : grid + (offset - grid) / kImageBlockBytes * kImageBlockBytes;
    s.pos = s.len = 0;
    s.no_more_data = s.read_failed = false;
    skip_image(s, offset - s.block_at);
  }
  s.ended = false;
}

void read_image(ImageStream& s, uint8_t* dst, std::size_t n) {
  while (n > 0) {
    if (s.pos == s.len && !refill(s)) {
      std::memset(dst, kPastEndByte, n);
      s.ended = true;
      return;
    }
    const std::size_t take = std::min(n, s.len - s.pos);
    std::memcpy(dst, s.block.data() + s.pos, take);
    s.pos += take;
    dst += take;
    n -= take;
  }
}

void skip_image(ImageStream& s, uint64_t n) {
  while (n > 0) {
    if (s.pos == s.len && !refill(s)) {
      s.ended = true;
      return;
    }
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n, s.len - s.pos));
    s.pos += take;
    n -= take;
  }
}

bool image_at_end(ImageStream& s) {
  return s.pos == s.len && !refill(s);
}

std::size_t peek_image(ImageStream& s, std::size_t want, const uint8_t*& data) {
  if (s.len - s.pos < want) refill(s);
  data = s.block.data() + s.pos;
  return s.len - s.pos;
}

}  // namespace kv9
