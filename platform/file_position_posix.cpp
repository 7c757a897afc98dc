#include <stdio.h>
#include <sys/types.h>

#include "platform/file_position.h"

namespace kv9 {

static_assert(sizeof(off_t) == sizeof(int64_t));

bool seek_file(std::FILE* file, int64_t offset, int whence) {
  return ::fseeko(file, offset, whence) == 0;
}

int64_t file_position(std::FILE* file) {
  return ::ftello(file);
}

}  // namespace kv9
