#include "common/edc.h"

#include <immintrin.h>

#include <array>
#include <string_view>

namespace kv9 {
namespace {

// --- Eight table lookups for every eight bytes ---------------------------------------------------
inline constexpr std::size_t kSlices = 8;  // bytes taken by one step of the table path
inline constexpr std::size_t kByteValues = 256;
using SliceTables = std::array<std::array<uint32_t, kByteValues>, kSlices>;

constexpr SliceTables make_slice_tables() {
  SliceTables t{};
  for (uint32_t b = 0; b < kByteValues; ++b) {
    uint32_t c = b;
    for (int bit = 0; bit < 8; ++bit) c = (c >> 1) ^ ((c & 1) != 0 ? kEdcPolynomialReflected : 0);
    t[0][b] = c;
  }
  for (std::size_t k = 1; k < kSlices; ++k) {
    for (std::size_t b = 0; b < kByteValues; ++b) {
      t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    }
  }
  return t;
}

// EDC values: [k][b] is the EDC of the byte b followed by k zero bytes.
inline constexpr SliceTables kSliceTables = make_slice_tables();

constexpr uint32_t crc_byte(uint32_t crc, uint8_t byte) {
  return (crc >> 8) ^ kSliceTables[0][(crc ^ byte) & 0xFF];
}

constexpr uint32_t edc_of_text(std::string_view text) {
  uint32_t crc = 0;
  for (const char c : text) crc = crc_byte(crc, static_cast<uint8_t>(c));
  return crc;
}
static_assert(edc_of_text("123456789") == kEdcCheckValue);

inline uint32_t get_le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The EDC after the 8 bytes of `word` (the first in its low bits), continuing from `crc`.
inline uint32_t crc_word(uint32_t crc, uint64_t word) {
  const SliceTables& t = kSliceTables;
  const uint32_t lo = crc ^ static_cast<uint32_t>(word);
  const uint32_t hi = static_cast<uint32_t>(word >> 32);
  return t[7][lo & 0xFF] ^ t[6][lo >> 8 & 0xFF] ^ t[5][lo >> 16 & 0xFF] ^ t[4][lo >> 24] ^
         t[3][hi & 0xFF] ^ t[2][hi >> 8 & 0xFF] ^ t[1][hi >> 16 & 0xFF] ^ t[0][hi >> 24];
}

uint32_t crc_table(const uint8_t* p, std::size_t n, uint32_t crc) {
  for (; n >= kSlices; n -= kSlices, p += kSlices) {
    crc = crc_word(crc, uint64_t{get_le32(p)} | uint64_t{get_le32(p + 4)} << 32);
  }
  for (; n > 0; --n) crc = crc_byte(crc, *p++);
  return crc;
}

// --- Carry-less multiplication -------------------------------------------------------------------
// The bytes are taken 16 at a time as polynomials, bit 0 of the first byte the highest power
// (the reflected order). Four such lanes run side by side; a lane is carried forward over the
// bytes that follow it by multiplying it by x^distance modulo the polynomial, which keeps it
// within 128 bits, and is then added to the lane it lands on. Once the lanes are one, its 16
// bytes have the same EDC, with start 0, as all bytes before them with the start given; the
// table path takes it and the last bytes from there.
inline constexpr std::size_t kLaneBytes = 16;
inline constexpr std::size_t kLanes = 4;
inline constexpr std::size_t kClmulMinBytes = kLanes * kLaneBytes;  // shorter: the table path
inline constexpr unsigned kLaneBits = kLaneBytes * 8;
static_assert(kLaneBits == 128);

// x^e modulo the polynomial, reflected into 33 bits (bit j the power 32 - j), the form in which
// a carry-less product with a 64-bit half of a lane lands back in lane order.
constexpr uint64_t fold_constant(unsigned e) {
  uint32_t r = 1;  // bit i: the power i
  for (unsigned i = 0; i < e; ++i) r = (r << 1) ^ ((r & 0x80000000u) != 0 ? kEdcPolynomial : 0);
  uint64_t reflected = 0;
  for (unsigned i = 0; i < 32; ++i) {
    if ((r >> i & 1) != 0) reflected |= uint64_t{1} << (32 - i);
  }
  return reflected;
}

// Carrying a lane forward by `bits`: its first 8 bytes (the higher powers) times x^(bits + 32),
// its last 8 bytes times x^(bits - 32). {first, last}, reflected as fold_constant.
struct FoldConstants {
  uint64_t first, last;
};
constexpr FoldConstants fold_by(unsigned bits) {
  return {fold_constant(bits + 32), fold_constant(bits - 32)};
}
inline constexpr FoldConstants kFoldOverLanes = fold_by(kLanes * kLaneBits);
inline constexpr FoldConstants kFoldOverOne = fold_by(kLaneBits);

[[gnu::target("pclmul")]] inline __m128i constants_of(FoldConstants k) {
  return _mm_set_epi64x(static_cast<int64_t>(k.last), static_cast<int64_t>(k.first));
}

[[gnu::target("pclmul")]] inline __m128i fold(__m128i lane, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

[[gnu::target("pclmul")]] inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The bytes after a lane `one` that holds all bytes before them: 16 at a time onto the lane, then
// the lane's two halves and the last bytes by the table path.
[[gnu::target("pclmul")]] inline uint32_t finish_clmul(__m128i one, const uint8_t* p,
                                                       std::size_t n) {
  const __m128i over_one = constants_of(kFoldOverOne);
  for (; n >= kLaneBytes; n -= kLaneBytes, p += kLaneBytes) {
    one = _mm_xor_si128(fold(one, over_one), load(p));
  }
  const auto first = static_cast<uint64_t>(_mm_cvtsi128_si64(one));
  const auto last = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(one, one)));
  return crc_table(p, n, crc_word(crc_word(0, first), last));
}

[[gnu::target("pclmul")]] uint32_t crc_clmul(const uint8_t* p, std::size_t n, uint32_t crc) {
  if (n < kClmulMinBytes) return crc_table(p, n, crc);
  const __m128i over_lanes = constants_of(kFoldOverLanes);
  const __m128i over_one = constants_of(kFoldOverOne);
  __m128i lane[kLanes];
  for (std::size_t i = 0; i < kLanes; ++i) lane[i] = load(p + i * kLaneBytes);
  lane[0] = _mm_xor_si128(lane[0], _mm_cvtsi32_si128(static_cast<int>(crc)));  // the start
  p += kClmulMinBytes;
  n -= kClmulMinBytes;
  for (; n >= kClmulMinBytes; n -= kClmulMinBytes, p += kClmulMinBytes) {
    for (std::size_t i = 0; i < kLanes; ++i) {
      lane[i] = _mm_xor_si128(fold(lane[i], over_lanes), load(p + i * kLaneBytes));
    }
  }
  __m128i one = lane[0];
  for (std::size_t i = 1; i < kLanes; ++i) one = _mm_xor_si128(fold(one, over_one), lane[i]);
  return finish_clmul(one, p, n);
}

// --- Wide carry-less multiplication --------------------------------------------------------------
// The same folding with VPCLMULQDQ, which multiplies every 16-byte lane of a 256-bit or 512-bit
// vector at once: four vectors of two or four lanes run side by side, 128 or 256 bytes a step.
// Once the vectors are one, its lanes are carried forward onto its last lane in one multiply
// (a constant for each lane's distance), and the 16-byte path above takes the last bytes.
inline constexpr std::size_t kWideVectors = 4;
inline constexpr std::size_t kYmmBytes = 32;
inline constexpr std::size_t kZmmBytes = 64;
inline constexpr std::size_t kYmmStep = kWideVectors * kYmmBytes;  // shorter: the 16-byte path
inline constexpr std::size_t kZmmStep = kWideVectors * kZmmBytes;  // shorter: the 16-byte path
static_assert(kYmmStep == 128 && kZmmStep == 256);

// Carrying forward over 1, 2, 3 and 4 vectors (or lanes) of `bytes` each; the last is a step.
constexpr std::array<FoldConstants, kWideVectors> fold_over(std::size_t bytes) {
  std::array<FoldConstants, kWideVectors> k{};
  for (std::size_t i = 0; i < k.size(); ++i)
    k[i] = fold_by(static_cast<unsigned>((i + 1) * bytes * 8));
  return k;
}
inline constexpr auto kOverYmms = fold_over(kYmmBytes);
inline constexpr auto kOverZmms = fold_over(kZmmBytes);
inline constexpr auto kOverLanes = fold_over(kLaneBytes);

// The constants of one distance in every lane of a vector.
[[gnu::target("avx2,vpclmulqdq,pclmul")]] inline __m256i ymm_constants(FoldConstants k) {
  return _mm256_broadcastsi128_si256(constants_of(k));
}
[[gnu::target("avx512f,vpclmulqdq,pclmul")]] inline __m512i zmm_constants(FoldConstants k) {
  const auto first = static_cast<int64_t>(k.first);
  const auto last = static_cast<int64_t>(k.last);
  return _mm512_set_epi64(last, first, last, first, last, first, last, first);
}

[[gnu::target("avx2,vpclmulqdq,pclmul")]] inline __m256i load_ymm(const uint8_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
[[gnu::target("avx512f,vpclmulqdq,pclmul")]] inline __m512i load_zmm(const uint8_t* p) {
  return _mm512_loadu_si512(p);
}

// Once the wide vectors are done with: clears their upper halves, which the SSE code that runs
// next (the 16-byte path, the scan's screen) would otherwise wait on, at a cost larger than the
// EDC's. GCC 12 leaves the instruction out of these functions, so it is asked for here.
[[gnu::target("avx")]] inline void clean_upper_halves() {
  _mm256_zeroupper();
}

// Every lane of `v` carried forward by the distance of `k` and added to `next`.
[[gnu::target("avx2,vpclmulqdq,pclmul")]] inline __m256i fold_onto(__m256i v, __m256i k,
                                                                   __m256i next) {
  return _mm256_xor_si256(
      _mm256_xor_si256(_mm256_clmulepi64_epi128(v, k, 0x00), _mm256_clmulepi64_epi128(v, k, 0x11)),
      next);
}
[[gnu::target("avx512f,vpclmulqdq,pclmul")]] inline __m512i fold_onto(__m512i v, __m512i k,
                                                                      __m512i next) {
  constexpr int kXorOfThree = 0x96;
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(v, k, 0x00),
                                   _mm512_clmulepi64_epi128(v, k, 0x11), next, kXorOfThree);
}

[[gnu::target("avx2,vpclmulqdq,pclmul")]] uint32_t crc_vpclmul256(const uint8_t* p, std::size_t n,
                                                                  uint32_t crc) {
  if (n < kYmmStep) return crc_clmul(p, n, crc);
  __m256i v[kWideVectors];
  for (std::size_t i = 0; i < kWideVectors; ++i) v[i] = load_ymm(p + i * kYmmBytes);
  v[0] = _mm256_xor_si256(v[0], _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
  p += kYmmStep;
  n -= kYmmStep;
  const __m256i over_step = ymm_constants(kOverYmms[3]);
  for (; n >= kYmmStep; n -= kYmmStep, p += kYmmStep) {
    for (std::size_t i = 0; i < kWideVectors; ++i) {
      v[i] = fold_onto(v[i], over_step, load_ymm(p + i * kYmmBytes));
    }
  }
  // The vectors onto the last one, each over the vectors after it.
  const __m256i one = fold_onto(v[0], ymm_constants(kOverYmms[2]),
                                fold_onto(v[1], ymm_constants(kOverYmms[1]),
                                          fold_onto(v[2], ymm_constants(kOverYmms[0]), v[3])));
  const __m128i lane = _mm_xor_si128(fold(_mm256_castsi256_si128(one), constants_of(kFoldOverOne)),
                                     _mm256_extracti128_si256(one, 1));
  clean_upper_halves();
  return finish_clmul(lane, p, n);
}

[[gnu::target("avx512f,vpclmulqdq,pclmul")]] uint32_t crc_vpclmul512(const uint8_t* p,
                                                                     std::size_t n, uint32_t crc) {
  if (n < kZmmStep) return crc_clmul(p, n, crc);
  __m512i v[kWideVectors];
  for (std::size_t i = 0; i < kWideVectors; ++i) v[i] = load_zmm(p + i * kZmmBytes);
  v[0] = _mm512_xor_si512(v[0], _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  p += kZmmStep;
  n -= kZmmStep;
  const __m512i over_step = zmm_constants(kOverZmms[3]);
  for (; n >= kZmmStep; n -= kZmmStep, p += kZmmStep) {
    for (std::size_t i = 0; i < kWideVectors; ++i) {
      v[i] = fold_onto(v[i], over_step, load_zmm(p + i * kZmmBytes));
    }
  }
  const __m512i one = fold_onto(v[0], zmm_constants(kOverZmms[2]),
                                fold_onto(v[1], zmm_constants(kOverZmms[1]),
                                          fold_onto(v[2], zmm_constants(kOverZmms[0]), v[3])));
  // Lanes 0, 1 and 2 carried over 3, 2 and 1 lanes; lane 3 stays (its product is dropped).
  const auto half = [](std::size_t lanes, bool last) {
    const FoldConstants& k = kOverLanes[lanes - 1];
    return static_cast<int64_t>(last ? k.last : k.first);
  };
  const __m512i spread = _mm512_set_epi64(0, 0, half(1, true), half(1, false), half(2, true),
                                          half(2, false), half(3, true), half(3, false));
  constexpr __mmask8 kLastLane = 0xC0;  // its two 64-bit halves
  // Each 256-bit half taken out whole by the masked extract (GCC 12 warns of the plain one).
  constexpr __mmask8 kWholeHalf = 0x0F;
  const __m512i carried =
      _mm512_mask_blend_epi64(kLastLane,
                              _mm512_xor_si512(_mm512_clmulepi64_epi128(one, spread, 0x00),
                                               _mm512_clmulepi64_epi128(one, spread, 0x11)),
                              one);
  const __m256i halves = _mm256_xor_si256(_mm512_maskz_extracti64x4_epi64(kWholeHalf, carried, 0),
                                          _mm512_maskz_extracti64x4_epi64(kWholeHalf, carried, 1));
  const __m128i lane =
      _mm_xor_si128(_mm256_castsi256_si128(halves), _mm256_extracti128_si256(halves, 1));
  clean_upper_halves();
  return finish_clmul(lane, p, n);
}

// --- The path taken ------------------------------------------------------------------------------
// A function pointer chosen once at start (GCC's target clones need ifunc resolvers, which
// Windows executables lack).
using EdcFunction = uint32_t (*)(const uint8_t*, std::size_t, uint32_t);
constexpr EdcFunction kEdcOf[] = {crc_table, crc_clmul, crc_vpclmul256, crc_vpclmul512};

bool processor_offers(EdcPath path) {
  __builtin_cpu_init();
  switch (path) {
    case EdcPath::kVpclmul512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("vpclmulqdq") &&
             __builtin_cpu_supports("pclmul");
    case EdcPath::kVpclmul256:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq") &&
             __builtin_cpu_supports("pclmul");
    case EdcPath::kClmul:
      return __builtin_cpu_supports("pclmul");
    case EdcPath::kTable:
      break;
  }
  return true;
}

EdcPath fastest_offered() {
  for (const EdcPath path : {EdcPath::kVpclmul512, EdcPath::kVpclmul256, EdcPath::kClmul}) {
    if (processor_offers(path)) return path;
  }
  return EdcPath::kTable;
}

EdcPath current_path = fastest_offered();
EdcFunction current = kEdcOf[static_cast<int>(current_path)];

}  // namespace

uint32_t edc_crc(const uint8_t* data, std::size_t n, uint32_t crc) {
  return current(data, n, crc);
}

EdcPath edc_path() {
  return current_path;
}

bool use_edc_path(EdcPath path) {
  if (!processor_offers(path)) return false;
  current_path = path;
  current = kEdcOf[static_cast<int>(path)];
  return true;
}

}  // namespace kv9
