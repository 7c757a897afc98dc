#include "vidscan/scan_image.h"

#include <immintrin.h>

#include <bit>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/layout.h"

namespace kv9 {
namespace {

// The 8-byte headers of a movie's first frame, sectors 0, 1 and 2, as little-endian words.
constexpr uint64_t header_word(const SectorHeader& h) {
  uint64_t w = 0;
  for (std::size_t i = h.size(); i-- > 0;) w = (w << 8) | h[i];
  return w;
}
inline constexpr uint64_t kSmnSignature = header_word(first_frame_header(kSmnSector));
inline constexpr uint64_t kSmrSignature = header_word(first_frame_header(kSmrSector));
inline constexpr uint64_t kSmjSignature = header_word(first_frame_header(kFirstSmjSector));
static_assert(kSmnSignature == 0x0000'0900'014E'4D53ull);
inline constexpr uint64_t kSixBytes = 0xFFFF'FFFF'FFFFull;  // header without bytes 6-7

// Distances between the headers the scan looks at.
inline constexpr uint64_t kRestOfSector = kSectorSize - kSectorHeaderBytes;
inline constexpr uint64_t kHeaderStep = kRestOfSector + kSectorHeaderBytes;
inline constexpr uint64_t kFirstFrameBackOff = 2 * kSectorSize + kSectorHeaderBytes;
inline constexpr uint64_t kRestOfFirstFrame = 7 * kSectorSize + kRestOfSector;
inline constexpr uint64_t kRestOfFrame = kFrameBytes - kSectorHeaderBytes;
static_assert(kHeaderStep == 2048 && kFirstFrameBackOff == 4104);
static_assert(kRestOfFirstFrame == 16376 && kRestOfFrame == 20472);
static_assert(kFirstFrameBackOff + kRestOfFirstFrame == kFrameBytes);

// Console marks: a dot every 512 KiB of search, the position every 16 MiB; a star every 16
// frames of a walk, a line break every 512.
inline constexpr uint64_t kDotEvery = 0x80000;
inline constexpr uint64_t kPositionEvery = 0x1000000;
inline constexpr uint32_t kStarEvery = 16;
inline constexpr uint32_t kStarLineEvery = 512;

inline uint64_t load_word(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;  // the image is read on a little-endian machine: byte 0 is the low byte
}

// --- The search's screen ------------------------------------------------------------------------
// A vector of positions at a time is screened for "SMN" by byte compares (16 with SSE2, 32 with
// AVX2, 64 with AVX-512BW), one bit per position; the positions that pass are compared whole, in
// order. The widest screen the processor offers is chosen once at start (a function pointer:
// GCC's target clones need ifunc resolvers, which Windows executables lack).
using SignatureFinder = std::size_t (*)(const uint8_t*, std::size_t);

// The first of the positions `at` + bit of `passed` that holds the signature, or `none`.
inline std::size_t first_whole(const uint8_t* data, std::size_t at, uint64_t passed,
                               std::size_t none) {
  for (; passed != 0; passed &= passed - 1) {
    const std::size_t i = at + static_cast<std::size_t>(std::countr_zero(passed));
    if (load_word(data + i) == kSmnSignature) return i;
  }
  return none;
}

// The positions from `i` on that no whole vector covers, one by one.
std::size_t find_in_tail(const uint8_t* data, std::size_t i, std::size_t limit) {
  for (; i < limit; ++i) {
    if (load_word(data + i) == kSmnSignature) return i;
  }
  return limit;
}

std::size_t find_signature_sse2(const uint8_t* data, std::size_t limit) {
  constexpr std::size_t kStep = sizeof(__m128i);
  const auto tag = [&](std::size_t i, std::size_t k) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + k)),
                          _mm_set1_epi8(static_cast<char>(kSmnTag[k])));
  };
  std::size_t i = 0;
  for (; i + kStep <= limit; i += kStep) {
    const auto passed = static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_and_si128(_mm_and_si128(tag(i, 0), tag(i, 1)), tag(i, 2))));
    const std::size_t found = passed == 0 ? limit : first_whole(data, i, passed, limit);
    if (found < limit) return found;
  }
  return find_in_tail(data, i, limit);
}

[[gnu::target("avx2")]] inline __m256i tag_avx2(const uint8_t* p, std::size_t k) {
  return _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k)),
                           _mm256_set1_epi8(static_cast<char>(kSmnTag[k])));
}

[[gnu::target("avx2")]] std::size_t find_signature_avx2(const uint8_t* data, std::size_t limit) {
  constexpr std::size_t kStep = sizeof(__m256i);
  std::size_t i = 0;
  for (; i + kStep <= limit; i += kStep) {
    const __m256i all = _mm256_and_si256(
        _mm256_and_si256(tag_avx2(data + i, 0), tag_avx2(data + i, 1)), tag_avx2(data + i, 2));
    const auto passed = static_cast<uint32_t>(_mm256_movemask_epi8(all));
    const std::size_t found = passed == 0 ? limit : first_whole(data, i, passed, limit);
    if (found < limit) return found;
  }
  return find_in_tail(data, i, limit);
}

[[gnu::target("avx512bw")]] inline uint64_t bytes_equal(__m512i v, uint8_t byte) {
  return _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(static_cast<char>(byte)));
}

// One load for 64 positions: "S" at a position, "M" one on (its bit shifted down by one), "N" two
// on. The last two positions, whose "M" or "N" lie in the next vector, pass on "S" alone.
[[gnu::target("avx512bw")]] std::size_t find_signature_avx512(const uint8_t* data,
                                                              std::size_t limit) {
  constexpr std::size_t kStep = sizeof(__m512i);
  constexpr uint64_t kLastPosition = uint64_t{1} << 63;
  constexpr uint64_t kLastTwo = uint64_t{3} << 62;
  std::size_t i = 0;
  for (; i + kStep <= limit; i += kStep) {
    const __m512i v = _mm512_loadu_si512(data + i);
    const uint64_t passed = bytes_equal(v, kSmnTag[0]) &
                            (bytes_equal(v, kSmnTag[1]) >> 1 | kLastPosition) &
                            (bytes_equal(v, kSmnTag[2]) >> 2 | kLastTwo);
    const std::size_t found = passed == 0 ? limit : first_whole(data, i, passed, limit);
    if (found < limit) return found;
  }
  return find_in_tail(data, i, limit);
}

constexpr SignatureFinder kFinderOf[] = {find_signature_sse2, find_signature_avx2,
                                         find_signature_avx512};

bool processor_offers(SignatureScreen screen) {
  __builtin_cpu_init();
  switch (screen) {
    case SignatureScreen::kAvx512:
      return __builtin_cpu_supports("avx512bw");
    case SignatureScreen::kAvx2:
      return __builtin_cpu_supports("avx2");
    case SignatureScreen::kSse2:
      break;
  }
  return true;
}

SignatureScreen widest_offered() {
  for (const SignatureScreen screen : {SignatureScreen::kAvx512, SignatureScreen::kAvx2}) {
    if (processor_offers(screen)) return screen;
  }
  return SignatureScreen::kSse2;
}

SignatureScreen screen_in_use = widest_offered();
SignatureFinder finder = kFinderOf[static_cast<int>(screen_in_use)];

enum class Step { kSearch, kFirstFrameCheck, kFrameWalk, kEnd };

// The marks of a failed comparison at a counter value.
void progress_marks_at(uint64_t counter) {
  if (counter % kDotEvery != 0) return;
  std::putchar('.');
  if (counter % kPositionEvery == 0) std::printf("0x%08" PRIX64 "\n", counter);
  std::fflush(stdout);
}

// The marks of failed comparisons at every counter value in (from, to].
void progress_marks_between(uint64_t from, uint64_t to) {
  for (uint64_t m = (from / kDotEvery + 1) * kDotEvery; m <= to; m += kDotEvery) {
    progress_marks_at(m);
  }
}

// After a failed comparison: its marks, then the end of the scan at the end of the image, else
// the search again.
Step progress(const ScanState& st, const ImageStream& image) {
  progress_marks_at(st.counter);
  return image.ended ? Step::kEnd : Step::kSearch;
}

void read_header(ScanState& st, ImageStream& image) {
  uint8_t h[kSectorHeaderBytes];
  read_image(image, h, sizeof h);
  st.window = load_word(h);
  st.counter += sizeof h;
}

// Passes over bytes that no comparison looks at.
void skip(ScanState& st, ImageStream& image, uint64_t n) {
  skip_image(image, n);
  st.counter += n;
}

// The byte-by-byte search for the SMN signature, done over whole blocks: every candidate
// position is compared in order, and the marks of every failed comparison are printed, exactly
// as a search that slides its window one byte per read.
Step search(ScanState& st, ImageStream& image) {
  const uint8_t* data;
  // Candidates that still overlap the window: its last 7 bytes and the next 7 of the image.
  {
    uint8_t joined[2 * (kSectorHeaderBytes - 1)];
    const uint64_t w = st.window;
    for (std::size_t i = 0; i + 1 < kSectorHeaderBytes; ++i)
      joined[i] = uint8_t(w >> (8 * (i + 1)));
    const std::size_t got = peek_image(image, kSectorHeaderBytes - 1, data);
    const std::size_t ahead = got < kSectorHeaderBytes - 1 ? got : kSectorHeaderBytes - 1;
    std::memcpy(joined + 7, data, ahead);
    std::memset(joined + 7 + ahead, kPastEndByte, kSectorHeaderBytes - 1 - ahead);
    for (std::size_t o = 0; o + 1 < kSectorHeaderBytes; ++o) {
      if (load_word(joined + o) == kSmnSignature) {
        progress_marks_between(st.counter, st.counter + o);
        consume_image(image, o + 1);
        st.counter += o + 1;
        st.window = kSmnSignature;
        return Step::kFirstFrameCheck;
      }
    }
  }
  // Candidates wholly ahead in the image.
  for (;;) {
    const std::size_t avail = peek_image(image, kSectorHeaderBytes, data);
    if (avail < kSectorHeaderBytes) {
      // The image ends within 8 bytes: no candidate left can match. Read on to the first
      // byte past the end, which sets the end indicator.
      progress_marks_between(st.counter, st.counter + avail);
      consume_image(image, avail);
      st.counter += avail;
      uint8_t past;
      read_image(image, &past, 1);
      st.window = (st.window >> 8) | (uint64_t{past} << 56);
      st.counter += 1;
      return progress(st, image);
    }
    const std::size_t limit = avail - (kSectorHeaderBytes - 1);
    const std::size_t i = find_signature(data, limit);
    if (i < limit) {
      progress_marks_between(st.counter, st.counter + i + 7);
      consume_image(image, i + kSectorHeaderBytes);
      st.counter += i + kSectorHeaderBytes;
      st.window = kSmnSignature;
      return Step::kFirstFrameCheck;
    }
    progress_marks_between(st.counter, st.counter + limit);
    consume_image(image, limit);
    st.counter += limit;
  }
}

void record_movie(ScanState& st, MovieTables& tables, int disc) {
  std::printf(" Found! ID=%d: 0x%08lX, 0x%X frame", st.next_id,
              static_cast<unsigned long>(st.start), st.frames);
  if (st.next_id >= static_cast<int32_t>(movie_count[disc])) {
    std::printf(" (not stored: disc %d has %d movie ids)", disc,
                static_cast<int>(movie_count[disc]));
  } else if (st.frames > kMaxStoredFrames) {
    // Written, the count would read back as its first four digits: a wrong movie length.
    std::printf(" (not stored: more than %u frames)", kMaxStoredFrames);
    st.dropped_long_movie = true;
  } else {
    tables.movie_address[disc][st.next_id] = st.start;
    tables.movie_frames[disc][st.next_id] = st.frames;
    st.stored_ids |= uint64_t{1} << st.next_id;
  }
  std::fflush(stdout);
}

// The window holds the SMN header of a candidate first frame; the counter stands after it.
Step first_frame_check(ScanState& st, ImageStream& image) {
  skip(st, image, kRestOfSector);
  read_header(st, image);
  if (st.window != kSmrSignature) return progress(st, image);
  skip(st, image, kRestOfSector);
  read_header(st, image);
  if (st.window != kSmjSignature) return progress(st, image);
  st.start = static_cast<uint32_t>(st.counter - kFirstFrameBackOff);
  skip(st, image, kRestOfFirstFrame);
  st.frames = 1;
  std::putchar('\n');
  return Step::kFrameWalk;
}

// The counter stands at the start of the frame that may continue the current movie.
Step frame_walk(ScanState& st, ImageStream& image, MovieTables& tables, int disc,
                const char* path) {
  for (;;) {
    if (image.ended) {
      record_movie(st, tables, disc);
      // The frames found are what the image holds; the movie on the disc is longer. (A read
      // error is said once the scan is over; a pipe beyond 4 GiB has not ended.)
      if (!image.read_failed && !image.beyond_limit) {
        std::printf("\nimage %s ends before movie %d%02d ends", path, disc, st.next_id);
        st.cut_movie = true;
      }
      return Step::kEnd;
    }
    read_header(st, image);
    if (st.window == kSmnSignature) {
      // A frame with bytes 6-7 zero opens the next movie.
      record_movie(st, tables, disc);
      st.next_id += 1;
      return Step::kFirstFrameCheck;
    }
    if ((st.window & kSixBytes) != (kSmnSignature & kSixBytes)) {
      record_movie(st, tables, disc);
      st.next_id += 1;
      return Step::kSearch;
    }
    st.frames += 1;
    if (st.frames % kStarEvery == 0) {
      std::putchar('*');
      if (st.frames % kStarLineEvery == 0) std::putchar('\n');
      std::fflush(stdout);
    }
    skip(st, image, kRestOfFrame);
  }
}

// The scan over an opened image, from its first byte to its end.
void scan_open_image(ScanState& st, ImageStream& image, MovieTables& tables, int disc,
                     const char* path) {
  Step step = Step::kSearch;
  while (step != Step::kEnd) {
    switch (step) {
      case Step::kSearch:
        step = search(st, image);
        break;
      case Step::kFirstFrameCheck:
        step = first_frame_check(st, image);
        break;
      case Step::kFrameWalk:
        step = frame_walk(st, image, tables, disc, path);
        break;
      case Step::kEnd:
        break;
    }
  }
  std::putchar('\n');
  std::fflush(stdout);
}

void say_too_large(const char* path) {
  std::printf("image %s is 4 GiB or larger: its movie addresses do not fit the address file\n",
              path);
}

}  // namespace

std::size_t find_signature(const uint8_t* data, std::size_t limit) {
  return finder(data, limit);
}

SignatureScreen signature_screen() {
  return screen_in_use;
}

bool use_signature_screen(SignatureScreen screen) {
  if (!processor_offers(screen)) return false;
  screen_in_use = screen;
  finder = kFinderOf[static_cast<int>(screen)];
  return true;
}

ScanOutcome scan_image(ScanState& state, MovieTables& tables, int disc, const char* path,
                       ImageStream& image) {
  DiscImage file;
  char refusal[kRefusalBytes];
  if (!open_disc_image(file, path, refusal)) {
    std::printf("%s\n", refusal);
    return ScanOutcome::kCannotOpen;
  }
  return scan_opened_image(state, tables, disc, path, file, image);
}

ScanOutcome scan_opened_image(ScanState& state, MovieTables& tables, int disc, const char* path,
                              DiscImage& file, ImageStream& image) {
  if (disc_image_bytes(file) >= static_cast<int64_t>(kMaxImageBytes)) {
    close_disc_image(file);
    say_too_large(path);
    return ScanOutcome::kTooLarge;
  }
  std::printf("Now searching... %s\n", path);
  std::fflush(stdout);
  state = ScanState{};
  start_image_stream(image, file);
  watch_damage(image, 0, UINT64_MAX);
  // A pipe or a device shows its size only as it is read.
  image.limit = kMaxImageBytes - 1;
  scan_open_image(state, image, tables, disc, path);
  close_disc_image(file);
  ScanOutcome outcome = ScanOutcome::kScanned;
  if (image.beyond_limit) {
    say_too_large(path);
    outcome = ScanOutcome::kTooLarge;
  } else if (image.read_failed) {
    std::printf("cannot read file %s\n", path);
    outcome = ScanOutcome::kReadError;
  }
  if (image.damage.failed > 0) {
    std::printf("image %s: %llu sectors fail their check, the first at sector %llu\n", path,
                static_cast<unsigned long long>(image.damage.failed),
                static_cast<unsigned long long>(image.damage.first_failed));
    state.damaged = true;
  }
  std::fflush(stdout);
  return outcome;
}

}  // namespace kv9
