// Movie tables of the four discs and the movie address file "kv9cdadr.ini".
//
// Address file lines, in the order the scanner writes them:
//   [Karvelon Tidewater CD-ROM movie address information]
//   [kv9disc%d.img]                                  one per disc, 1 to 4
//   id=%d, address=0x%08lX, frame=0x%04X              entries of that disc, ascending ids
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

namespace kv9 {

inline constexpr int kDiscCount = 4;
inline constexpr int kMaxMovieIds = 34;
inline constexpr const char* kAddressFileName = "kv9cdadr.ini";
inline constexpr const char* kAddressFileTitle =
    "[Karvelon Tidewater CD-ROM movie address information]";

// Movie ids per disc, indexed by disc number (index 0 unused).
inline constexpr std::array<uint32_t, kDiscCount + 1> movie_count = {0, 31, 34, 32, 7};

inline constexpr bool valid_disc(int disc) {
  return disc >= 1 && disc <= kDiscCount;
}

// Start address (byte offset of the first source sector) and frame count of every movie id.
struct MovieTables {
  uint32_t movie_address[kDiscCount + 1][kMaxMovieIds] = {};
  uint32_t movie_frames[kDiscCount + 1][kMaxMovieIds] = {};
};

// The values the game's discs carry; the extractors start from these.
void set_builtin_tables(MovieTables& tables);
// All entries zero; the scanner starts from this.
void clear_tables(MovieTables& tables);

// Reading state of an address file: the disc of the last valid section line (0: none yet).
struct AddressFileReader {
  int current_disc = 0;
};

// Examines one line (at most 255 characters, the line feed included or not) and applies it.
void apply_address_line(MovieTables& tables, AddressFileReader& reader, const char* line);

// Applies every line of an open address file, reading lines of at most 255 characters.
// Returns false when reading fails part-way (the lines read before the failure are applied).
bool apply_address_file(MovieTables& tables, std::FILE* file);

enum class AddressFileLoad {
  kLoaded,      // its entries now replace those of the tables
  kAbsent,      // there is no such file: the tables are unchanged
  kUnreadable,  // it exists but cannot be read whole: the tables are unchanged
};

// Loads "kv9cdadr.ini" from the current directory over the tables, all or nothing: a file that
// cannot be opened (other than one that does not exist), names a directory or fails part-way
// changes nothing. Prints nothing.
AddressFileLoad load_address_file(MovieTables& tables, const char* path = kAddressFileName);

}  // namespace kv9
