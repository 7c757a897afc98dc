#include "support/reference_scan.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kv9::test {

std::string reference_scan(const char* path, MovieTables& tables, int disc) {
  // The first frame's headers, spelled out here rather than taken from the tools' code, so that
  // the reference cannot share a mistake with the scan.
  const uint8_t kSmn[8] = {'S', 'M', 'N', 1, 0, 9, 0, 0}, kSmr[8] = {'S', 'M', 'R', 1, 1, 9, 0, 0},
                kSmj[8] = {'S', 'M', 'J', 1, 2, 9, 0, 0};
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return "cannot open file " + std::string(path) + "\n";
  std::string out = "Now searching... " + std::string(path) + "\n";
  char text[128];
  uint8_t window[8] = {};
  uint32_t counter = 0, start = 0, frames = 0;
  int32_t id = 0;
  // getc at the end of the file gives EOF, which as a byte is 0xFF.
  auto skip = [&](uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) std::getc(f);
    counter += n;
  };
  auto read_header_is = [&](const uint8_t* header, std::size_t n) {
    for (uint8_t& b : window) b = static_cast<uint8_t>(std::getc(f));
    counter += 8;
    return std::memcmp(window, header, n) == 0;
  };
  auto record = [&] {
    std::snprintf(text, sizeof text, " Found! ID=%d: 0x%08X, 0x%X frame", id, start, frames);
    out += text;
    if (id >= static_cast<int32_t>(movie_count[disc])) {
      std::snprintf(text, sizeof text, " (not stored: disc %d has %u movie ids)", disc,
                    movie_count[disc]);
      out += text;
    } else if (frames > 65535) {
      out += " (not stored: more than 65535 frames)";
    } else {
      tables.movie_address[disc][id] = start;
      tables.movie_frames[disc][id] = frames;
    }
  };
  enum { kSearch, kProgress, kFirst, kWalk, kEnd } state = kSearch;
  while (state != kEnd) {
    if (state == kSearch) {  // slide the window one byte on
      std::memmove(window, window + 1, 7);
      window[7] = static_cast<uint8_t>(std::getc(f));
      counter += 1;
      state = std::memcmp(window, kSmn, 8) == 0 ? kFirst : kProgress;
    } else if (state == kProgress) {
      if (counter % 0x80000 == 0) out += ".";
      std::snprintf(text, sizeof text, "0x%08X\n", counter);
      if (counter % 0x1000000 == 0) out += text;
      state = std::feof(f) ? kEnd : kSearch;
    } else if (state == kFirst) {  // the SMN header is in the window: SMR and SMJ must follow
      skip(2040);
      if (!read_header_is(kSmr, 8) || (skip(2040), !read_header_is(kSmj, 8))) {
        state = kProgress;
        continue;
      }
      start = counter - 4104;
      skip(16376);
      frames = 1;
      out += "\n";
      state = kWalk;
    } else if (std::feof(f)) {  // walking a movie, at the end of the image: it is cut short
      record();
      std::snprintf(text, sizeof text, "%d%02d ends", disc, id);
      out += "\nimage " + std::string(path) + " ends before movie " + text;
      state = kEnd;
    } else if (read_header_is(kSmn, 6) && std::memcmp(window, kSmn, 8) != 0) {
      frames += 1;
      if (frames % 16 == 0) out += "*";
      if (frames % 512 == 0) out += "\n";
      skip(20472);
    } else {
      record();
      id += 1;
      state = std::memcmp(window, kSmn, 8) == 0 ? kFirst : kSearch;
    }
  }
  std::fclose(f);
  return out + "\n";
}

}  // namespace kv9::test
