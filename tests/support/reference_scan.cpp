#include "support/reference_scan.h"

#include <cstdint>
#include <cstdio>

#ifdef _WIN32  // the Windows C library's names for the same unlocked stream calls
#define getc_unlocked _getc_nolock
#define feof_unlocked feof
#endif

namespace kv9::test {

std::string reference_scan(const char* path, MovieTables& tables, int disc) {
  // The first frame's headers, spelled out here rather than taken from the tools' code, so that
  // the reference cannot share a mistake with the scan.
  const uint8_t kSmn[8] = {'S', 'M', 'N', 1, 0, 9, 0, 0}, kSmr[8] = {'S', 'M', 'R', 1, 1, 9, 0, 0},
                kSmj[8] = {'S', 'M', 'J', 1, 2, 9, 0, 0};
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return "cannot open file " + std::string(path) + "\n";
  static char buffer[1 << 16];  // a larger buffer than the stream's own: fewer reads
  std::setvbuf(f, buffer, _IOFBF, sizeof buffer);
  std::string out = "Now searching... " + std::string(path) + "\n";
  char text[128];
  // The window: the last 8 bytes read, image byte p kept at window[p % 8], so that sliding it
  // on moves no byte. Its byte i is window[(counter + i) % 8].
  uint8_t window[8] = {};
  uint32_t counter = 0, start = 0, frames = 0;
  int32_t id = 0;
  // getc at the end of the file gives EOF, which as a byte is 0xFF. (Unlocked: the stream is
  // this function's own.)
  auto read_byte = [&] { window[counter++ % 8] = static_cast<uint8_t>(getc_unlocked(f)); };
  auto window_is = [&](const uint8_t* header, uint32_t n) {
    uint32_t i = 0;
    while (i < n && window[(counter + i) % 8] == header[i]) ++i;
    return i == n;
  };
  auto skip = [&](uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) getc_unlocked(f);
    counter += n;
  };
  auto read_header_is = [&](const uint8_t* header, uint32_t n) {
    for (int i = 0; i < 8; ++i) read_byte();
    return window_is(header, n);
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
      read_byte();
      state = window_is(kSmn, 8) ? kFirst : kProgress;
    }
    if (state == kProgress) {  // straight on, without another turn of the loop
      if (counter % 0x80000 == 0) out += ".";
      if (counter % 0x1000000 == 0) {
        std::snprintf(text, sizeof text, "0x%08X\n", counter);
        out += text;
      }
      state = feof_unlocked(f) ? kEnd : kSearch;
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
    } else if (read_header_is(kSmn, 6) && !window_is(kSmn, 8)) {
      frames += 1;
      if (frames % 16 == 0) out += "*";
      if (frames % 512 == 0) out += "\n";
      skip(20472);
    } else {
      record();
      id += 1;
      state = window_is(kSmn, 8) ? kFirst : kSearch;
    }
  }
  std::fclose(f);
  return out + "\n";
}

}  // namespace kv9::test
