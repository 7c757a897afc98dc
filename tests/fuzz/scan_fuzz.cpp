// The block-wise movie scan against the plain byte-by-byte one, and against images whose movies
// are known.
//
// Input byte 0 chooses the mode (bit 0), the disc (bits 1-2) and, in the first mode, a large
// image (bits 3-5 all set) whose interesting part lies just before the 512 KiB or (bit 6) the
// 1 MiB mark: the first is where the search prints its first ".", the second where the image
// stream's first block ends.
//
// Mode "sprinkled": an image of up to 200 KiB (after the lead-in of a large image) of zeros,
// 0xFF or pseudo-random bytes, with sector headers, first frames, whole movies, near-miss
// signatures and flipped bytes laid at positions taken from the input. Invariant: scan_image
// prints exactly what the reference scan prints and leaves exactly the same tables (both
// starting from the built-in or from cleared tables).
//
// Mode "built": an image made by the disc image builder from a list of movies taken from the
// input (1 to 3 frames each, back to back or with filler gaps, at most 10 frames in all), with
// lone SMN sectors where no movie starts in the sector after. Invariants: as above, and the scan
// records exactly that list under ids 0, 1, ... (those within the disc's movie count) and
// leaves every other entry alone.
#include <algorithm>
#include <cstring>

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

std::string image_path;
kv9::ImageStream image;
kv9::ScanState scan_state;
MovieTables start, scanned, reference;

// The header of sector 0 (SMN), 1 (SMR) or 2 (SMJ) of a frame with bytes 6-7 `counter`.
void put(std::vector<uint8_t>& img, uint64_t at, int sector, uint8_t counter) {
  uint8_t h[8] = {'S', 'M', 'N', 1, 0, 9, counter, 0};
  h[2] = static_cast<uint8_t>("NRJ"[sector]);
  h[4] = static_cast<uint8_t>(sector);
  for (std::size_t i = 0; i < 8 && at + i < img.size(); ++i) img[at + i] = h[i];
}

// Scans the image both ways from the same tables; the scan's tables are left in `scanned`.
void compare_with_reference(const std::vector<uint8_t>& img, int disc, bool builtin) {
  kv9::fuzz::write_file(image_path, img.data(), img.size());
  builtin ? kv9::set_builtin_tables(start) : kv9::clear_tables(start);
  scanned = reference = start;
  kv9::fuzz::printed();
  KV9_CHECK(kv9::scan_image(scan_state, scanned, disc, image_path.c_str(), image) ==
                kv9::ScanOutcome::kScanned,
            "scan_image did not scan the image");
  const std::string got = kv9::fuzz::printed();
  const std::string want = kv9::test::reference_scan(image_path.c_str(), reference, disc);
  KV9_CHECK(got == want, "console differs from the reference scan\n    scan: %s\nreference: %s",
            got.c_str(), want.c_str());
  KV9_CHECK(std::memcmp(&scanned, &reference, sizeof scanned) == 0,
            "the tables differ from the reference scan's");
}

void sprinkled_image(kv9::fuzz::Input& in, uint8_t mode, int disc) {
  const bool large = (mode & 0x38) == 0x38;
  const uint64_t origin = !large ? 0 : (mode & 0x40) ? 0x100000 - 0x8000 : 0x80000 - 0x8000;
  const uint16_t area_low = in.u16();
  const std::size_t area = (area_low | in.u8() << 16) % (200 * 1024 + 1);
  const uint8_t fill = in.u8();
  static std::vector<uint8_t> img;
  img.assign(origin + area, (fill & 3) == 1 ? 0xFF : 0);
  if ((fill & 3) >= 2) kv9::fuzz::fill(img, fill * 0x9E37ull + area);

  // Operations of four bytes: what to lay (kind bits 0-2), and where: in 512-byte steps,
  // optionally a few bytes off (kind bit 7), or to the byte within 32 KiB of the end of the
  // lead-in, the first mark of a large image (kind bit 6, the step taken as a signed offset).
  for (int ops = 0; ops < 64 && in.size - in.pos >= 4; ++ops) {
    const uint8_t kind = in.u8();
    const uint16_t step = in.u16();
    const uint8_t extra = in.u8();
    uint64_t at = origin + (uint64_t{step} * 512) % (area + 1);
    if ((kind & 0x80) != 0) at = at + (extra & 0x0F) >= 8 ? at + (extra & 0x0F) - 8 : 0;
    if ((kind & 0x40) != 0) at = origin + 0x8000 + static_cast<int16_t>(step);
    const uint8_t counter = extra | 1;  // bytes 6-7 of a later frame
    switch (kind % 8) {
      case 3:  // an SMN sector of a later frame
        put(img, at, 0, counter);
        break;
      case 4:  // a first frame's three headers
        for (int s = 0; s < 3; ++s) put(img, at + s * kSectorSize, s, 0);
        break;
      case 5:  // a movie of 1 to 8 frames
        for (uint32_t f = 0; f <= (extra >> 4) % 8u; ++f) {
          for (int s = 0; s < 3; ++s) put(img, at + f * kFrameBytes + s * kSectorSize, s, f);
        }
        break;
      case 6:
        if (at < img.size()) img[at] ^= counter;
        break;
      case 7:  // a near miss: the SMN signature with one byte replaced
        put(img, at, 0, 0);
        if (at + extra % 8 < img.size()) img[at + extra % 8] = extra >> 3;
        break;
      default:  // an SMN, SMR or SMJ header with bytes 6-7 zero
        put(img, at, kind % 8, 0);
    }
  }
  compare_with_reference(img, disc, (fill & 0x80) != 0);
}

void built_image(kv9::fuzz::Input& in, int disc) {
  namespace b = kv9::builder;
  b::DiscLayout layout;
  layout.disc = disc;
  layout.filler_seed = in.u8();
  const uint8_t shape = in.u8();
  uint32_t sector = 0, frames_left = 10;
  std::vector<uint32_t> gaps;  // filler sectors
  for (int i = 0; i < 1 + shape % 8 && frames_left > 0; ++i) {
    const uint8_t g = in.u8();
    const uint8_t f = in.u8();
    for (uint32_t s = 0; s < ((i > 0 && (g & 0x80) != 0) ? 0 : g % 6u); ++s)
      gaps.push_back(sector++);
    b::MovieLayout m;
    m.start_sector = sector;
    m.frames = std::min(1 + f % 3u, frames_left);
    frames_left -= m.frames;
    sector += m.frames * kv9::kFrameSectors;
    layout.movies.push_back(m);
  }
  for (uint32_t s = in.u8() % 3; s > 0; --s) gaps.push_back(sector++);
  layout.total_sectors = sector;
  const uint8_t lone = in.u8();
  for (int k = 0; k < 3 && !gaps.empty(); ++k) {
    const uint32_t s = gaps[(lone >> 3) * (k + 1) % gaps.size()];
    const bool movie_next =
        std::any_of(layout.movies.begin(), layout.movies.end(),
                    [&](const b::MovieLayout& m) { return m.start_sector == s + 1; });
    if (((lone >> k) & 1) != 0 && !movie_next) layout.lone_smn_sectors.push_back(s);
  }
  compare_with_reference(b::build_image(layout), disc, (shape & 0x80) != 0);

  for (int d = 0; d <= kv9::kDiscCount; ++d) {
    for (std::size_t id = 0; id < kv9::kMaxMovieIds; ++id) {
      uint32_t address = start.movie_address[d][id], frames = start.movie_frames[d][id];
      if (d == disc && id < kv9::movie_count[d] && id < layout.movies.size()) {
        address = b::movie_address(layout.movies[id]);
        frames = layout.movies[id].frames;
      }
      KV9_CHECK(scanned.movie_address[d][id] == address && scanned.movie_frames[d][id] == frames,
                "built image: disc %d id %zu scanned as (0x%08X, 0x%X), expected (0x%08X, 0x%X)", d,
                id, scanned.movie_address[d][id], scanned.movie_frames[d][id], address, frames);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  image_path = kv9::fuzz::temp_file("kv9disc1.img");
  kv9::fuzz::printed();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::Input in{data, size};
  const uint8_t mode = in.u8();
  const int disc = 1 + (mode >> 1) % 4;
  (mode & 1) == 0 ? sprinkled_image(in, mode, disc) : built_image(in, disc);
  return 0;
}
