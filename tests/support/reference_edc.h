// The plain reference of the CD-ROM error-detection code, bit by bit as the polynomial is
// written: shares nothing with the tools' code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv9::test {

// CRC over `n` bytes, each taken lowest bit first, with the generator
// x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1, starting from `crc`, no final inversion.
uint32_t ref_edc(const uint8_t* data, std::size_t n, uint32_t crc = 0);

}  // namespace kv9::test
