#include "common/output_file.h"

#include <algorithm>
#include <cstring>

namespace kv9 {
namespace {

inline constexpr std::array<uint8_t, 4096> kZeros{};

void put_in_memory(OutputFile& out, const void* data, std::size_t n) {
  if (out.memory_used < out.memory_size) {
    const std::size_t fits = std::min(n, out.memory_size - out.memory_used);
    std::memcpy(out.memory + out.memory_used, data, fits);
  }
  out.memory_used += n;
}

}  // namespace

bool open_output(OutputFile& out, const char* name) {
  out.memory = nullptr;
  std::snprintf(out.name.data(), out.name.size(), "%s", name);
  if (!create_pending_file(out.pending, name, PendingKind::kOutput)) return false;
  std::setvbuf(out.pending.file, out.buffer.data(), _IOFBF, out.buffer.size());
  return true;
}

void open_memory_output(OutputFile& out, uint8_t* area, std::size_t size) {
  out.memory = area;
  out.memory_size = size;
  out.memory_used = 0;
}

void put_bytes(OutputFile& out, const void* data, std::size_t n) {
  if (out.memory != nullptr) {
    put_in_memory(out, data, n);
    return;
  }
  std::fwrite(data, 1, n, out.pending.file);
}

void put_zeros(OutputFile& out, std::size_t n) {
  while (n > 0) {
    const std::size_t take = std::min(n, kZeros.size());
    put_bytes(out, kZeros.data(), take);
    n -= take;
  }
}

bool close_output(OutputFile& out) {
  if (out.memory != nullptr) {
    out.memory = nullptr;
    return out.memory_used <= out.memory_size;
  }
  return close_pending_file(out.pending);
}

}  // namespace kv9
