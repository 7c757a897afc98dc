// The scanner's side of the movie address file "kv9cdadr.ini": load it into empty tables, and
// merge what the scan found into the file as it stands when the scan is over.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/movie_table.h"

namespace kv9 {

// Clears the tables and loads the address file into them; says so when there is none. A file
// that exists but cannot be read prints "cannot read file %s\n" and returns false.
bool reload_address_file(MovieTables& tables, const char* path = kAddressFileName);

// Writes the title line, the four section lines and every entry with a non-zero frame count.
// Returns false when a write failed.
bool write_address_lines(const MovieTables& tables, std::FILE* file);

// Puts the movies the scan stored (the ids in `stored_ids` of disc `disc` in `scanned`) over the
// address file as it stands now, so that runs over other discs that wrote it since are kept.
// Runs sharing the file take turns under the lock file "NAME.lock" beside it, whoever runs
// them; each reads the file again, writes a new file beside it, flushes it to the disk and puts it
// in place of the old one, which therefore is never cut or lost. A name that is a symbolic link
// stands for its target, which keeps its permissions. Prints "write %s file\n", or "cannot read
// file %s\n", "cannot open file %s\n", "cannot write file %s\n" on failure. Returns false on
// failure.
bool update_address_file(const MovieTables& scanned, int disc, uint64_t stored_ids,
                         const char* path = kAddressFileName);

}  // namespace kv9
