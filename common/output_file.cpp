#include "common/output_file.h"

#include <algorithm>
#include <cstring>

namespace kv9 {
namespace {

inline constexpr std::array<uint8_t, 4096> kZeros{};

// Writes the held bytes to the file. A disk found full is tried once more after the run made
// room; a file written into directly (a FIFO, a device) gains nothing from room on the disk.
void write_held(OutputFile& out) {
  if (out.in_memory) return;
  std::size_t done = 0;
  bool tried_again = false;
  while (!out.failed) {
    const WriteResult r = write_pending_bytes(out.pending, out.buffer.data(), out.held, done);
    if (r == WriteResult::kWritten) break;
    const bool retry = r == WriteResult::kNoSpace && !tried_again && !out.pending.direct &&
                       out.room.make_room != nullptr && out.room.make_room(out.room.context);
    out.failed = !retry;
    tried_again = true;
  }
  out.held = 0;
}

}  // namespace

bool open_output(OutputFile& out, const char* name) {
  std::snprintf(out.name.data(), out.name.size(), "%s", name);
  out.in_memory = out.failed = false;
  out.held = 0;
  return create_pending_file(out.pending, name, PendingKind::kOutput);
}

void open_output_in_memory(OutputFile& out) {
  out.pending = PendingFile{};
  out.in_memory = true;
  out.failed = false;
  out.held = 0;
}

void put_bytes(OutputFile& out, const void* data, std::size_t n) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (n > 0) {
    if (out.held == out.buffer.size()) {
      if (out.in_memory) {
        out.failed = true;
        return;
      }
      write_held(out);
    }
    const std::size_t take = std::min(n, out.buffer.size() - out.held);
    if (!out.failed) std::memcpy(out.buffer.data() + out.held, bytes, take);
    out.held += take;
    bytes += take;
    n -= take;
  }
}

void put_zeros(OutputFile& out, std::size_t n) {
  while (n > 0) {
    const std::size_t take = std::min(n, kZeros.size());
    put_bytes(out, kZeros.data(), take);
    n -= take;
  }
}

int64_t seek_output(OutputFile& out, int64_t offset, int whence) {
  write_held(out);
  return out.failed ? -1 : seek_pending_file(out.pending, offset, whence);
}

void drop_output(OutputFile& out) {
  discard_pending_file(out.pending);
  out.failed = true;
  out.held = 0;
}

bool close_output(OutputFile& out) {
  write_held(out);
  const bool closed = close_pending_file(out.pending);
  return closed && !out.failed;
}

}  // namespace kv9
