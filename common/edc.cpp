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

uint32_t crc_table(const uint8_t* p, std::size_t n, uint32_t crc) {
  const SliceTables& t = kSliceTables;
  for (; n >= kSlices; n -= kSlices, p += kSlices) {
    const uint32_t lo = crc ^ get_le32(p);
    const uint32_t hi = get_le32(p + 4);
    crc = t[7][lo & 0xFF] ^ t[6][lo >> 8 & 0xFF] ^ t[5][lo >> 16 & 0xFF] ^ t[4][lo >> 24] ^
          t[3][hi & 0xFF] ^ t[2][hi >> 8 & 0xFF] ^ t[1][hi >> 16 & 0xFF] ^ t[0][hi >> 24];
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
  for (; n >= kLaneBytes; n -= kLaneBytes, p += kLaneBytes) {
    one = _mm_xor_si128(fold(one, over_one), load(p));
  }
  uint8_t folded[kLaneBytes];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), one);
  return crc_table(p, n, crc_table(folded, kLaneBytes, 0));
}

// --- The path taken ------------------------------------------------------------------------------
// A function pointer chosen once at start (GCC's target clones need ifunc resolvers, which
// Windows executables lack).
using EdcFunction = uint32_t (*)(const uint8_t*, std::size_t, uint32_t);
constexpr EdcFunction kEdcOf[] = {crc_table, crc_clmul};

bool processor_offers(EdcPath path) {
  __builtin_cpu_init();
  return path != EdcPath::kClmul || __builtin_cpu_supports("pclmul");
}

EdcPath fastest_offered() {
  return processor_offers(EdcPath::kClmul) ? EdcPath::kClmul : EdcPath::kTable;
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
