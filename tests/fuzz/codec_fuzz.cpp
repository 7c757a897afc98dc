// vidconv's sound path on arbitrary data: an audio sector's 84 block pairs and arbitrary 16-bit
// decoder and encoder histories, decoded, resampled and encoded by the tools and by the plain
// reference. The encoded bytes and the histories must agree. Most inputs encode the sector's
// first sound group alone; one in 32 encodes all 18, as vidconv does.
#include <array>

#include "common/layout.h"
#include "support/differential.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::size_t groups =
      (in.ConsumeIntegral<uint8_t>() & 0x1F) == 0x1F ? kv9::kSoundGroupsPerSector : 1;
  kv9::test::RefStereo decoder, encoder;
  for (auto* h :
       {&decoder.channel[0], &decoder.channel[1], &encoder.channel[0], &encoder.channel[1]}) {
    *h = {in.ConsumeIntegral<int16_t>(), in.ConsumeIntegral<int16_t>()};
  }
  std::array<uint8_t, kv9::kRegionBytes> region{};
  in.ConsumeData(region.data(), region.size());
  const std::string differs = kv9::test::sector_differs(decoder, encoder, region.data(), groups);
  kv9::fuzz::check(differs.empty(), differs);
  return 0;
}
