// The error-detection code (EDC) of a raw CD-ROM sector: a CRC-32 with the polynomial
// x^32 + x^31 + x^16 + x^15 + x^4 + x^3 + x + 1 (0x8001801B), bits taken least-significant first
// (reflected: 0xD8018001), initial value 0, no final inversion, stored little-endian after the
// bytes it covers. Its check value over the ASCII text "123456789" is 0x6EC2EDC4.
//
// Every raw sector the tools read is checked, 2064 to 2332 bytes each, so the code runs at close
// to the speed of reading: with carry-less multiplication (VPCLMULQDQ on 512-bit or 256-bit
// vectors, else PCLMULQDQ) where the processor has it, else eight table lookups for every eight
// bytes. All give the same value.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kv9 {

inline constexpr uint32_t kEdcPolynomial = 0x8001801B;           // x^31 .. x^0, x^32 implied
inline constexpr uint32_t kEdcPolynomialReflected = 0xD8018001;  // the same, bit-reversed
inline constexpr uint32_t kEdcCheckValue = 0x6EC2EDC4;           // over "123456789"
inline constexpr std::size_t kEdcBytes = 4;

// The EDC of `n` bytes, continuing from `crc`, the EDC of the bytes before them (0 to start).
uint32_t edc_crc(const uint8_t* data, std::size_t n, uint32_t crc = 0);

// How edc_crc computes: eight table lookups for every eight bytes, or carry-less multiplication
// on 128-bit vectors (PCLMULQDQ), on 256-bit ones (AVX2 and VPCLMULQDQ) or on 512-bit ones
// (AVX-512 and VPCLMULQDQ). A run takes the fastest the processor offers; every one gives the
// same value.
enum class EdcPath { kTable, kClmul, kVpclmul256, kVpclmul512 };
EdcPath edc_path();
// Tests and benchmarks: computes on `path` from now on. False, changing nothing, when the
// processor lacks it.
bool use_edc_path(EdcPath path);

}  // namespace kv9
