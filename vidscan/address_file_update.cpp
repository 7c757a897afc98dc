#include "vidscan/address_file_update.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kv9 {
namespace {

// Writes the tables to a new file beside `path` and renames it over `path`. `dir_fd` is the
// folder, for making the rename itself reach the disk (-1: not open).
bool replace_address_file(const MovieTables& tables, const char* path, int dir_fd) {
  char temp[PATH_MAX];
  std::snprintf(temp, sizeof temp, "%s.XXXXXX", path);
  const int fd = ::mkstemp(temp);
  if (fd < 0) {
    std::printf("cannot open file %s\n", path);
    return false;
  }
  // The file gets the permissions a newly created file gets, not mkstemp's owner-only ones.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* file = ::fdopen(fd, "w");
  std::printf("write %s file\n", path);
  bool ok = file != nullptr && write_address_lines(tables, file);
  if (file != nullptr) {
    ok = std::fflush(file) == 0 && ok;
    ok = ::fsync(fd) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
  } else {
    ::close(fd);
  }
  ok = ok && std::rename(temp, path) == 0;
  if (!ok) {
    std::remove(temp);
    std::printf("cannot write file %s\n", path);
    return false;
  }
  // The new file is complete on the disk; this makes its name reach it too. Should it fail,
  // the folder still holds either the old file or the new one, so it is not reported.
  if (dir_fd >= 0) ::fsync(dir_fd);
  return true;
}

bool merge_into_address_file(const MovieTables& scanned, int disc, uint64_t stored_ids,
                             const char* path, int dir_fd) {
  MovieTables tables;
  clear_tables(tables);
  if (load_address_file(tables, path) == AddressFileLoad::kUnreadable) {
    std::printf("cannot read file %s\n", path);
    return false;
  }
  for (uint32_t id = 0; id < movie_count[disc]; ++id) {
    if ((stored_ids >> id & 1) == 0) continue;
    tables.movie_address[disc][id] = scanned.movie_address[disc][id];
    tables.movie_frames[disc][id] = scanned.movie_frames[disc][id];
  }
  return replace_address_file(tables, path, dir_fd);
}

}  // namespace

bool reload_address_file(MovieTables& tables, const char* path) {
  clear_tables(tables);
  switch (load_address_file(tables, path)) {
    case AddressFileLoad::kLoaded:
      return true;
    case AddressFileLoad::kAbsent:
      std::printf("file %s is not exist\n", path);
      return true;
    case AddressFileLoad::kUnreadable:
      std::printf("cannot read file %s\n", path);
      std::fflush(stdout);
      return false;
  }
  return false;
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

bool update_address_file(const MovieTables& scanned, int disc, uint64_t stored_ids,
                         const char* path) {
  // The folder of the file: what comes before its last '/', else the current one.
  char dir[PATH_MAX] = ".";
  if (const char* slash = std::strrchr(path, '/'); slash != nullptr) {
    std::snprintf(dir, sizeof dir, "%.*s", static_cast<int>(slash - path), path);
    if (slash == path) std::snprintf(dir, sizeof dir, "/");
  }
  // The lock on the folder serialises the runs that share it; a folder that cannot be opened
  // for it (no read permission) is written without it.
  const int dir_fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    while (::flock(dir_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  const bool ok = merge_into_address_file(scanned, disc, stored_ids, path, dir_fd);
  std::fflush(stdout);
  if (dir_fd >= 0) ::close(dir_fd);  // releases the lock
  return ok;
}

}  // namespace kv9
