// A buffered output file that remembers whether any write failed, so a full disk or an I/O
// error is reported instead of passing for a complete file. It is written beside its final name
// and put in place whole once the movie is over (platform/pending_file.h). The same writers can
// also fill an area of memory instead (open_memory_output): a stream built for a library to read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/pending_file.h"

namespace kv9 {

inline constexpr std::size_t kOutputBufferBytes = std::size_t{1} << 18;
inline constexpr std::size_t kOutputNameBytes = 64;

struct OutputFile {
  PendingFile pending;
  std::array<char, kOutputNameBytes> name{};
  std::array<char, kOutputBufferBytes> buffer;
  // Set by open_memory_output: the bytes go into this area, not into a file.
  uint8_t* memory = nullptr;
  std::size_t memory_size = 0;
  std::size_t memory_used = 0;  // every byte put, also those past the area's end
};

// Creates the file that becomes `name` ("wb"). Returns false when it cannot be created.
bool open_output(OutputFile& out, const char* name);

// Writes into `area`, `size` bytes, from its start. Bytes past its end are dropped, and
// close_output then returns false.
void open_memory_output(OutputFile& out, uint8_t* area, std::size_t size);

void put_bytes(OutputFile& out, const void* data, std::size_t n);
void put_zeros(OutputFile& out, std::size_t n);

// Ends the writing; returns false when any write or the close failed. The file is not in place
// yet: commit_pending_file or discard_pending_file on out.pending decides. (Memory: false when
// the bytes put did not fit the area.)
bool close_output(OutputFile& out);

// Little-endian field writers for headers built in memory.
inline void put_le16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_le32(uint8_t* p, uint32_t v) {
  put_le16(p, v);
  put_le16(p + 2, v >> 16);
}

}  // namespace kv9
