// Loaded with LD_PRELOAD into a tool under test: the file system it writes to has no unnamed
// files (as NFS or FAT) and is slow to flush. Every output and the address file are then written
// as named temporary files "NAME.XXXXXX" beside their final names, and the address file's stays
// named for a while (its flush takes 20 ms), long enough for an interrupt to land there.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

namespace {

template <class Call>
Call next(const char* name) {
  return reinterpret_cast<Call>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

// An open for an unnamed file fails as such a file system fails it; every other goes through.
extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if ((flags & O_TMPFILE) == O_TMPFILE) {
    errno = EOPNOTSUPP;
    return -1;
  }
  static const auto open_file = next<int (*)(const char*, int, ...)>("open");
  return open_file(path, flags, mode);
}

extern "C" int fsync(int fd) {
  static const auto flush = next<int (*)(int)>("fsync");
  ::usleep(20000);
  return flush(fd);
}
