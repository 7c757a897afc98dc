// Arbitrary bytes as "kv9cdadr.ini", read over the extractors' built-in tables and over the
// scanner's cleared tables.
//
// Invariants:
//  - only entries of discs 1..4 with ids below the disc's movie count ever change;
//  - an entry either keeps its starting value in both readings or gets the same value in both
//    (what the file assigns does not depend on what the tables held before);
//  - reading the file from disk and reading the same bytes from memory give the same tables,
//    and so does handing apply_address_line the file's lines one by one, a line longer than 255
//    characters in pieces of 255;
//  - reading the same text a second time changes nothing;
//  - writing the tables with write_address_lines and reading that back into cleared tables
//    gives the same entries for every frame count 1..0xFFFF; an entry with frame count 0 is not
//    written (reads back as 0, 0); a larger count reads back as its first four hex digits.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/movie_table.h"
#include "tests/fuzz/fuzz_support.h"
#include "vidscan/address_file_update.h"

namespace {

using kv9::MovieTables;
using kv9::fuzz::fail;

kv9::fuzz::TempDir* temp_dir;
std::string ini_path;

struct Entry {
  uint32_t address;
  uint32_t frames;
  bool operator==(const Entry&) const = default;
};

Entry entry(const MovieTables& t, int disc, int id) {
  return {t.movie_address[disc][id], t.movie_frames[disc][id]};
}

bool in_table(int disc, int id) {
  return kv9::valid_disc(disc) && static_cast<uint32_t>(id) < kv9::movie_count[disc];
}

// Runs `body(disc, id)` over every slot of the tables, in-table or not.
template <class F>
void for_every_slot(F&& body) {
  for (int disc = 0; disc <= kv9::kDiscCount; ++disc) {
    for (int id = 0; id < kv9::kMaxMovieIds; ++id) body(disc, id);
  }
}

void check_only_table_entries_change(const MovieTables& before, const MovieTables& after,
                                     const char* what) {
  for_every_slot([&](int disc, int id) {
    if (in_table(disc, id)) return;
    KV9_FUZZ_CHECK(entry(before, disc, id) == entry(after, disc, id),
                   "%s: slot disc %d id %d outside the movie table changed", what, disc, id);
  });
}

void check_same_tables(const MovieTables& a, const MovieTables& b, const char* what) {
  for_every_slot([&](int disc, int id) {
    const Entry ea = entry(a, disc, id);
    const Entry eb = entry(b, disc, id);
    KV9_FUZZ_CHECK(ea == eb, "%s: disc %d id %d: (0x%08X, 0x%X) vs (0x%08X, 0x%X)", what, disc, id,
                   ea.address, ea.frames, eb.address, eb.frames);
  });
}

// Applies bytes held in memory as an address file.
void apply_from_memory(MovieTables& tables, const uint8_t* data, std::size_t size) {
  if (size == 0) return;  // an empty file: nothing to read
  std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
  if (f == nullptr) fail("fmemopen failed");
  kv9::apply_address_file(tables, f);
  std::fclose(f);
}

// Applies the bytes line by line: each line through its line feed, at most 255 characters a
// piece.
void apply_line_by_line(MovieTables& tables, const uint8_t* data, std::size_t size) {
  kv9::AddressFileReader reader;
  std::size_t at = 0;
  while (at < size) {
    char line[256];
    std::size_t n = 0;
    while (n < 255 && at < size) {
      line[n++] = static_cast<char>(data[at++]);
      if (line[n - 1] == '\n') break;
    }
    line[n] = '\0';
    kv9::apply_address_line(tables, reader, line);
  }
}

// The value of the first four hex digits that "%04X" prints for `frames`.
uint32_t first_four_hex_digits(uint32_t frames) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", frames);
  text[4] = '\0';
  return static_cast<uint32_t>(std::strtoul(text, nullptr, 16));
}

void check_round_trip(const MovieTables& tables, const char* what) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  if (out == nullptr) fail("open_memstream failed");
  const bool written = kv9::write_address_lines(tables, out);
  std::fclose(out);
  KV9_FUZZ_CHECK(written, "%s: write_address_lines reported a failed write to memory", what);

  MovieTables back;
  kv9::clear_tables(back);
  apply_from_memory(back, reinterpret_cast<const uint8_t*>(text), size);
  for_every_slot([&](int disc, int id) {
    const Entry e = entry(tables, disc, id);
    const Entry r = entry(back, disc, id);
    Entry want = e;
    if (!in_table(disc, id) || e.frames == 0) {
      want = {0, 0};
    } else if (e.frames > 0xFFFF) {
      want.frames = first_four_hex_digits(e.frames);
    }
    KV9_FUZZ_CHECK(r == want,
                   "%s: disc %d id %d written as (0x%08X, 0x%X) read back as (0x%08X, 0x%X), "
                   "expected (0x%08X, 0x%X)\nwritten text:\n%s",
                   what, disc, id, e.address, e.frames, r.address, r.frames, want.address,
                   want.frames, text);
  });
  std::free(text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kv9::fuzz::StdoutSink sink(false);  // the reload's messages are not looked at
  static kv9::fuzz::TempDir dir;
  temp_dir = &dir;
  ini_path = temp_dir->file(kv9::kAddressFileName);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::write_file(ini_path, data, size);

  static MovieTables builtin, over_builtin, over_builtin_mem, cleared, over_cleared, again;
  kv9::set_builtin_tables(builtin);
  kv9::clear_tables(cleared);

  // The extractors' reading: built-in values, then the file.
  over_builtin = builtin;
  KV9_FUZZ_CHECK(kv9::load_address_file(over_builtin, ini_path.c_str()),
                 "load_address_file could not open an existing file");
  over_builtin_mem = builtin;
  apply_from_memory(over_builtin_mem, data, size);
  check_same_tables(over_builtin, over_builtin_mem, "file vs memory");
  over_builtin_mem = builtin;
  apply_line_by_line(over_builtin_mem, data, size);
  check_same_tables(over_builtin, over_builtin_mem, "file vs line by line");

  // The scanner's reading: cleared tables, then the file.
  over_cleared = builtin;  // reload must clear whatever was there
  kv9::reload_address_file(over_cleared, ini_path.c_str());

  check_only_table_entries_change(builtin, over_builtin, "over built-in tables");
  check_only_table_entries_change(cleared, over_cleared, "over cleared tables");

  for_every_slot([&](int disc, int id) {
    const Entry a = entry(over_builtin, disc, id);
    const Entry b = entry(over_cleared, disc, id);
    const bool kept = a == entry(builtin, disc, id) && b == entry(cleared, disc, id);
    KV9_FUZZ_CHECK(kept || a == b,
                   "disc %d id %d: the file gave (0x%08X, 0x%X) over the built-in tables but "
                   "(0x%08X, 0x%X) over cleared ones",
                   disc, id, a.address, a.frames, b.address, b.frames);
  });

  again = over_builtin;
  apply_from_memory(again, data, size);
  check_same_tables(over_builtin, again, "second reading over built-in tables");
  again = over_cleared;
  apply_from_memory(again, data, size);
  check_same_tables(over_cleared, again, "second reading over cleared tables");

  check_round_trip(over_builtin, "round trip of the tables read over built-in values");
  check_round_trip(over_cleared, "round trip of the tables read over cleared values");

  // No file carries a frame count above 0xFFFF, so the writer also gets tables of arbitrary
  // values drawn from the input: zero, small and large counts, any address.
  uint64_t seed = 0xcbf29ce484222325ull;
  for (std::size_t i = 0; i < size; ++i) seed = (seed ^ data[i]) * 0x100000001b3ull;
  kv9::fuzz::ByteStream values{seed};
  static MovieTables arbitrary;
  for_every_slot([&](int disc, int id) {
    const uint64_t v = values.next();
    arbitrary.movie_address[disc][id] = static_cast<uint32_t>(v);
    const uint32_t high = static_cast<uint32_t>(v >> 32);
    switch (high & 3) {
      case 0:
        arbitrary.movie_frames[disc][id] = 0;
        break;
      case 1:
        arbitrary.movie_frames[disc][id] = (high >> 2) & 0xFFFF;
        break;
      case 2:
        arbitrary.movie_frames[disc][id] = 0xFFFF + ((high >> 2) & 3);
        break;
      default:
        arbitrary.movie_frames[disc][id] = (high >> 2) | 0x10000;
        break;
    }
  });
  check_round_trip(arbitrary, "round trip of arbitrary tables");
  return 0;
}
