#include "vidconv/xa_encoder.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "support/differential.h"

namespace kv9 {
namespace {

// Sectors of random block pairs (every other one with sensible parameter bytes; every fifth one
// block repeated, giving constant and full-scale square signals, and every fifth silence, where
// all 52 candidates tie and the first must win) from random histories: decoded, resampled and
// encoded exactly as the plain reference does, by the search of every instruction set the
// processor offers.
TEST(SoundPath, RandomSectorsMatchTheReference) {
  const XaSearchPath chosen = xa_search_path();
  for (const auto path : {XaSearchPath::kPlain, XaSearchPath::kAvx2, XaSearchPath::kAvx512}) {
    if (!use_xa_search_path(path)) continue;
    std::mt19937 rng(11);
    for (int sector = 0; sector < 300; ++sector) {
      std::array<uint8_t, kRegionBytes> region;
      for (auto& b : region) b = static_cast<uint8_t>(rng());
      for (std::size_t b = 0; sector % 2 && b < region.size(); b += kBlockBytes) {
        region[b] = static_cast<uint8_t>((rng() % 5) * 16 + 4 + rng() % 9);
      }
      for (std::size_t b = 16; sector % 5 == 0 && b < region.size(); ++b)
        region[b] = region[b % 16];
      if (sector % 5 == 1) region.fill(0);
      test::RefStereo decoder, encoder;
      for (test::RefStereo* s : {&decoder, &encoder}) {
        for (auto& c : s->channel)
          c = sector % 5 == 1 ? test::RefHistory{}
                              : test::RefHistory{int16_t(rng()), int16_t(rng())};
      }
      ASSERT_EQ(test::sector_differs(decoder, encoder, region.data()), "")
          << "sector " << sector << " of search " << static_cast<int>(path);
    }
  }
  use_xa_search_path(chosen);
}

}  // namespace
}  // namespace kv9
