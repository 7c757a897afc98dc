// Arbitrary bytes as "kv9cdadr.ini", read over the built-in tables. Invariants:
//  - only entries of discs 1..4 with ids below the disc's movie count change;
//  - reading the same text a second time changes nothing;
//  - the tables, written as vidscan writes them and read back into cleared tables, give the same
//    entries wherever the frame count is 1..0xFFFF, and none where it is 0.
#include <cstring>

#include "common/movie_table.h"
#include "tests/fuzz/fuzz_support.h"
#include "vidscan/address_file_update.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using kv9::MovieTables;
  using kv9::fuzz::check;
  static MovieTables builtin, read, again, back;
  kv9::set_builtin_tables(builtin);
  const std::string path = kv9::fuzz::memory_file(data, size);
  read = builtin;
  check(kv9::load_address_file(read, path.c_str()) == kv9::AddressFileLoad::kLoaded, "unread");
  again = read;
  kv9::load_address_file(again, path.c_str());
  check(std::memcmp(&again, &read, sizeof read) == 0, "a second reading changed the tables");

  std::FILE* f = std::fopen(path.c_str(), "w");
  check(f != nullptr && kv9::write_address_lines(read, f) && std::fclose(f) == 0, "unwritten");
  kv9::clear_tables(back);
  kv9::load_address_file(back, path.c_str());
  for (int d = 0; d <= kv9::kDiscCount; ++d) {
    for (uint32_t id = 0; id < kv9::kMaxMovieIds; ++id) {
      const bool in_table = kv9::valid_disc(d) && id < kv9::movie_count[d];
      const uint32_t a = read.movie_address[d][id], n = read.movie_frames[d][id];
      const bool kept =
          in_table || (a == builtin.movie_address[d][id] && n == builtin.movie_frames[d][id]);
      const bool read_back =
          !in_table || n > 0xFFFF ||
          (back.movie_address[d][id] == (n ? a : 0) && back.movie_frames[d][id] == n);
      if (kept && read_back) continue;  // the message is made only for a broken entry
      check(false, "disc " + std::to_string(d) + " id " + std::to_string(id) +
                       (kept ? " does not read back as written" : " changed"));
    }
  }
  return 0;
}
