// Arbitrary text as the image path and as the movie range argument, for every disc 1..4.
//
// Input: the image path up to the first NUL byte, the range argument after it (up to the next
// NUL); an input without NUL serves as both.
//
// Invariants:
//  - check_image_name passes exactly when the real last 12 characters are "kv9disc", a digit
//    1..4 and ".img"; the disc it reports is that digit; on failure the disc is left alone;
//  - when parse_movie_range succeeds, 0 <= first_id <= last_id <= movie_count[disc] - 1; when it
//    fails, the range is left alone;
//  - whether it succeeds and what it yields agree with a plain model of the "n" / "n-m" forms:
//    the form is decided by the first "-", line feed or end among the first 255 characters,
//    the numbers are read as sscanf reads them (refused when they do not fit 32 bits), and
//    clamped in the documented order.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "common/command_line.h"
#include "common/movie_table.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using kv9::MovieRange;
using kv9::fuzz::shown;

void check_name(const std::string& name) {
  const std::size_t n = name.size();
  bool want = false;
  int want_disc = 0;
  if (n >= 12) {
    const char* last = name.c_str() + n - 12;
    want = std::memcmp(last, "kv9disc", 7) == 0 && last[7] >= '1' && last[7] <= '4' &&
           std::memcmp(last + 8, ".img", 4) == 0;
    want_disc = last[7] - '0';
  }
  constexpr int kUntouched = -12345;
  int disc = kUntouched;
  const bool passed = kv9::check_image_name(name.c_str(), disc);
  KV9_FUZZ_CHECK(passed == want, "check_image_name(\"%s\") gave %d, expected %d",
                 shown(name).c_str(), passed, want);
  if (passed) {
    KV9_FUZZ_CHECK(disc == want_disc, "check_image_name(\"%s\") set disc %d, expected %d",
                   shown(name).c_str(), disc, want_disc);
  } else {
    KV9_FUZZ_CHECK(disc == kUntouched, "check_image_name(\"%s\") failed but set disc %d",
                   shown(name).c_str(), disc);
  }
}

bool fits32(long long v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

// The model's answer: known is false where the outcome is left open (255 characters without
// end, line feed or "-").
struct ModelRange {
  bool known = false;
  bool ok = false;
  int32_t first = 0;
  int32_t last = 0;
};

ModelRange model_range(const std::string& text, int disc) {
  ModelRange m;
  std::size_t i = 0;
  while (i < 255 && i < text.size() && text[i] != '\n' && text[i] != '-') ++i;
  if (i == 255) return m;
  m.known = true;
  long long a = 0;
  long long b = 0;
  if (i == text.size() || text[i] == '\n') {
    if (std::sscanf(text.c_str(), "%lld", &a) != 1 || !fits32(a)) return m;
    b = a;
  } else {
    if (std::sscanf(text.c_str(), "%lld-%lld", &a, &b) != 2 || !fits32(a) || !fits32(b)) return m;
  }
  const int32_t count = static_cast<int32_t>(kv9::movie_count[disc]);
  int32_t first = static_cast<int32_t>(a);
  int32_t last = static_cast<int32_t>(b);
  if (first < 0) first = 0;
  if (first >= count) first = count - 1;
  if (static_cast<uint32_t>(last) >= static_cast<uint32_t>(count)) last = count - 1;
  if (last < first) last = first;
  m.ok = true;
  m.first = first;
  m.last = last;
  return m;
}

void check_range(const std::string& text, int disc) {
  const MovieRange untouched{-77, -99};
  MovieRange range = untouched;
  const bool ok = kv9::parse_movie_range(text.c_str(), disc, range);
  const int32_t count = static_cast<int32_t>(kv9::movie_count[disc]);
  if (ok) {
    KV9_FUZZ_CHECK(
        0 <= range.first_id && range.first_id <= range.last_id && range.last_id <= count - 1,
        "parse_movie_range(\"%s\") on disc %d gave %d-%d, outside 0..%d or reversed",
        shown(text).c_str(), disc, range.first_id, range.last_id, count - 1);
  } else {
    KV9_FUZZ_CHECK(range.first_id == untouched.first_id && range.last_id == untouched.last_id,
                   "parse_movie_range(\"%s\") failed but changed the range to %d-%d",
                   shown(text).c_str(), range.first_id, range.last_id);
  }
  const ModelRange m = model_range(text, disc);
  if (!m.known) return;
  KV9_FUZZ_CHECK(ok == m.ok, "parse_movie_range(\"%s\") on disc %d returned %d, expected %d",
                 shown(text).c_str(), disc, ok, m.ok);
  if (ok) {
    KV9_FUZZ_CHECK(range.first_id == m.first && range.last_id == m.last,
                   "parse_movie_range(\"%s\") on disc %d gave %d-%d, expected %d-%d",
                   shown(text).c_str(), disc, range.first_id, range.last_id, m.first, m.last);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static kv9::fuzz::StdoutSink sink(false);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(data, 0, size);
  std::string name;
  std::string range;
  if (nul == nullptr) {
    name.assign(text, size);
    range = name;
  } else {
    const std::size_t at = static_cast<std::size_t>(static_cast<const uint8_t*>(nul) - data);
    name.assign(text, at);
    range.assign(text + at + 1, size - at - 1);
    range = range.substr(0, range.find('\0'));
  }

  check_name(name);
  check_name(range);
  for (int disc = 1; disc <= kv9::kDiscCount; ++disc) {
    check_range(range, disc);
    check_range(name, disc);
  }
  return 0;
}
