// The scanner's side of the movie address file "kv9cdadr.ini": load it into empty tables, and
// write everything known back, replacing the file only once the new one is complete.
#pragma once

#include <cstdio>

#include "common/movie_table.h"

namespace kv9 {

// Clears the tables and loads the address file into them; says so when there is none.
void reload_address_file(MovieTables& tables, const char* path = kAddressFileName);

// Writes the title line, the four section lines and every entry with a non-zero frame count.
// Returns false when a write failed.
bool write_address_lines(const MovieTables& tables, std::FILE* file);

// Writes the address file through a temporary file in the same directory that is renamed over
// the old one once complete. Prints "write %s file\n", or "cannot open file %s\n" /
// "cannot write file %s\n" on failure (the old file then stays as it was). Returns false on
// failure.
bool write_address_file(const MovieTables& tables, const char* path = kAddressFileName);

}  // namespace kv9
