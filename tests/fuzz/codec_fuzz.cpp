// vidconv's sound path on arbitrary data: an audio sector's 84 block pairs and arbitrary 16-bit
// decoder and encoder histories, decoded, resampled and encoded by the tools and by the plain
// reference. The block pairs, the encoded sector and the histories must agree, and the sound
// units written must decode back to the encoder's history.
#include <array>

#include "common/layout.h"
#include "support/differential.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  kv9::fuzz::Input in{data, size};
  kv9::test::RefStereo decoder, encoder;
  for (kv9::test::RefStereo* s : {&decoder, &encoder}) {
    for (auto& c : s->channel) c = {static_cast<int16_t>(in.u16()), static_cast<int16_t>(in.u16())};
  }
  std::array<uint8_t, kv9::kRegionBytes> region;
  for (uint8_t& b : region) b = in.u8();
  const std::string differs = kv9::test::sector_differs(decoder, encoder, region.data());
  KV9_CHECK(differs.empty(), "%s", differs.c_str());
  return 0;
}
