// Test support: the movie scan written as plainly as it can be, one byte at a time with getc,
// for checking the block-wise scanner against it.
#pragma once

#include <string>

#include "common/movie_table.h"

namespace kv9::test {

// Scans the image at `path` and returns its console output (from "Now searching..." on).
std::string reference_scan(const char* path, MovieTables& tables, int disc);

}  // namespace kv9::test
