// Runs that write one file take turns: each holds a lock on the file's folder from reading the
// file to putting its new version in place. Where the folder cannot be opened for the lock, and
// on Windows, whose folders take no locks, a lock file beside the file ("NAME.lock", created once
// and left empty) is locked instead.
#pragma once

#include <cstdint>

namespace kv9 {

struct FolderLock {
  intptr_t handle = -1;
};

// Waits for the lock of the folder of `path`. False when neither the folder nor a lock file
// can be opened for it.
bool lock_folder_of(FolderLock& lock, const char* path);
void unlock_folder(FolderLock& lock);

}  // namespace kv9
