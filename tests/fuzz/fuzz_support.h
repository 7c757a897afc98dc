// Shared pieces of the fuzz targets: failing loudly on a broken invariant, and a file held in
// memory.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kv9::fuzz {

// Aborts with `what`, which libFuzzer reports as a crash with the input saved, unless `ok`.
inline void check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "\n*** invariant broken: %s\n", what.c_str());
  std::abort();
}

// A file in memory holding `bytes`, the same one rewritten by every call; returns the path that
// opens it, for code that reads its files by name.
inline std::string memory_file(const void* bytes, std::size_t n) {
  static const int fd = memfd_create("kv9fuzz", 0);
  check(fd >= 0 && pwrite(fd, bytes, n, 0) == ssize_t(n) && ftruncate(fd, off_t(n)) == 0, "memfd");
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace kv9::fuzz
