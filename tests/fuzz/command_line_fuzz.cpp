// Arbitrary text (the input up to its first NUL byte) as the image path and as the movie range
// argument of every disc 1..4.
//
// Invariants:
//  - check_image_name passes exactly when the real last 12 characters are "kv9disc", a digit
//    1..4 and ".img", and then reports that digit as the disc; on failure the disc is untouched;
//  - when parse_movie_range succeeds, 0 <= first_id <= last_id <= movie_count[disc] - 1; when it
//    fails, the range is untouched.
#include <cstring>

#include "common/command_line.h"
#include "common/movie_table.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const char* text = input.c_str();
  const std::size_t n = std::strlen(text);

  const char* last = text + (n >= 12 ? n - 12 : 0);
  const bool want = n >= 12 && std::strncmp(last, "kv9disc", 7) == 0 && last[7] >= '1' &&
                    last[7] <= '4' && std::strcmp(last + 8, ".img") == 0;
  int disc = -1;
  const bool passed = kv9::check_image_name(text, disc);
  KV9_CHECK(passed == want && disc == (want ? last[7] - '0' : -1),
            "check_image_name(\"%s\") gave %d with disc %d", text, passed, disc);

  for (int d = 1; d <= kv9::kDiscCount; ++d) {
    const int32_t count = static_cast<int32_t>(kv9::movie_count[d]);
    kv9::MovieRange r{-7, -9};
    if (kv9::parse_movie_range(text, d, r)) {
      KV9_CHECK(0 <= r.first_id && r.first_id <= r.last_id && r.last_id <= count - 1,
                "parse_movie_range(\"%s\") on disc %d gave %d-%d", text, d, r.first_id, r.last_id);
    } else {
      KV9_CHECK(r.first_id == -7 && r.last_id == -9,
                "parse_movie_range(\"%s\") on disc %d failed but set %d-%d", text, d, r.first_id,
                r.last_id);
    }
  }
  return 0;
}
