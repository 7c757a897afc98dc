#include "vidscan/address_file_update.h"

#include <cstdint>
#include <string>

namespace kv9 {

void reload_address_file(MovieTables& tables, const char* path) {
  clear_tables(tables);
  if (!load_address_file(tables, path)) std::printf("file %s is not exist\n", path);
}

bool write_address_lines(const MovieTables& tables, std::FILE* file) {
  bool ok = std::fprintf(file, "%s\n", kAddressFileTitle) >= 0;
  for (int disc = 1; disc <= kDiscCount; ++disc) {
    ok = std::fprintf(file, "[kv9disc%d.img]\n", disc) >= 0 && ok;
    for (uint32_t id = 0; id < movie_count[disc]; ++id) {
      const uint32_t frames = tables.movie_frames[disc][id];
      if (frames == 0) continue;
      ok = std::fprintf(file, "id=%d, address=0x%08lX, frame=0x%04X\n", static_cast<int>(id),
                        static_cast<unsigned long>(tables.movie_address[disc][id]), frames) >= 0 &&
           ok;
    }
  }
  return ok;
}

bool write_address_file(const MovieTables& tables, const char* path) {
  const std::string temp = std::string(path) + ".new";
  std::FILE* file = std::fopen(temp.c_str(), "w");
  if (file == nullptr) {
    std::printf("cannot open file %s\n", path);
    return false;
  }
  std::printf("write %s file\n", path);
  bool ok = write_address_lines(tables, file);
  ok = std::ferror(file) == 0 && ok;
  ok = std::fclose(file) == 0 && ok;
  ok = ok && std::rename(temp.c_str(), path) == 0;
  if (!ok) {
    std::remove(temp.c_str());
    std::printf("cannot write file %s\n", path);
  }
  std::fflush(stdout);
  return ok;
}

}  // namespace kv9
