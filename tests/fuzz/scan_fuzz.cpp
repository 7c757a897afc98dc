// The block-wise movie scan against the plain byte-by-byte one, and against images whose movies
// are known.
//
// Input byte 0 chooses the mode (bit 0), the disc (bits 1-2) and, in the first mode, a large
// image (bits 3-5 all set) whose interesting part lies just before the 512 KiB or (bit 6) the
// 1 MiB mark: the first is where the search prints its first ".", the second where the image
// stream's first block ends.
//
// Mode "sprinkled": an image of up to 200 KiB (plus the lead-in of a large image) filled with
// zeros, 0xFF, pseudo-random bytes or the input's own bytes, with sector headers, first frames,
// whole movies, near-miss signatures and flipped bytes laid at positions taken from the input.
// Invariant: scan_image prints exactly what the reference scan prints and leaves exactly the
// same tables (both starting from the same, possibly non-empty, tables).
//
// Mode "built": an image made by the disc image builder from a list of movies taken from the
// input (1 to 3 frames each, back to back or with filler gaps, at most 10 frames in all, no
// restart frames), with wrong tags only in sectors the scan does not look at and lone SMN
// sectors only where no movie starts in the sector after. Invariants: the scan records exactly
// that list of (address, frames) under ids 0, 1, ... (those within the disc's movie count),
// leaves every other entry alone, and prints what the reference scan prints.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/image_stream.h"
#include "common/layout.h"
#include "common/movie_table.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reference_scan.h"
#include "tools/disc_image_builder.h"
#include "vidscan/scan_image.h"

namespace {

using kv9::kFrameBytes;
using kv9::kSectorSize;
using kv9::MovieTables;
using kv9::fuzz::fail;
using kv9::fuzz::shown;

constexpr std::size_t kSprinkleLimit = 200 * 1024;
constexpr std::size_t kMaxBuiltFrames = 10;

kv9::fuzz::StdoutSink* console;
std::string image_path;
kv9::ImageStream image;
bool show_console = false;  // KV9_FUZZ_SHOW set: the scan's console goes to stderr too

const uint8_t kSmn[8] = {'S', 'M', 'N', 1, 0, 9, 0, 0};
const uint8_t kSmr[8] = {'S', 'M', 'R', 1, 1, 9, 0, 0};
const uint8_t kSmj[8] = {'S', 'M', 'J', 1, 2, 9, 0, 0};

void put(std::vector<uint8_t>& img, uint64_t at, const uint8_t* bytes, std::size_t n) {
  for (std::size_t i = 0; i < n && at + i < img.size(); ++i) img[at + i] = bytes[i];
}

void put_header(std::vector<uint8_t>& img, uint64_t at, const uint8_t (&sig)[8], uint8_t b6) {
  uint8_t h[8];
  std::memcpy(h, sig, 8);
  h[6] = b6;
  put(img, at, h, 8);
}

// Tables both scans start from: empty, or every entry set to a recognisable value.
void starting_tables(MovieTables& t, bool filled) {
  kv9::clear_tables(t);
  if (!filled) return;
  for (int d = 0; d <= kv9::kDiscCount; ++d) {
    for (int id = 0; id < kv9::kMaxMovieIds; ++id) {
      t.movie_address[d][id] = 0xA0000000u + static_cast<uint32_t>(d * 256 + id);
      t.movie_frames[d][id] = 0x7000u + static_cast<uint32_t>(id);
    }
  }
}

void check_same_tables(const MovieTables& a, const MovieTables& b) {
  for (int d = 0; d <= kv9::kDiscCount; ++d) {
    for (int id = 0; id < kv9::kMaxMovieIds; ++id) {
      KV9_FUZZ_CHECK(a.movie_address[d][id] == b.movie_address[d][id] &&
                         a.movie_frames[d][id] == b.movie_frames[d][id],
                     "tables differ at disc %d id %d: scan (0x%08X, 0x%X), reference "
                     "(0x%08X, 0x%X)",
                     d, id, a.movie_address[d][id], a.movie_frames[d][id], b.movie_address[d][id],
                     b.movie_frames[d][id]);
    }
  }
}

// Runs both scans over the image file and checks that they agree; the scan's tables are left in
// `scanned`.
void compare_with_reference(int disc, bool filled, MovieTables& scanned) {
  starting_tables(scanned, filled);
  console->clear();
  const kv9::ScanOutcome outcome = kv9::scan_image(scanned, disc, image_path.c_str(), image);
  const std::string printed = console->text();
  KV9_FUZZ_CHECK(outcome == kv9::ScanOutcome::kScanned, "scan_image did not scan the image");

  static MovieTables reference;
  starting_tables(reference, filled);
  const std::string expected = kv9::test::reference_scan(image_path.c_str(), reference, disc);
  if (printed != expected) {
    const std::size_t at = kv9::fuzz::first_difference(printed, expected);
    fail("console differs from the reference scan at character %zu\n    scan: %s\nreference: %s",
         at, shown(printed.substr(at > 60 ? at - 60 : 0)).c_str(),
         shown(expected.substr(at > 60 ? at - 60 : 0)).c_str());
  }
  check_same_tables(scanned, reference);
  if (show_console) std::fprintf(stderr, "%s", printed.c_str());
}

void sprinkled_image(kv9::fuzz::InputReader& in, uint8_t mode, int disc) {
  const bool large = (mode & 0x38) == 0x38;
  const uint64_t origin = !large ? 0 : (mode & 0x40) ? 0x100000 - 0x8000 : 0x80000 - 0x8000;
  const std::size_t area = in.u24() % (kSprinkleLimit + 1);
  const uint8_t fill = in.u8();
  const bool filled_tables = (fill & 0x80) != 0;

  static std::vector<uint8_t> img;
  img.assign(origin + area, 0);
  switch (fill & 3) {
    case 0:
      break;
    case 1:
      std::fill(img.begin(), img.end(), uint8_t{0xFF});
      break;
    case 2: {
      kv9::fuzz::ByteStream filler{fill * 0x9E37ull + area};
      filler.fill(img.data(), img.size());
      break;
    }
    default: {
      const std::size_t n = std::min<std::size_t>(in.left(), 64);
      for (std::size_t i = 0; n > 0 && i < img.size(); ++i) img[i] = in.rest()[i % n];
      break;
    }
  }

  // Operations of four bytes: what to lay (kind bits 0-2), and where: in 512-byte steps,
  // optionally a few bytes off (kind bit 7), or to the byte within 32 KiB of the end of the
  // lead-in, the first mark of a large image (kind bit 6, the step taken as a signed offset).
  for (int ops = 0; ops < 64 && in.left() >= 4; ++ops) {
    const uint8_t kind = in.u8();
    const uint32_t step = in.u16();
    const uint8_t extra = in.u8();
    uint64_t at = origin + (uint64_t{step} * 512) % (area + 1);
    if ((kind & 0x80) != 0) at = at + (extra & 0x0F) >= 8 ? at + (extra & 0x0F) - 8 : 0;
    if ((kind & 0x40) != 0) at = origin + 0x8000 + static_cast<int16_t>(step);
    const uint8_t counter = static_cast<uint8_t>(extra | 1);  // bytes 6-7 of a later frame
    switch (kind % 8) {
      case 0:
        put(img, at, kSmn, 8);
        break;
      case 1:
        put(img, at, kSmr, 8);
        break;
      case 2:
        put(img, at, kSmj, 8);
        break;
      case 3:
        put_header(img, at, kSmn, counter);
        break;
      case 4:
        put(img, at, kSmn, 8);
        put(img, at + kSectorSize, kSmr, 8);
        put(img, at + 2 * kSectorSize, kSmj, 8);
        break;
      case 5: {
        const uint32_t frames = 1 + (extra >> 4) % 8;
        for (uint32_t f = 0; f < frames; ++f) {
          const uint64_t frame_at = at + uint64_t{f} * kFrameBytes;
          const uint8_t b6 = f == 0 ? 0 : static_cast<uint8_t>(f);
          put_header(img, frame_at, kSmn, b6);
          put_header(img, frame_at + kSectorSize, kSmr, b6);
          put_header(img, frame_at + 2 * kSectorSize, kSmj, b6);
        }
        break;
      }
      case 6:
        if (at < img.size()) img[at] ^= counter;
        break;
      default: {
        // A near miss: the SMN signature with one byte replaced.
        uint8_t h[8];
        std::memcpy(h, kSmn, 8);
        h[extra % 8] = static_cast<uint8_t>(extra >> 3);
        put(img, at, h, 8);
        break;
      }
    }
  }
  kv9::fuzz::write_file(image_path, img.data(), img.size());
  static MovieTables scanned;
  compare_with_reference(disc, filled_tables, scanned);
}

void built_image(kv9::fuzz::InputReader& in, int disc) {
  namespace b = kv9::builder;
  b::DiscLayout layout;
  layout.disc = disc;
  layout.filler_seed = in.u8();
  const uint8_t shape = in.u8();
  const bool filled_tables = (shape & 0x80) != 0;
  const std::size_t wanted = 1 + shape % 8;

  std::size_t frames_left = kMaxBuiltFrames;
  uint32_t sector = 0;
  std::vector<uint32_t> gap_sectors;  // filler sectors between and before the movies
  for (std::size_t i = 0; i < wanted && frames_left > 0; ++i) {
    const uint8_t g = in.u8();
    const uint8_t f = in.u8();
    const uint32_t gap = (i > 0 && (g & 0x80) != 0) ? 0 : g % 6;
    for (uint32_t s = 0; s < gap; ++s) gap_sectors.push_back(sector + s);
    sector += gap;
    b::MovieLayout m;
    m.start_sector = sector;
    m.frames = static_cast<uint32_t>(std::min<std::size_t>(1 + f % 3, frames_left));
    frames_left -= m.frames;
    sector += m.frames * static_cast<uint32_t>(kv9::kFrameSectors);
    // A wrong tag where the scan never looks: sectors 3-9 of a first frame, 1-9 of later ones.
    if ((f & 0x10) != 0) {
      const uint32_t frame = (f >> 5) % m.frames;
      const uint32_t in_frame = frame == 0 ? 3 + g % 7 : 1 + g % 9;
      layout.wrong_tags.push_back(
          {m.start_sector + frame * static_cast<uint32_t>(kv9::kFrameSectors) + in_frame,
           {'X', static_cast<char>('A' + g % 26), 'J'}});
    }
    layout.movies.push_back(std::move(m));
  }
  const uint8_t tail = in.u8();
  const uint32_t trailing = tail % 3;
  for (uint32_t s = 0; s < trailing; ++s) gap_sectors.push_back(sector + s);
  layout.total_sectors = sector + trailing;

  // Lone SMN signatures in filler sectors, except right before a movie.
  const uint8_t lone = in.u8();
  for (int k = 0; k < 3 && !gap_sectors.empty(); ++k) {
    if (((lone >> k) & 1) == 0) continue;
    const uint32_t s = gap_sectors[(lone >> 3) * (k + 1) % gap_sectors.size()];
    const bool movie_next =
        std::any_of(layout.movies.begin(), layout.movies.end(),
                    [&](const b::MovieLayout& m) { return m.start_sector == s + 1; });
    if (!movie_next) layout.lone_smn_sectors.push_back(s);
  }

  const std::vector<uint8_t> img = b::build_image(layout);
  kv9::fuzz::write_file(image_path, img.data(), img.size());

  static MovieTables scanned;
  compare_with_reference(disc, filled_tables, scanned);

  static MovieTables untouched;
  starting_tables(untouched, filled_tables);
  for (int d = 0; d <= kv9::kDiscCount; ++d) {
    for (int id = 0; id < kv9::kMaxMovieIds; ++id) {
      uint32_t want_address = untouched.movie_address[d][id];
      uint32_t want_frames = untouched.movie_frames[d][id];
      const bool stored = d == disc && static_cast<uint32_t>(id) < kv9::movie_count[disc];
      if (stored && static_cast<std::size_t>(id) < layout.movies.size()) {
        want_address = b::movie_address(layout.movies[static_cast<std::size_t>(id)]);
        want_frames = layout.movies[static_cast<std::size_t>(id)].frames;
      }
      KV9_FUZZ_CHECK(scanned.movie_address[d][id] == want_address &&
                         scanned.movie_frames[d][id] == want_frames,
                     "built image of %zu movies: disc %d id %d scanned as (0x%08X, 0x%X), "
                     "expected (0x%08X, 0x%X)",
                     layout.movies.size(), d, id, scanned.movie_address[d][id],
                     scanned.movie_frames[d][id], want_address, want_frames);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kv9::fuzz::StdoutSink sink(true);
  static kv9::fuzz::TempDir dir;
  console = &sink;
  image_path = dir.file("kv9disc1.img");
  show_console = std::getenv("KV9_FUZZ_SHOW") != nullptr;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::InputReader in(data, size);
  const uint8_t mode = in.u8();
  const int disc = 1 + (mode >> 1) % 4;
  if ((mode & 1) == 0) {
    sprinkled_image(in, mode, disc);
  } else {
    built_image(in, disc);
  }
  return 0;
}
