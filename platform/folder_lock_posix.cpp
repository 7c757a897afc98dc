#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_names.h"
#include "platform/folder_lock.h"

namespace kv9 {

bool lock_folder_of(FolderLock& lock, const char* path) {
  PathText name;
  folder_of(path, name);
  int fd = ::open(name.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && std::snprintf(name.data(), name.size(), "%s.lock", path) < int(name.size())) {
    fd = ::open(name.data(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  }
  if (fd < 0) return false;
  while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
  }
  lock.handle = fd;
  return true;
}

void unlock_folder(FolderLock& lock) {
  if (lock.handle >= 0) ::close(static_cast<int>(lock.handle));  // releases the lock
  lock.handle = -1;
}

}  // namespace kv9
