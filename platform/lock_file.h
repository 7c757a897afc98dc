// Runs that write one file take turns: each holds a lock on a lock file beside it ("NAME.lock",
// created once and left empty) from reading the file to putting its new version in place. The
// lock file is opened for reading only, so that every user who may read the folder's files takes
// the same lock, whoever created it; the same on every system.
#pragma once

#include <cstdint>

namespace kv9 {

struct LockFile {
  intptr_t handle = -1;
};

// Waits for the lock beside `path`. False when the lock file can be neither opened nor created.
bool lock_beside(LockFile& lock, const char* path);
void release_lock(LockFile& lock);

}  // namespace kv9
