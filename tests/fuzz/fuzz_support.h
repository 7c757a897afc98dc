// Shared pieces of the fuzz targets: failing loudly on a broken invariant, taking values out of
// the fuzz input, and a private temporary file.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

// Prints what went wrong and aborts, which libFuzzer reports as a crash with the input saved.
#define KV9_CHECK(cond, ...)                                        \
  do {                                                              \
    if (!(cond)) {                                                  \
      std::fflush(stdout);                                          \
      std::fprintf(stderr, "\n*** invariant broken: " __VA_ARGS__); \
      std::fputc('\n', stderr);                                     \
      std::abort();                                                 \
    }                                                               \
  } while (0)

namespace kv9::fuzz {

// Takes bytes from the front of the input; once it is used up, a pseudo-random continuation
// seeded by what was read.
struct Input {
  const uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  uint64_t state = size;

  uint8_t u8() {
    const uint8_t b = pos < size ? data[pos++] : static_cast<uint8_t>(state >> 56);
    state = (state ^ b) * 6364136223846793005ull + 1442695040888963407ull;
    return b;
  }
  uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
  bool more() const { return pos < size; }
};

// A file `name` in a directory of this process's own, with `bytes` in it; returns its path.
inline std::string write_temp_file(const char* name, const void* bytes, std::size_t n) {
  static std::string dir;
  if (dir.empty()) {
    dir = "/tmp/kv9fuzz.XXXXXX";
    KV9_CHECK(mkdtemp(dir.data()) != nullptr, "cannot create %s", dir.c_str());
  }
  const std::string path = dir + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  KV9_CHECK(f != nullptr && std::fwrite(bytes, 1, n, f) == n && std::fclose(f) == 0,
            "cannot write %s", path.c_str());
  return path;
}

}  // namespace kv9::fuzz
