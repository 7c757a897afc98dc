// vidconv's sound path on arbitrary data: an audio sector's 84 block pairs and arbitrary 16-bit
// decoder and encoder histories, decoded, resampled and encoded by the tools and by the plain
// reference. The encoded sector and the histories must agree.
#include <array>

#include "common/layout.h"
#include "support/differential.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  kv9::test::RefStereo decoder, encoder;
  for (auto* h :
       {&decoder.channel[0], &decoder.channel[1], &encoder.channel[0], &encoder.channel[1]}) {
    *h = {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>()};
  }
  std::array<uint8_t, kv9::kRegionBytes> region{};
  in.ConsumeData(region.data(), region.size());
  const std::string differs = kv9::test::sector_differs(decoder, encoder, region.data());
  kv9::fuzz::check(differs.empty(), differs);
  return 0;
}
