#include "support/temp_dir.h"

#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace kv9::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device seed;
  std::mt19937_64 rng(seed());
  for (;;) {
    path_ = fs::temp_directory_path() / ("kv9test-" + std::to_string(rng() % 1000000000));
    std::error_code error;
    if (fs::create_directory(path_, error)) break;
    if (error) throw fs::filesystem_error("no temporary folder", path_, error);
  }
  fs::permissions(path_, fs::perms(0755));  // others may come in: tests run tools as them
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::map<std::string, std::string> folder_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& f : fs::directory_iterator(dir)) {
    if (f.is_regular_file()) files[f.path().filename().string()] = read_file(f.path());
  }
  return files;
}

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void write_sparse_file(const fs::path& path, uint64_t size,
                       const std::vector<std::pair<uint64_t, std::string>>& pieces) {
  write_file(path, "");
  fs::resize_file(path, size);
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  for (const auto& [at, bytes] : pieces) f.seekp(std::streamoff(at)) << bytes;
}

}  // namespace kv9::test
