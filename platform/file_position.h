// Positions in a stdio file at 64-bit offsets: a muxer that seeks back to fill in sizes reaches
// every byte of an output of 2 GiB or more on both systems.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kv9 {

// As fseek (SEEK_SET, SEEK_CUR or SEEK_END); false when it fails.
bool seek_file(std::FILE* file, int64_t offset, int whence);

// As ftell; -1 when it fails.
int64_t file_position(std::FILE* file);

}  // namespace kv9
