// The builder's raw discs (BIN/CUE) against what others make of them: bchunk turns each back
// into the 2048-byte image. The sectors' EDC, address and parity against plain references and
// values written out by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "support/reference_edc.h"
#include "support/temp_dir.h"
#include "tools/disc_image_builder.h"
#include "tools/raw_disc_writer.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;

// The discs of these tests: a movie in 300 sectors of filler.
constexpr uint32_t kSectors = 300;

// The Windows run of the end-to-end tests skips this file: it checks the builder, not the tools.
#define SKIP_ON_THE_WINDOWS_RUN() \
  if (test::windows_tools()) GTEST_SKIP() << "checks the builder, which the Linux run covers"

// kv9disc1.img in `dir`: a movie in filler, cut `cut` bytes short of its last sector's end.
fs::path write_cooked_image(const fs::path& dir, uint32_t cut = 0) {
  builder::DiscLayout layout;
  layout.total_sectors = kSectors;
  layout.movies.push_back({8, 3, {}, {}, {}});
  if (cut != 0) layout.cut_at_byte = uint64_t{kSectors} * 2048 - cut;
  const fs::path image = dir / "kv9disc1.img";
  EXPECT_TRUE(builder::write_image(layout, image.string()));
  return image;
}

// --- Sectors -------------------------------------------------------------------------------------
uint8_t gf_times(uint8_t a, uint8_t b) {  // GF(2^8), x^8 + x^4 + x^3 + x^2 + 1
  unsigned product = 0;
  for (int bit = 7; bit >= 0; --bit) {
    product <<= 1;
    if ((product & 0x100) != 0) product ^= 0x11D;
    if ((b >> bit & 1) != 0) product ^= a;
  }
  return static_cast<uint8_t>(product);
}

// Both syndromes of the vector of words `word(0..n-1)` in byte plane `plane` of the 1170 words
// from byte 12: sum v_i and sum alpha^(n-1-i) v_i.
template <class Word>
std::pair<int, int> syndromes(const uint8_t* sector, int plane, int n, Word word) {
  uint8_t s0 = 0, s1 = 0;
  for (int i = 0; i < n; ++i) {
    const uint8_t v = sector[12 + 2 * word(i) + plane];
    uint8_t weight = 1;
    for (int k = 0; k < n - 1 - i; ++k) weight = gf_times(weight, 2);
    s0 ^= v;
    s1 ^= gf_times(weight, v);
  }
  return {s0, s1};
}

struct AddressCase {
  uint32_t lba;
  std::array<uint8_t, 3> bcd;
};

TEST(RawSectors, CarryAddressEdcAndParityAsWrittenOut) {
  SKIP_ON_THE_WINDOWS_RUN();
  std::mt19937 rng(2352);
  for (const RawMode mode : {RawMode::kMode1, RawMode::kMode2}) {
    for (const AddressCase& a :
         {AddressCase{0, {0x00, 0x02, 0x00}}, {333333, {0x74, 0x06, 0x33}}}) {
      std::array<uint8_t, 2048> data;
      for (auto& b : data) b = static_cast<uint8_t>(rng());
      std::array<uint8_t, 2352> s;
      builder::make_raw_sector(data.data(), mode, a.lba, s.data());
      const bool one = mode == RawMode::kMode1;
      SCOPED_TRACE("mode " + std::to_string(one ? 1 : 2) + ", LBA " + std::to_string(a.lba));
      const std::array<uint8_t, 16> head = {
          0,    0xFF, 0xFF, 0xFF, 0xFF,     0xFF,     0xFF,     0xFF,
          0xFF, 0xFF, 0xFF, 0,    a.bcd[0], a.bcd[1], a.bcd[2], uint8_t(one ? 1 : 2)};
      EXPECT_TRUE(std::equal(head.begin(), head.end(), s.begin()));
      const std::array<uint8_t, 8> subheaders = {0, 0, 8, 0, 0, 0, 8, 0};
      EXPECT_TRUE(one || std::equal(subheaders.begin(), subheaders.end(), s.begin() + 16));
      const std::size_t data_at = one ? 16 : 24, edc_from = one ? 0 : 16;
      EXPECT_TRUE(std::equal(data.begin(), data.end(), s.begin() + data_at));
      const uint32_t edc = test::ref_edc(&s[edc_from], data_at + 2048 - edc_from);
      const std::size_t edc_at = data_at + 2048;
      EXPECT_EQ(
          s[edc_at] | s[edc_at + 1] << 8 | s[edc_at + 2] << 16 | uint32_t(s[edc_at + 3]) << 24,
          edc);
      EXPECT_TRUE(!one || std::all_of(&s[2068], &s[2076], [](uint8_t b) { return b == 0; }));

      if (!one) std::fill(&s[12], &s[16], uint8_t{0});  // Mode 2 parity takes the header as zero
      for (int plane = 0; plane < 2; ++plane) {
        for (int c = 0; c < 43; ++c) {  // P: column c, 24 words and 2 parity words
          EXPECT_EQ(syndromes(s.data(), plane, 26, [&](int i) { return 43 * i + c; }),
                    std::pair(0, 0))
              << "P column " << c << " plane " << plane;
        }
        for (int d = 0; d < 26; ++d) {  // Q: diagonal d, 43 words and 2 parity words
          const auto word = [&](int i) {
            return i < 43 ? (44 * i + 43 * d) % 1118 : 1118 + d + 26 * (i - 43);
          };
          EXPECT_EQ(syndromes(s.data(), plane, 45, word), std::pair(0, 0))
              << "Q diagonal " << d << " plane " << plane;
        }
      }
    }
  }
}

// --- Clients -------------------------------------------------------------------------------------
struct BchunkCase {
  const char* name;
  RawMode mode;
  uint32_t audio_seconds;  // an audio track after the data track, in the same BIN
  uint32_t cut;            // the image ends this many bytes before its last sector does
};
class Bchunk : public testing::TestWithParam<BchunkCase> {};

// bchunk's ISO of track 1 (user data at 16 for Mode 1, at 24 for MODE2/2352) is the image, a
// last partial sector padded with zeros. (What chdman makes of a BIN/CUE, the tools read in the
// image-forms table.)
TEST_P(Bchunk, GivesBackTheImage) {
  SKIP_ON_THE_WINDOWS_RUN();
  if (!test::have_program("bchunk")) GTEST_SKIP() << "no bchunk (Debian: bchunk)";
  const BchunkCase& c = GetParam();
  test::TempDir dir;
  const fs::path image = write_cooked_image(dir.path(), c.cut);
  builder::RawDisc disc;
  disc.mode = c.mode;
  disc.bin_path = (dir / "disc.bin").string();
  disc.cue_path = (dir / "disc.cue").string();
  disc.audio_seconds = c.audio_seconds;
  ASSERT_TRUE(builder::write_raw_disc(image.string(), disc));
  const auto r = test::run_program(dir.path(), "bchunk", {disc.bin_path, disc.cue_path, "out"});
  ASSERT_EQ(r.status, 0) << r.output << r.errors;
  EXPECT_TRUE(read_file(dir / "out01.iso") == read_file(image) + std::string(c.cut, '\0'));
}

INSTANTIATE_TEST_SUITE_P(Discs, Bchunk,
                         testing::Values(BchunkCase{"Mode1", RawMode::kMode1, 0, 0},
                                         BchunkCase{"Mode2", RawMode::kMode2, 0, 0},
                                         BchunkCase{"Mode1CutImage", RawMode::kMode1, 0, 1000},
                                         BchunkCase{"Mode2AudioInOneFile", RawMode::kMode2, 3, 0}),
                         [](const auto& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace kv9
