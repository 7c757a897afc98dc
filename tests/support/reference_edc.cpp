#include "support/reference_edc.h"

namespace kv9::test {

uint32_t ref_edc(const uint8_t* data, std::size_t n, uint32_t crc) {
  // The generator's powers 31..0 written bit-reversed, as the lowest bit comes first.
  constexpr int kPowers[] = {31, 16, 15, 4, 3, 1, 0};
  uint32_t reversed = 0;
  for (const int power : kPowers) reversed |= uint32_t{1} << (31 - power);
  for (std::size_t i = 0; i < n; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      const uint32_t in = (data[i] >> bit & 1u) ^ (crc & 1u);
      crc = (crc >> 1) ^ (in != 0 ? reversed : 0);
    }
  }
  return crc;
}

}  // namespace kv9::test
