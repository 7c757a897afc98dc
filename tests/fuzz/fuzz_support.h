// Shared pieces of the fuzz targets: failing loudly on a broken invariant, taking values out of
// the fuzz input, a private temporary file, and catching what the tools print on stdout.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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

// Takes bytes from the front of the input; once it is used up, zeros or (with `more`) a
// pseudo-random continuation seeded by the input.
struct Input {
  const uint8_t* data;
  std::size_t size;
  bool more = false;
  std::size_t pos = 0;
  uint64_t state = size;

  uint8_t u8() {
    const bool from_input = pos < size;
    const uint8_t b = from_input ? data[pos++] : 0;
    state = (state ^ b) * 6364136223846793005ull + 1442695040888963407ull;
    return from_input || !more ? b : static_cast<uint8_t>(state >> 56);
  }
  uint16_t u16() {
    const uint8_t lo = u8();
    return static_cast<uint16_t>(lo | u8() << 8);
  }
  uint32_t u32() {
    const uint16_t lo = u16();
    return lo | uint32_t{u16()} << 16;
  }
};

// Pseudo-random filler bytes.
inline void fill(std::vector<uint8_t>& v, uint64_t seed) {
  for (uint8_t& b : v) b = static_cast<uint8_t>((seed = seed * 6364136223846793005ull + 1) >> 56);
}

// A file named `name` in a directory of this process's own, removed when the process ends.
inline std::string temp_file(const char* name) {
  static struct Dir {
    std::string path =
        access("/dev/shm", W_OK) == 0 ? "/dev/shm/kv9fuzz.XXXXXX" : "/tmp/kv9fuzz.XXXXXX";
    std::vector<std::string> files;
    Dir() { KV9_CHECK(mkdtemp(path.data()) != nullptr, "cannot create %s", path.c_str()); }
    ~Dir() {
      for (const std::string& f : files) unlink(f.c_str());
      rmdir(path.c_str());
    }
  } dir;
  dir.files.push_back(dir.path + "/" + name);
  return dir.files.back();
}

inline void write_file(const std::string& path, const void* data, std::size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  KV9_CHECK(f != nullptr && std::fwrite(data, 1, n, f) == n && std::fclose(f) == 0,
            "cannot write %s", path.c_str());
}

// What is printed on stdout, which goes to a private temporary file from the first call on:
// everything since the last call.
inline std::string printed() {
  static int fd = -1;
  std::fflush(stdout);
  if (fd < 0) {
    std::FILE* t = std::tmpfile();
    KV9_CHECK(t != nullptr && (fd = dup(fileno(t))) >= 0 && dup2(fd, 1) == 1, "no stdout file");
  }
  std::string out(static_cast<std::size_t>(lseek(1, 0, SEEK_END)), '\0');
  KV9_CHECK(pread(fd, out.data(), out.size(), 0) == static_cast<ssize_t>(out.size()) &&
                ftruncate(1, 0) == 0 && lseek(1, 0, SEEK_SET) == 0,
            "cannot read stdout back");
  return out;
}

}  // namespace kv9::fuzz
