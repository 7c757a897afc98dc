// A buffered output file that remembers whether any write failed, so a full disk or an I/O
// error is reported instead of passing for a complete file. It is written beside its final name
// and put in place whole once the movie is over (platform/pending_file.h).
//
// A write that finds the disk full asks the run to make room (the files of movies converted
// ahead hold some of it) and is tried once more before it counts as failed; a file in memory
// takes what fits in its buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/pending_file.h"

namespace kv9 {

inline constexpr std::size_t kOutputBufferBytes = std::size_t{1} << 18;
inline constexpr std::size_t kOutputNameBytes = 64;

// Who frees disk space for a write that found none: true when the write is worth trying again.
struct RoomMaker {
  bool (*make_room)(void* context) = nullptr;
  void* context = nullptr;
};

struct OutputFile {
  PendingFile pending;
  std::array<char, kOutputNameBytes> name{};
  RoomMaker room;
  bool in_memory = false;  // the bytes stay in `buffer`: nothing is written to a file
  bool failed = false;     // a write failed, or the output was dropped: it is not complete
  std::size_t held = 0;    // bytes of `buffer` not written yet
  std::array<uint8_t, kOutputBufferBytes> buffer;
};

// Creates the file that becomes `name` ("wb"). Returns false when it cannot be created.
bool open_output(OutputFile& out, const char* name);
// An output kept in its own buffer, at most kOutputBufferBytes; nothing is written to disk.
void open_output_in_memory(OutputFile& out);

void put_bytes(OutputFile& out, const void* data, std::size_t n);
void put_zeros(OutputFile& out, std::size_t n);

// Writes what is held, then moves the file's position as lseek does; returns the new position,
// or -1 when that fails.
int64_t seek_output(OutputFile& out, int64_t offset, int whence);

// Drops the output at once, freeing what it took on the disk; later writes go nowhere.
void drop_output(OutputFile& out);

// Ends the writing; returns false when any write or the close failed. The file is not in place
// yet: commit_pending_file or discard_pending_file on out.pending decides.
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
