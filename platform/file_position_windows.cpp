#include <stdio.h>

#include "platform/file_position.h"

namespace kv9 {

bool seek_file(std::FILE* file, int64_t offset, int whence) {
  return ::_fseeki64(file, offset, whence) == 0;
}

int64_t file_position(std::FILE* file) {
  return ::_ftelli64(file);
}

}  // namespace kv9
