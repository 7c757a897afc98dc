#include "common/movie_table.h"

#include <cerrno>
#include <cstring>

#include "common/number_scan.h"
#include "platform/file_names.h"

namespace kv9 {
namespace {

struct BuiltinMovie {
  uint32_t address;
  uint32_t frames;
};

// Built-in start addresses (bytes) and frame counts of discs 1 to 4, in id order.
inline constexpr BuiltinMovie kDisc1[] = {
    {0x12616800, 326}, {0x12C74800, 199},  {0x13057800, 161},  {0x1337C800, 1100},
    {0x148F8800, 215}, {0x14D2B800, 1114}, {0x162ED800, 41},   {0x163BA800, 1084},
    {0x178E6800, 324}, {0x17F3A800, 1391}, {0x19A65800, 393},  {0x1A212800, 465},
    {0x1AB27800, 45},  {0x1AC08800, 15},   {0x1AC53800, 360},  {0x1B35B800, 300},
    {0x1B937800, 150}, {0x1BC25800, 890},  {0x1CD87800, 191},  {0x1D142800, 121},
    {0x1D39F800, 401}, {0x1DB74800, 829},  {0x1EBA5800, 141},  {0x1EE66800, 550},
    {0x1F924800, 575}, {0x2045F800, 130},  {0x206E9800, 101},  {0x208E2800, 306},
    {0x20EDC800, 432}, {0x2174C800, 750},  {0x225F2800, 2897},
};
inline constexpr BuiltinMovie kDisc2[] = {
    {0x165FD000, 453}, {0x16ED6000, 278}, {0x17444000, 330}, {0x17AB6000, 450},  {0x18380000, 168},
    {0x186C8000, 219}, {0x18B0F000, 104}, {0x18D17000, 160}, {0x19037000, 381},  {0x197A8000, 226},
    {0x19C12000, 416}, {0x1A432000, 603}, {0x1AFF9000, 335}, {0x1B684000, 381},  {0x1BDF5000, 531},
    {0x1C854000, 120}, {0x1CAAC000, 149}, {0x1CD95000, 150}, {0x1D083000, 255},  {0x1D57E000, 428},
    {0x1DDDA000, 150}, {0x1E0C8000, 75},  {0x1E23F000, 120}, {0x1E497000, 285},  {0x1EA28000, 330},
    {0x1F09A000, 300}, {0x1F676000, 120}, {0x1F8CE000, 75},  {0x1FA45000, 120},  {0x1FC9D000, 692},
    {0x20A21000, 120}, {0x20C79000, 135}, {0x20F1C000, 327}, {0x2157F000, 1186},
};
inline constexpr BuiltinMovie kDisc3[] = {
    {0x19632800, 197}, {0x19A0B800, 472}, {0x1A343800, 105}, {0x1A550800, 105}, {0x1A75D800, 106},
    {0x1A96F800, 106}, {0x1AB81800, 110}, {0x1ADA7800, 300}, {0x1B383800, 75},  {0x1B4FA800, 728},
    {0x1C332800, 120}, {0x1C58A800, 315}, {0x1CBB1800, 226}, {0x1D01B800, 611}, {0x1DC0A800, 105},
    {0x1DE17800, 255}, {0x1E312800, 233}, {0x1E79F800, 90},  {0x1E961800, 90},  {0x1EB23800, 162},
    {0x1EE4D800, 275}, {0x1F3AC800, 280}, {0x1F924800, 90},  {0x1FAE6800, 200}, {0x1FECE800, 600},
    {0x20A86800, 30},  {0x20B1C800, 410}, {0x2131E800, 130}, {0x215A8800, 376}, {0x21D00800, 395},
    {0x224B7800, 625}, {0x230EC800, 995},
};
inline constexpr BuiltinMovie kDisc4[] = {
    {0x0F897000, 390},  {0x10035000, 1260}, {0x118D1000, 285},  {0x11E62000, 225},
    {0x122C7000, 4348}, {0x177B3000, 3065}, {0x1B390000, 7091},
};
static_assert(std::size(kDisc1) == 31 && std::size(kDisc2) == 34);
static_assert(std::size(kDisc3) == 32 && std::size(kDisc4) == 7);

template <std::size_t N>
void set_disc(MovieTables& t, int disc, const BuiltinMovie (&movies)[N]) {
  static_assert(N <= kMaxMovieIds);
  for (std::size_t id = 0; id < N; ++id) {
    t.movie_address[disc][id] = movies[id].address;
    t.movie_frames[disc][id] = movies[id].frames;
  }
}

inline int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads 1 to max_digits hexadecimal digits (either case) after optional white space.
bool read_hex(const char*& p, int max_digits, uint32_t& value) {
  const char* s = p;
  skip_blanks(s);
  uint32_t v = 0;
  int n = 0;
  for (int d; n < max_digits && (d = hex_digit(*s)) >= 0; ++n, ++s) v = v * 16 + uint32_t(d);
  if (n == 0) return false;
  value = v;
  p = s;
  return true;
}

inline bool read_literal(const char*& p, const char* literal) {
  const std::size_t n = std::strlen(literal);
  if (std::strncmp(p, literal, n) != 0) return false;
  p += n;
  return true;
}

// Entry line "id=%d, address=0x%08lX, frame=0x%04X": the blank after each comma matches any
// run of white space; the address takes at most 8 digits and the frame count at most 4; nothing
// after the frame count is examined. A line that does not match the whole pattern is ignored.
bool parse_entry(const char* line, int32_t& id, uint32_t& address, uint32_t& frames) {
  const char* p = line;
  if (!read_literal(p, "id=") || !scan_decimal(p, id) || !read_literal(p, ",")) return false;
  skip_blanks(p);
  if (!read_literal(p, "address=0x") || !read_hex(p, 8, address) || !read_literal(p, ","))
    return false;
  skip_blanks(p);
  return read_literal(p, "frame=0x") && read_hex(p, 4, frames);
}

}  // namespace

void set_builtin_tables(MovieTables& tables) {
  clear_tables(tables);
  set_disc(tables, 1, kDisc1);
  set_disc(tables, 2, kDisc2);
  set_disc(tables, 3, kDisc3);
  set_disc(tables, 4, kDisc4);
}

void clear_tables(MovieTables& tables) {
  tables = MovieTables{};
}

void apply_address_line(MovieTables& tables, AddressFileReader& reader, const char* line) {
  static constexpr char kSection[] = "[kv9disc";
  if (std::strncmp(line, kSection, sizeof kSection - 1) == 0) {
    // Section line: the number after "[kv9disc" selects the disc; the rest is not examined.
    // A number that does not fit selects no disc at all.
    const char* p = line + sizeof kSection - 1;
    int32_t disc = 0;
    if (!starts_number(p)) return;  // no number: the disc stays as it was
    reader.current_disc = scan_decimal(p, disc) ? disc : 0;
    return;
  }
  if (std::strncmp(line, "id=", 3) != 0) return;
  int32_t id = 0;
  uint32_t address = 0;
  uint32_t frames = 0;
  if (!parse_entry(line, id, address, frames)) return;
  const int disc = reader.current_disc;
  if (!valid_disc(disc) || id < 0 || uint32_t(id) >= movie_count[disc]) return;
  tables.movie_address[disc][id] = address;
  tables.movie_frames[disc][id] = frames;
}

bool apply_address_file(MovieTables& tables, std::FILE* file) {
  AddressFileReader reader;
  // Lines longer than 255 characters are examined in pieces of 255, each as a line of its own.
  char line[256];
  while (std::fgets(line, sizeof line, file) != nullptr) apply_address_line(tables, reader, line);
  return std::ferror(file) == 0;
}

AddressFileLoad load_address_file(MovieTables& tables, const char* path) {
  std::FILE* file = open_file(path, "r");
  if (file == nullptr)
    return errno == ENOENT ? AddressFileLoad::kAbsent : AddressFileLoad::kUnreadable;
  // Read into a copy, so that a file failing half-way leaves the tables as they were.
  MovieTables read = tables;
  const bool whole = apply_address_file(read, file);
  std::fclose(file);
  if (!whole) return AddressFileLoad::kUnreadable;
  tables = read;
  return AddressFileLoad::kLoaded;
}

}  // namespace kv9
