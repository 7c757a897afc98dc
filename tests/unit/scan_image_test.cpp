#include "vidscan/scan_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/capture.h"
#include "support/reference_scan.h"
#include "support/temp_dir.h"

namespace kv9 {
namespace {

using Bytes = std::vector<uint8_t>;

void put_header(Bytes& img, std::size_t at, const char* tag, uint8_t pos, uint8_t b6 = 0,
                uint8_t b7 = 0) {
  const uint8_t h[8] = {uint8_t(tag[0]), uint8_t(tag[1]), uint8_t(tag[2]), 1, pos, 9, b6, b7};
  if (at + 8 <= img.size()) std::memcpy(img.data() + at, h, 8);
}

// A movie frame's headers at byte `at`; bytes 6-7 zero for a first frame.
void put_frame(Bytes& img, std::size_t at, bool first) {
  for (uint8_t s = 0; s < 10; ++s) {
    put_header(img, at + 2048 * s, s == 0 ? "SMN" : s == 1 ? "SMR" : "SMJ", s, first ? 0 : 1, 0);
  }
}

struct ScanRun {
  std::string console;
  MovieTables tables;
};

ScanRun production_scan(const std::string& path, int disc) {
  auto image = std::make_unique<ImageStream>();
  ScanRun r;
  clear_tables(r.tables);
  ScanState state;
  r.console = test::console_of([&] { scan_image(state, r.tables, disc, path.c_str(), *image); });
  return r;
}

void expect_same_as_reference(const Bytes& img, int disc = 1) {
  test::TempDir dir;
  const std::string path = (dir / "kv9disc1.img").string();
  test::write_file(path, std::string(img.begin(), img.end()));
  const ScanRun fast = production_scan(path, disc);
  MovieTables ref_tables;
  clear_tables(ref_tables);
  const std::string ref = test::reference_scan(path.c_str(), ref_tables, disc);
  ASSERT_EQ(fast.console, ref);
  EXPECT_EQ(std::memcmp(&fast.tables, &ref_tables, sizeof ref_tables), 0);
}

TEST(ScanImage, TwoMoviesInFortyFourSectors) {
  Bytes img(44 * 2048, 0);
  put_frame(img, 2 * 2048, true);
  put_frame(img, 12 * 2048, false);
  put_frame(img, 22 * 2048, true);
  put_frame(img, 32 * 2048, false);
  test::TempDir dir;
  const std::string path = (dir / "kv9disc1.img").string();
  test::write_file(path, std::string(img.begin(), img.end()));
  const ScanRun r = production_scan(path, 1);
  EXPECT_EQ(r.console, "Now searching... " + path +
                           "\n\n Found! ID=0: 0x00001000, 0x2 frame\n Found! ID=1: 0x0000B000, "
                           "0x2 frame\n");
  EXPECT_EQ(r.tables.movie_address[1][0], 0x1000u);
  EXPECT_EQ(r.tables.movie_frames[1][0], 2u);
  EXPECT_EQ(r.tables.movie_address[1][1], 0xB000u);
  EXPECT_EQ(r.tables.movie_frames[1][1], 2u);
  EXPECT_EQ(r.tables.movie_frames[1][2], 0u);
}

TEST(ScanImage, StarsAndLineBreaksFollowTheFrameCount) {
  for (uint32_t frames : {15u, 16u, 17u, 512u, 513u}) {
    Bytes img(std::size_t{frames} * 20480 + 4096, 0x5A);
    for (uint32_t f = 0; f < frames; ++f) put_frame(img, 2048 + std::size_t{f} * 20480, f == 0);
    expect_same_as_reference(img);
  }
}

TEST(ScanImage, MoviesBeyondTheDiscsIdsAreAnnouncedNotStored) {
  Bytes img(9 * 20480 + 2048, 0);
  for (int m = 0; m < 9; ++m) put_frame(img, std::size_t(m) * 20480, true);
  expect_same_as_reference(img, 4);  // disc 4 has 7 ids
  test::TempDir dir;
  const std::string path = (dir / "kv9disc4.img").string();
  test::write_file(path, std::string(img.begin(), img.end()));
  const ScanRun r = production_scan(path, 4);
  EXPECT_NE(
      r.console.find(" Found! ID=7: 0x00023000, 0x1 frame (not stored: disc 4 has 7 movie ids)"),
      std::string::npos);
}

TEST(ScanImage, PositionLinesEverySixteenMebibytes) {
  Bytes img(0x1000000 + 0x90000, 0);
  put_frame(img, 0x1000000 - 4096, true);  // a movie across the 16 MiB mark prints no mark there
  expect_same_as_reference(img);
  Bytes plain(0x1000000 + 5, 0);
  expect_same_as_reference(plain);
}

// Images of random bytes with headers sprinkled at any byte offset, straddling the scanner's
// 1 MiB reading blocks, ending inside frames: every console byte and table entry as the plain
// byte-by-byte scan gives them.
TEST(ScanImage, BlockwiseScanMatchesPlainScanOnGeneratedImages) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    const std::size_t size = 0x100000 + rng() % 0x180000;
    Bytes img(size);
    const uint8_t alphabet[] = {'S', 'M', 'N', 'R', 'J', 0, 1, 9, 0xFF, 0x41};
    for (auto& b : img) b = (rng() % 4 == 0) ? alphabet[rng() % 10] : uint8_t(rng());
    const int events = 5 + rng() % 40;
    for (int e = 0; e < events; ++e) {
      std::size_t at = rng() % size;
      if (rng() % 3 == 0) at = 0x100000 - (rng() % 12) + (rng() % 2) * 4096;  // near a block edge
      switch (rng() % 5) {
        case 0:  // lone SMN signature
          put_header(img, at, "SMN", 0);
          break;
        case 1:  // SMN and SMR but no SMJ
          put_header(img, at, "SMN", 0);
          put_header(img, at + 2048, "SMR", 1);
          break;
        default: {  // a movie of a few frames, maybe split or cut by the end of the image
          const int frames = 1 + rng() % 6;
          for (int f = 0; f < frames; ++f)
            put_frame(img, at + std::size_t(f) * 20480, f == 0 || rng() % 7 == 0);
        }
      }
    }
    if (rng() % 4 == 0) img.resize(size - rng() % 30000);
    SCOPED_TRACE(round);
    expect_same_as_reference(img, 1 + int(rng() % 4));
  }
}

TEST(ScanImage, EmptyImageAndEdgeSizes) {
  for (std::size_t size : {0u, 1u, 7u, 8u, 9u, 2048u, 0x80000u, 0x80001u}) {
    expect_same_as_reference(Bytes(size, 0));
  }
  Bytes exact(20480);
  put_frame(exact, 0, true);  // ends exactly at the end of the movie's last frame
  expect_same_as_reference(exact);
  Bytes cut(4096 + 8);
  put_frame(cut, 0, true);  // ends inside the first frame's three headers
  expect_same_as_reference(cut);
}

TEST(ScanImage, CannotOpenLeavesTablesUnchanged) {
  test::TempDir dir;
  const ScanRun r = production_scan((dir / "kv9disc1.img").string(), 1);
  EXPECT_EQ(r.console, "cannot open file " + (dir / "kv9disc1.img").string() + "\n");
  const ScanRun d = production_scan(dir.path().string(), 1);
  EXPECT_EQ(d.console, "cannot open file " + dir.path().string() + "\n");
}

}  // namespace
}  // namespace kv9
