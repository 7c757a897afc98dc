// Arbitrary bytes as "kv9cdadr.ini", read over the extractors' built-in tables and over the
// scanner's cleared tables.
//
// Invariants, for both readings:
//  - only entries of discs 1..4 with ids below the disc's movie count change;
//  - reading the same text a second time changes nothing;
//  - the tables written with write_address_lines and read back into cleared tables give the same
//    entries wherever the frame count is 1..0xFFFF, and (0, 0) where it is 0.
#include <cstring>

#include "common/movie_table.h"
#include "tests/fuzz/fuzz_support.h"
#include "vidscan/address_file_update.h"

namespace {

using kv9::MovieTables;

std::string ini_path, written_path;

bool same(const MovieTables& a, const MovieTables& b, int d, int id) {
  return a.movie_address[d][id] == b.movie_address[d][id] &&
         a.movie_frames[d][id] == b.movie_frames[d][id];
}

void check(const MovieTables& start, const MovieTables& read, const char* what) {
  static MovieTables again, back, zero;
  again = read;
  kv9::load_address_file(again, ini_path.c_str());
  KV9_CHECK(std::memcmp(&again, &read, sizeof read) == 0, "%s: a second reading changed", what);

  std::FILE* f = std::fopen(written_path.c_str(), "w");
  KV9_CHECK(f != nullptr && kv9::write_address_lines(read, f) && std::fclose(f) == 0,
            "%s: cannot write the address file", what);
  kv9::reload_address_file(back, written_path.c_str());

  for (int d = 0; d <= kv9::kDiscCount; ++d) {
    for (int id = 0; id < kv9::kMaxMovieIds; ++id) {
      const bool in_table = kv9::valid_disc(d) && static_cast<uint32_t>(id) < kv9::movie_count[d];
      KV9_CHECK(in_table || same(start, read, d, id), "%s: disc %d id %d changed", what, d, id);
      const uint32_t frames = read.movie_frames[d][id];
      if (in_table && frames <= 0xFFFF) {
        KV9_CHECK(same(back, frames == 0 ? zero : read, d, id),
                  "%s: disc %d id %d (0x%08X, 0x%X) read back as (0x%08X, 0x%X)", what, d, id,
                  read.movie_address[d][id], frames, back.movie_address[d][id],
                  back.movie_frames[d][id]);
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ini_path = kv9::fuzz::temp_file(kv9::kAddressFileName);
  written_path = kv9::fuzz::temp_file("written.ini");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::write_file(ini_path, data, size);
  static MovieTables builtin, cleared, read;
  kv9::set_builtin_tables(builtin);
  kv9::clear_tables(cleared);

  read = builtin;  // the extractors: built-in values, then the file
  KV9_CHECK(kv9::load_address_file(read, ini_path.c_str()) == kv9::AddressFileLoad::kLoaded,
            "cannot read %s", ini_path.c_str());
  check(builtin, read, "over built-in tables");

  read = builtin;  // the scanner: the tables cleared, then the file
  kv9::reload_address_file(read, ini_path.c_str());
  check(cleared, read, "over cleared tables");
  return 0;
}
