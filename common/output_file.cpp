#include "common/output_file.h"

#include <algorithm>
#include <cstring>

namespace kv9 {
namespace {

inline constexpr std::array<uint8_t, 4096> kZeros{};

}  // namespace

bool open_output(OutputFile& out, const char* name) {
  std::snprintf(out.name.data(), out.name.size(), "%s", name);
  if (!create_pending_file(out.pending, name, PendingKind::kOutput)) return false;
  std::setvbuf(out.pending.file, out.buffer.data(), _IOFBF, out.buffer.size());
  return true;
}

void put_bytes(OutputFile& out, const void* data, std::size_t n) {
  std::fwrite(data, 1, n, out.pending.file);
}

void put_zeros(OutputFile& out, std::size_t n) {
  while (n > 0) {
    const std::size_t take = std::min(n, kZeros.size());
    std::fwrite(kZeros.data(), 1, take, out.pending.file);
    n -= take;
  }
}

bool close_output(OutputFile& out) {
  return close_pending_file(out.pending);
}

}  // namespace kv9
