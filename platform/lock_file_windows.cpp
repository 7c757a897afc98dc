#include <windows.h>

#include "platform/file_names.h"
#include "platform/lock_file.h"
#include "platform/wide_path_windows.h"

namespace kv9 {

// The lock is on the whole of "NAME.lock".
bool lock_beside(LockFile& lock, const char* path) {
  PathText name;
  WidePath wide;
  if (std::snprintf(name.data(), name.size(), "%s.lock", path) >= int(name.size()) ||
      !widen_path(name.data(), wide))
    return false;
  const HANDLE h = ::CreateFileW(wide.data(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED whole{};
  if (!::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    ::CloseHandle(h);
    return false;
  }
  lock.handle = reinterpret_cast<intptr_t>(h);
  return true;
}

void release_lock(LockFile& lock) {
  if (lock.handle == -1) return;
  const HANDLE h = reinterpret_cast<HANDLE>(lock.handle);
  OVERLAPPED whole{};
  ::UnlockFileEx(h, 0, MAXDWORD, MAXDWORD, &whole);
  ::CloseHandle(h);
  lock.handle = -1;
}

}  // namespace kv9
