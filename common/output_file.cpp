#include "common/output_file.h"

#include <algorithm>
#include <cstring>

namespace kv9 {
namespace {

inline constexpr std::array<uint8_t, 4096> kZeros{};

}  // namespace

bool open_output(OutputFile& out, const char* name) {
  std::snprintf(out.name.data(), out.name.size(), "%s", name);
  out.file = std::fopen(name, "wb");
  if (out.file == nullptr) return false;
  std::setvbuf(out.file, out.buffer.data(), _IOFBF, out.buffer.size());
  return true;
}

void put_bytes(OutputFile& out, const void* data, std::size_t n) {
  std::fwrite(data, 1, n, out.file);
}

void put_zeros(OutputFile& out, std::size_t n) {
  while (n > 0) {
    const std::size_t take = std::min(n, kZeros.size());
    std::fwrite(kZeros.data(), 1, take, out.file);
    n -= take;
  }
}

bool close_output(OutputFile& out) {
  const bool write_failed = std::ferror(out.file) != 0;
  const bool close_failed = std::fclose(out.file) != 0;
  out.file = nullptr;
  return !write_failed && !close_failed;
}

}  // namespace kv9
