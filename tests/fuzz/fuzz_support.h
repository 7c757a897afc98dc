// Shared pieces of the fuzz targets: failing loudly on a broken invariant, and a private
// temporary file.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstdio>
#include <string>

namespace kv9::fuzz {

// Aborts with `what`, which libFuzzer reports as a crash with the input saved, unless `ok`.
inline void check(bool ok, const std::string& what) {
  if (ok) return;
  std::fprintf(stderr, "\n*** invariant broken: %s\n", what.c_str());
  std::abort();
}

// A file `name` in a directory of this process's own, holding `bytes`; returns its path.
inline std::string write_temp_file(const char* name, const void* bytes, std::size_t n) {
  static std::string dir = "/tmp/kv9fuzz.XXXXXX";
  static const bool made = mkdtemp(dir.data()) != nullptr;
  const std::string path = dir + "/" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  check(made && f != nullptr && std::fwrite(bytes, 1, n, f) == n && std::fclose(f) == 0, path);
  return path;
}

}  // namespace kv9::fuzz
