#include "vidscan/address_file_update.h"

#include "platform/file_names.h"
#include "platform/lock_file.h"
#include "platform/pending_file.h"

namespace kv9 {
namespace {

// Writes the tables to a new file beside `target` and puts it in place of the old one; the
// messages call the file `name`.
bool replace_address_file(const MovieTables& tables, const char* target, const char* name) {
  PendingFile file;
  if (!create_pending_file(file, target, PendingKind::kAddressFile)) {
    std::printf("cannot open file %s\n", name);
    return false;
  }
  std::printf("write %s file\n", name);
  bool ok = write_address_lines(tables, file.file);
  ok = close_pending_file(file) && ok;
  ok = ok && commit_pending_file(file);
  if (!ok) {
    discard_pending_file(file);
    std::printf("cannot write file %s\n", name);
  }
  return ok;
}

bool merge_into_address_file(const MovieTables& scanned, int disc, uint64_t stored_ids,
                             const char* target, const char* name) {
  MovieTables tables;
  clear_tables(tables);
  if (load_address_file(tables, target) == AddressFileLoad::kUnreadable) {
    std::printf("cannot read file %s\n", name);
    return false;
  }
  for (uint32_t id = 0; id < movie_count[disc]; ++id) {
    if ((stored_ids >> id & 1) == 0) continue;
    tables.movie_address[disc][id] = scanned.movie_address[disc][id];
    tables.movie_frames[disc][id] = scanned.movie_frames[disc][id];
  }
  return replace_address_file(tables, target, name);
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
  // A name that is a symbolic link (a file kept in a shared folder) stands for its target: the
  // target is read, locked beside and replaced. Messages name the file as the user does.
  PathText target;
  LockFile lock;
  bool ok = resolve_target(path, target) && lock_beside(lock, target.data());
  if (!ok) {
    std::printf("cannot open file %s\n", path);
  } else {
    ok = merge_into_address_file(scanned, disc, stored_ids, target.data(), path);
    release_lock(lock);
  }
  std::fflush(stdout);
  return ok;
}

}  // namespace kv9
