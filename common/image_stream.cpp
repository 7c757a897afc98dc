#include "common/image_stream.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kv9 {
namespace {

static_assert(sizeof(long) >= 8, "image offsets need a 64-bit file position");

// Moves the unconsumed bytes to the front of the block and fills the rest from the file.
// Returns false when no byte is left at all.
bool refill(ImageStream& s) {
  const std::size_t left = s.len - s.pos;
  if (left > 0 && s.pos > 0) std::memmove(s.block.data(), s.block.data() + s.pos, left);
  s.pos = 0;
  s.len = left;
  if (!s.no_more_data) {
    const std::size_t want = s.block.size() - left;
    const std::size_t got = std::fread(s.block.data() + left, 1, want, s.file);
    s.len += got;
    if (got < want) {
      // A short read means the end of the image; a read error ends it just the same.
      s.no_more_data = true;
    }
  }
  return s.len > 0;
}

}  // namespace

bool open_image(ImageStream& s, const char* path) {
  s.file = nullptr;
  s.pos = s.len = 0;
  s.no_more_data = s.ended = false;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return false;
  s.file = std::fopen(path, "rb");
  if (s.file == nullptr) return false;
  // Reads go straight into the block: no second buffer in the C library.
  std::setvbuf(s.file, nullptr, _IONBF, 0);
  uint8_t probe;
  if (std::fread(&probe, 1, 1, s.file) != 1 && std::ferror(s.file)) {
    close_image(s);
    return false;
  }
  std::rewind(s.file);
  return true;
}

void close_image(ImageStream& s) {
  if (s.file != nullptr) std::fclose(s.file);
  s.file = nullptr;
}

int64_t image_file_size(const char* path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? -1 : static_cast<int64_t>(size);
}

void position_image(ImageStream& s, uint64_t offset) {
  s.pos = s.len = 0;
  s.no_more_data = false;
  if (std::fseek(s.file, static_cast<long>(std::min<uint64_t>(offset, LONG_MAX)), SEEK_SET) != 0) {
    s.no_more_data = true;
  }
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

std::size_t peek_image(ImageStream& s, std::size_t want, const uint8_t*& data) {
  if (s.len - s.pos < want) refill(s);
  data = s.block.data() + s.pos;
  return s.len - s.pos;
}

}  // namespace kv9
