#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/image_file.h"

namespace kv9 {

static_assert(sizeof(off_t) >= 8, "image offsets need a 64-bit file position");

bool open_image_file(ImageFile& f, const char* path) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  f.handle = fd;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close_image_file(f);
    return false;
  }
  f.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : -1;
  f.seekable = ::lseek(fd, 0, SEEK_CUR) != -1;
  // Only a file that can be read at an offset is probed: a pipe would lose the byte.
  uint8_t probe;
  if (f.seekable && ::pread(fd, &probe, 1, 0) < 0) {
    close_image_file(f);
    return false;
  }
  return true;
}

void close_image_file(ImageFile& f) {
  if (f.handle >= 0) ::close(static_cast<int>(f.handle));
  f.handle = -1;
}

int64_t read_image_file(const ImageFile& f, uint64_t offset, uint8_t* dst, std::size_t n) {
  const int fd = static_cast<int>(f.handle);
  if (f.seekable && offset > static_cast<uint64_t>(INT64_MAX - static_cast<int64_t>(n))) return 0;
  for (;;) {
    const ssize_t r =
        f.seekable ? ::pread(fd, dst, n, static_cast<off_t>(offset)) : ::read(fd, dst, n);
    if (r >= 0) return r;
    if (errno != EINTR) return -1;
  }
}

}  // namespace kv9
