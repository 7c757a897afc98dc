#include "common/image_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kv9 {
namespace {

static_assert(sizeof(off_t) >= 8, "image offsets need a 64-bit file position");

// Reads up to n bytes, as many as the file gives before its end: a pipe hands its data over in
// pieces. Returns the count read; sets the indicators when the end or a read error is met.
std::size_t read_fully(ImageStream& s, uint8_t* dst, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::read(s.fd, dst + got, n - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r == 0) {
      s.no_more_data = true;
      break;
    } else if (errno != EINTR) {
      s.no_more_data = true;
      s.read_failed = true;
      break;
    }
  }
  return got;
}

// Moves the unconsumed bytes to the front of the block and fills the rest from the file.
// Returns false when no byte is left at all.
bool refill(ImageStream& s) {
  const std::size_t left = s.len - s.pos;
  if (left > 0 && s.pos > 0) std::memmove(s.block.data(), s.block.data() + s.pos, left);
  s.pos = 0;
  s.len = left;
  if (!s.no_more_data) s.len += read_fully(s, s.block.data() + left, s.block.size() - left);
  return s.len > 0;
}

}  // namespace

bool open_image(ImageStream& s, const char* path) {
  s.pos = s.len = 0;
  s.no_more_data = s.ended = s.read_failed = false;
  s.fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (s.fd < 0) return false;
  struct stat st;
  if (::fstat(s.fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close_image(s);
    return false;
  }
  s.file_size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
  s.seekable = ::lseek(s.fd, 0, SEEK_CUR) != -1;
  // A file that fails at its very first byte is no image at all. Only a file that can be read
  // at an offset is probed: a pipe would lose the byte.
  uint8_t probe;
  if (s.seekable && ::pread(s.fd, &probe, 1, 0) < 0) {
    close_image(s);
    return false;
  }
  return true;
}

void close_image(ImageStream& s) {
  if (s.fd >= 0) ::close(s.fd);
  s.fd = -1;
}

void position_image(ImageStream& s, uint64_t offset) {
  if (!s.seekable) {
    // Read forward; meeting the end here is left for the next read to find, as after a seek
    // beyond the end of a file.
    skip_image(s, offset);
    s.ended = false;
    return;
  }
  s.pos = s.len = 0;
  s.no_more_data = false;
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      ::lseek(s.fd, static_cast<off_t>(offset), SEEK_SET) == -1) {
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
