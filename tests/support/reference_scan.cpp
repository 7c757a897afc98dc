#include "support/reference_scan.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kv9::test {
namespace {

// The first frame's headers, spelled out here rather than taken from common/layout.h, so that
// the reference cannot share a mistake with the scan.
const uint8_t kSmn[8] = {'S', 'M', 'N', 1, 0, 9, 0, 0};
const uint8_t kSmr[8] = {'S', 'M', 'R', 1, 1, 9, 0, 0};
const uint8_t kSmj[8] = {'S', 'M', 'J', 1, 2, 9, 0, 0};

struct Plain {
  std::FILE* f = nullptr;
  uint8_t window[8] = {};
  uint32_t counter = 0;
  std::string out;

  uint8_t get() {
    const int c = std::getc(f);
    return static_cast<uint8_t>(c);  // EOF reads as 0xFF
  }
  void skip(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) get();
    counter += n;
  }
  void read8() {
    for (uint8_t& b : window) b = get();
    counter += 8;
  }
  void print(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    out += buf;
  }
};

}  // namespace

std::string reference_scan(const char* path, MovieTables& tables, int disc) {
  Plain s;
  s.f = std::fopen(path, "rb");
  if (s.f == nullptr) return "cannot open file " + std::string(path) + "\n";
  s.print("Now searching... %s\n", path);
  enum { kSearch, kProgress, kFirst, kWalk, kEnd } state = kSearch;
  int32_t next_id = 0;
  uint32_t start = 0;
  uint32_t frames = 0;
  auto record = [&] {
    s.print(" Found! ID=%d: 0x%08lX, 0x%X frame", next_id, static_cast<unsigned long>(start),
            frames);
    if (next_id >= static_cast<int32_t>(movie_count[disc])) {
      s.print(" (not stored: disc %d has %d movie ids)", disc, static_cast<int>(movie_count[disc]));
    } else if (frames > 65535) {
      s.print(" (not stored: more than 65535 frames)");
    } else {
      tables.movie_address[disc][next_id] = start;
      tables.movie_frames[disc][next_id] = frames;
    }
  };
  while (state != kEnd) {
    switch (state) {
      case kSearch:
        std::memmove(s.window, s.window + 1, 7);
        s.window[7] = s.get();
        s.counter += 1;
        state = std::memcmp(s.window, kSmn, 8) == 0 ? kFirst : kProgress;
        break;
      case kProgress:
        if ((s.counter & 0x7FFFF) == 0) s.print(".");
        if ((s.counter & 0xFFFFFF) == 0)
          s.print("0x%08lX\n", static_cast<unsigned long>(s.counter));
        state = std::feof(s.f) ? kEnd : kSearch;
        break;
      case kFirst:
        s.skip(2040);
        s.read8();
        if (std::memcmp(s.window, kSmr, 8) != 0) {
          state = kProgress;
          break;
        }
        s.skip(2040);
        s.read8();
        if (std::memcmp(s.window, kSmj, 8) != 0) {
          state = kProgress;
          break;
        }
        start = s.counter - 4104;
        s.skip(16376);
        frames = 1;
        s.print("\n");
        state = kWalk;
        break;
      case kWalk:
        if (std::feof(s.f)) {
          record();
          state = kEnd;
          break;
        }
        s.read8();
        if (std::memcmp(s.window, kSmn, 8) == 0) {
          record();
          next_id += 1;
          state = kFirst;
        } else if (std::memcmp(s.window, kSmn, 6) == 0) {
          frames += 1;
          if (frames % 16 == 0) s.print("*");
          if (frames % 512 == 0) s.print("\n");
          s.skip(20472);
        } else {
          record();
          next_id += 1;
          state = kSearch;
        }
        break;
      case kEnd:
        break;
    }
  }
  s.print("\n");
  std::fclose(s.f);
  return s.out;
}

}  // namespace kv9::test
