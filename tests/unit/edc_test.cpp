#include "common/edc.h"

#include <gtest/gtest.h>

#include <random>
#include <string_view>
#include <vector>

#include "support/reference_edc.h"

namespace kv9 {
namespace {

// The reference against the code's published check value, so that the comparisons below compare
// with the right code.
TEST(Edc, ReferenceGivesTheCheckValue) {
  constexpr std::string_view kText = "123456789";
  EXPECT_EQ(test::ref_edc(reinterpret_cast<const uint8_t*>(kText.data()), kText.size()),
            0x6EC2EDC4u);
}

// Every path the processor offers against the bit-by-bit reference: every length 0..600 (around
// the 64-, 128- and 256-byte steps of the vector paths, twice over) from 16 alignments with a
// random start, the lengths raw sectors cover, and large odd sizes split in two at a random place
// (the second part continuing from the first's code).
TEST(Edc, EveryPathMatchesTheReference) {
  std::mt19937 rng(23);
  std::vector<uint8_t> data(1 << 20);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  const EdcPath chosen = edc_path();
  for (const EdcPath path :
       {EdcPath::kTable, EdcPath::kClmul, EdcPath::kVpclmul256, EdcPath::kVpclmul512}) {
    if (!use_edc_path(path)) continue;
    const int p = static_cast<int>(path);
    for (std::size_t at = 0; at < 16; ++at) {
      for (std::size_t n = 0; n <= 600; ++n) {
        const uint32_t start = rng();
        ASSERT_EQ(edc_crc(data.data() + at, n, start), test::ref_edc(data.data() + at, n, start))
            << "path " << p << ", " << n << " bytes at " << at;
      }
    }
    for (const std::size_t n : {2064u, 2056u, 2332u, 65537u, (1u << 20) - 3}) {
      const std::size_t at = n < data.size() ? rng() % (data.size() - n) : 0;
      const std::size_t split = rng() % n;
      const uint32_t whole = test::ref_edc(data.data() + at, n);
      const uint32_t first = edc_crc(data.data() + at, split);
      EXPECT_EQ(edc_crc(data.data() + at + split, n - split, first), whole)
          << "path " << p << ", " << n << " bytes split at " << split;
    }
  }
  use_edc_path(chosen);
}

}  // namespace
}  // namespace kv9
