#include "vidscan/scan_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/differential.h"
#include "support/temp_dir.h"

namespace kv9 {
namespace {

using Bytes = std::vector<uint8_t>;

// A frame's ten headers at byte `at`, as far as the image reaches; bytes 6-7 zero in a first
// frame.
void put_frame(Bytes& img, std::size_t at, bool first, int sectors = 10) {
  for (int s = 0; s < sectors; ++s) {
    const char* tag = s == 0 ? "SMN" : s == 1 ? "SMR" : "SMJ";
    const uint8_t h[8] = {uint8_t(tag[0]),
                          uint8_t(tag[1]),
                          uint8_t(tag[2]),
                          1,
                          uint8_t(s),
                          9,
                          uint8_t(first ? 0 : 1),
                          0};
    for (int i = 0; i < 8 && at + 2048 * s + i < img.size(); ++i) img[at + 2048 * s + i] = h[i];
  }
}

class ScanImage : public testing::Test {
 protected:
  // The scan of `img` as disc `disc` against the byte-by-byte reference scan.
  void expect_as_reference(const Bytes& img, int disc = 1) {
    test::write_file(path, std::string(img.begin(), img.end()));
    EXPECT_EQ(test::scan_differs(path.c_str(), disc), "");
  }
  test::TempDir dir;
  std::string path = (dir / "kv9disc1.img").string();
};

// 44 sectors: a movie of two frames from sector 2, another from sector 22.
TEST_F(ScanImage, FindsTwoMoviesOfTwoFrames) {
  Bytes img(44 * 2048, 0);
  for (int f = 0; f < 4; ++f) put_frame(img, (2 + 10 * f) * 2048, f % 2 == 0);
  test::write_file(path, std::string(img.begin(), img.end()));
  MovieTables t;
  clear_tables(t);
  static ImageStream image;
  ScanState state;
  EXPECT_EQ(test::console_of([&] { scan_image(state, t, 1, path.c_str(), image); }),
            "Now searching... " + path +
                "\n\n Found! ID=0: 0x00001000, 0x2 frame\n Found! ID=1: 0x0000B000, 0x2 frame\n");
  EXPECT_EQ(std::vector(&t.movie_address[1][0], &t.movie_address[1][3]),
            (std::vector<uint32_t>{0x1000, 0xB000, 0}));
  EXPECT_EQ(std::vector(&t.movie_frames[1][0], &t.movie_frames[1][3]),
            (std::vector<uint32_t>{2, 2, 0}));
  EXPECT_EQ(state.stored_ids, 3u);
}

// Generated images of random bytes with headers sprinkled at any offset, across the scanner's
// 1 MiB reading blocks and its 512 KiB marks, movies split, cut and beyond the disc's ids.
TEST_F(ScanImage, GeneratedImagesScanAsTheReference) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    const std::size_t size = 0x100000 + rng() % 0x180000;
    Bytes img(size);
    const uint8_t alphabet[] = {'S', 'M', 'N', 'R', 'J', 0, 1, 9, 0xFF, 0x41};
    for (auto& b : img) b = (rng() % 4 == 0) ? alphabet[rng() % 10] : uint8_t(rng());
    for (int e = 5 + rng() % 40; e > 0; --e) {
      std::size_t at = rng() % size;
      if (rng() % 3 == 0) at = 0x80000 * (1 + rng() % 2) - rng() % 12 + (rng() % 2) * 4096;
      if (rng() % 3 == 0) {
        put_frame(img, at, true, 1 + rng() % 2);  // a lone SMN, or SMN and SMR only
      } else {
        for (int f = 0, frames = 1 + rng() % 6; f < frames; ++f)
          put_frame(img, at + std::size_t(f) * 20480, f == 0 || rng() % 7 == 0);
      }
    }
    if (rng() % 4 == 0) img.resize(size - rng() % 30000);
    SCOPED_TRACE(round);
    expect_as_reference(img, 1 + int(rng() % 4));
  }
}

// Stars every 16 frames and a line break every 512; more movies than disc 4's seven ids; the
// position every 16 MiB; images ending anywhere, inside the first frame's headers included.
TEST_F(ScanImage, MarksIdsAndEndsAsTheReference) {
  for (uint32_t frames : {15u, 16u, 17u, 512u, 513u}) {
    Bytes img(std::size_t{frames} * 20480 + 4096, 0x5A);
    for (uint32_t f = 0; f < frames; ++f) put_frame(img, 2048 + std::size_t{f} * 20480, f == 0);
    expect_as_reference(img);
  }
  Bytes nine(9 * 20480 + 2048, 0);
  for (int m = 0; m < 9; ++m) put_frame(nine, std::size_t(m) * 20480, true);
  expect_as_reference(nine, 4);
  Bytes long_image(0x1000000 + 0x90000, 0);
  put_frame(long_image, 0x1000000 - 4096, true);  // across the 16 MiB mark: no mark there
  expect_as_reference(long_image);
  for (std::size_t size : {0u, 7u, 8u, 9u, 0x80000u, 20480u, 4096u + 8}) {
    Bytes img(size, 0);
    put_frame(img, 0, true);
    expect_as_reference(img);
  }
}

}  // namespace
}  // namespace kv9
