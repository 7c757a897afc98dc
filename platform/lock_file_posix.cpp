#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_names.h"
#include "platform/lock_file.h"

namespace kv9 {

bool lock_beside(LockFile& lock, const char* path) {
  PathText name;
  if (std::snprintf(name.data(), name.size(), "%s.lock", path) >= int(name.size())) return false;
  const int fd = ::open(name.data(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return false;
    }
  }
  lock.handle = fd;
  return true;
}

void release_lock(LockFile& lock) {
  if (lock.handle >= 0) ::close(static_cast<int>(lock.handle));  // releases the lock
  lock.handle = -1;
}

}  // namespace kv9
