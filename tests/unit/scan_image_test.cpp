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

using test::put_frame_headers;

// The SMN header of a movie's first frame, written out by hand: "SMN", sector 1 of 10, zeros.
constexpr uint8_t kSmnHeader[8] = {'S', 'M', 'N', 0x01, 0x00, 0x09, 0x00, 0x00};

// Each test runs on every screen the processor offers, and restores the one a run takes.
class ScanImage : public ::testing::TestWithParam<SignatureScreen> {
 protected:
  void SetUp() override {
    if (!use_signature_screen(GetParam())) GTEST_SKIP() << "the processor lacks this screen";
  }
  void TearDown() override { use_signature_screen(chosen_); }
  const SignatureScreen chosen_ = signature_screen();
};

std::string screen_name(const ::testing::TestParamInfo<SignatureScreen>& screen) {
  constexpr const char* kNames[] = {"sse2", "avx2", "avx512"};
  return kNames[static_cast<int>(screen.param)];
}
INSTANTIATE_TEST_SUITE_P(Screens, ScanImage,
                         ::testing::Values(SignatureScreen::kSse2, SignatureScreen::kAvx2,
                                           SignatureScreen::kAvx512),
                         screen_name);

// The search's step against a plain memcmp from position 0 on: bytes drawn mostly from the
// header's own (near misses: "SMN" followed by other bytes, several in one vector), headers
// planted at random and at the ends of vectors, and every limit 0..300 (whole vectors of 16, 32
// and 64 positions, and the positions after them).
TEST_P(ScanImage, FindsTheFirstHeader) {
  std::mt19937 rng(77);
  std::vector<uint8_t> data(300 + 7);
  for (int round = 0; round < 200; ++round) {
    const uint8_t alphabet[] = {'S', 'M', 'N', 0x01, 0x00, 0x09, 'S', 'M'};
    for (auto& b : data) b = alphabet[rng() % 8];
    for (int h = int(rng() % 3); h > 0; --h) {
      // Anywhere, or in the last three positions of a 64-byte vector (four of 16, two of 32).
      const std::size_t at =
          rng() % 2 == 0 ? rng() % (data.size() - 7) : 64 * (1 + rng() % 4) - 1 - rng() % 3;
      std::memcpy(data.data() + at, kSmnHeader, sizeof kSmnHeader);
    }
    for (std::size_t limit = 0; limit <= data.size() - 7; ++limit) {
      std::size_t want = 0;
      while (want < limit && std::memcmp(data.data() + want, kSmnHeader, 8) != 0) ++want;
      ASSERT_EQ(find_signature(data.data(), limit), want) << "round " << round << ", " << limit;
    }
  }
}

// Images of every kind scanned as disc 1 to 4 by the block-wise scan and by the byte-by-byte
// reference: random bytes with headers sprinkled at any offset, across the scanner's 1 MiB
// reading blocks and its 512 KiB marks, movies split, cut and beyond the disc's ids; movies of
// 15 to 513 frames (stars and line breaks); more movies than disc 4's seven ids; a sparse image
// past 32 MiB (the position lines, and no mark where a frame check passes over one); images
// ending anywhere, inside a first frame's headers included.
TEST_P(ScanImage, ScansEveryImageAsTheReference) {
  test::TempDir dir;
  const std::string path = (dir / "kv9disc1.img").string();
  const auto expect_as_reference = [&](const std::string& img, int disc) {
    test::write_file(path, img);
    EXPECT_EQ(test::scan_differs(path.c_str(), disc), "");
  };
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    const std::size_t size = 0x100000 + rng() % 0x180000;
    std::string img(size, '\0');
    const char alphabet[] = {'S', 'M', 'N', 'R', 'J', 0, 1, 9, '\xFF', 'A'};
    for (char& b : img) b = (rng() % 4 == 0) ? alphabet[rng() % 10] : char(rng());
    for (int e = 5 + rng() % 40; e > 0; --e) {
      std::size_t at = rng() % size;
      if (rng() % 3 == 0) at = 0x80000 * (1 + rng() % 2) - rng() % 12 + (rng() % 2) * 4096;
      if (rng() % 3 == 0) {
        put_frame_headers(img, at, 1 + rng() % 2);  // a lone SMN, or SMN and SMR only
      } else {
        for (int f = 0, frames = 1 + rng() % 6; f < frames; ++f)
          put_frame_headers(img, at + std::size_t(f) * 20480, 10, f == 0 || rng() % 7 == 0 ? 0 : 1);
        if (at + 20480 + 8 < size && rng() % 3 == 0) img[at + 20480 + rng() % 8] ^= 1;  // near miss
      }
    }
    if (rng() % 4 == 0) img.resize(size - rng() % 30000);
    SCOPED_TRACE(round);
    expect_as_reference(img, 1 + int(rng() % 4));
  }
  for (uint32_t frames : {15u, 16u, 17u, 512u, 513u}) {
    std::string img(std::size_t{frames} * 20480 + 4096, 'Z');
    for (uint32_t f = 0; f < frames; ++f)
      put_frame_headers(img, 2048 + std::size_t{f} * 20480, 10, f == 0 ? 0 : 1);
    expect_as_reference(img, 1);
  }
  std::string nine(9 * 20480 + 2048, '\0'), frame(20480, '\0');
  for (int m = 0; m < 9; ++m) put_frame_headers(nine, std::size_t(m) * 20480);
  expect_as_reference(nine, 4);
  put_frame_headers(frame, 0);
  test::write_sparse_file(path, 0x2000000 + 0x90000, {{0x1800000 - 4096, frame}});
  EXPECT_EQ(test::scan_differs(path.c_str(), 1), "");
  for (std::size_t size : {0u, 7u, 8u, 9u, 0x80000u, 20480u, 4096u + 8}) {
    std::string img(size, '\0');
    put_frame_headers(img, 0);
    expect_as_reference(img, 1);
  }
}

}  // namespace
}  // namespace kv9
