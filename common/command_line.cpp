#include "common/command_line.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/movie_table.h"
#include "common/number_scan.h"

namespace kv9 {
namespace {

inline constexpr std::size_t kImageNameLength = 12;   // "kv9disc" digit ".img"
inline constexpr std::size_t kDiscDigitPosition = 7;  // within those 12 characters
inline constexpr const char* kImageExtensions[] = {".img", ".iso", ".bin", ".cue"};
inline constexpr const char* kDiscTag = "(Disc ";  // "(Disc N)"
inline constexpr std::size_t kDiscTagLength = 6;
inline constexpr std::size_t kRangeScanLimit = 255;  // characters examined for the "-"

}  // namespace

void print_banner() {
  std::printf("\nkv9tools - movie tools for the Karvelon Tidewater disc images\n");
  std::printf("documentation: README.md and the man pages of the kv9tools project\n\n");
}

void print_usage(const char* usage_line) {
  print_banner();
  std::fputs(usage_line, stdout);
  std::fflush(stdout);
}

bool handle_info_option(const char* arg, const ToolText& tool, const char* more) {
  if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
    print_usage(tool.usage_line);
    std::printf("\n%s\n", tool.about);
    std::printf(
        "The image may hold 2048-byte sectors (an ISO), raw 2352-byte sectors (a BIN, Mode 1 or\n"
        "Mode 2), or be the CUE sheet of a BIN. Its name gives the disc: kv9disc1.img to\n"
        "kv9disc4.img (or .iso, .bin, .cue), or (Disc 1) to (Disc 4) in it; else give --disc N\n"
        "before it. Raw sectors that fail their check are counted and named (status 1).\n");
    if (more != nullptr) std::printf("%s\n", more);
    std::printf(
        "Exit status: 0 when everything asked for was done; 1 when the image, the address file\n"
        "or an output failed (each failure is named on the console); 2 when the arguments were\n"
        "not understood.\n");
    return true;
  }
  if (std::strcmp(arg, "--version") == 0) {
    std::printf("kv9tools %s\n", KV9_VERSION);
    return true;
  }
  return false;
}

void refuse_arguments(const ToolText& tool, const char* reason, ...) {
  print_usage(tool.usage_line);
  std::fprintf(stderr, "%s: ", tool.name);
  va_list args;
  va_start(args, reason);
  std::vfprintf(stderr, reason, args);
  va_end(args);
  std::fputc('\n', stderr);
}

void say_ignored_arguments(const ToolText& tool, const char* after, int count, char** args) {
  std::fprintf(stderr, "%s: arguments after the %s are ignored:", tool.name, after);
  for (int i = 0; i < count; ++i) std::fprintf(stderr, " '%s'", args[i]);
  std::fputc('\n', stderr);
}

bool check_image_name(const char* path, int& disc) {
  // Only the last 12 characters count, however long the path is.
  const std::size_t n = std::strlen(path);
  if (n >= kImageNameLength) {
    const char* name = path + n - kImageNameLength;
    const char digit = name[kDiscDigitPosition];
    const char* extension = name + kDiscDigitPosition + 1;
    if (std::strncmp(name, "kv9disc", kDiscDigitPosition) == 0 && digit >= '1' &&
        digit <= '0' + kDiscCount) {
      for (const char* known : kImageExtensions) {
        if (std::strcmp(extension, known) != 0) continue;
        disc = digit - '0';
        return true;
      }
    }
  }
  // "(Disc N)" in the file's name, wherever it lies.
  const char* file = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') file = p + 1;
  }
  for (const char* p = std::strstr(file, kDiscTag); p != nullptr;
       p = std::strstr(p + 1, kDiscTag)) {
    const char digit = p[kDiscTagLength];
    if (digit >= '1' && digit <= '0' + kDiscCount && p[kDiscTagLength + 1] == ')') {
      disc = digit - '0';
      return true;
    }
  }
  return false;
}

bool take_image_arguments(const ToolText& tool, int argc, char** argv, const char*& path, int& disc,
                          int& next) {
  next = 2;
  if (std::strcmp(argv[1], "--disc") == 0) {
    next = 4;
    const char* number = argc > 2 ? argv[2] : "";
    if (std::strlen(number) != 1 || number[0] < '1' || number[0] > '0' + kDiscCount) {
      refuse_arguments(tool, "'%s' is not a disc number: give --disc 1 to --disc 4", number);
      return false;
    }
    if (argc < 4) {
      refuse_arguments(tool, "no disc image given");
      return false;
    }
    disc = number[0] - '0';
    path = argv[3];
    return true;
  }
  path = argv[1];
  if (check_image_name(path, disc)) return true;
  refuse_arguments(tool,
                   "'%s' names no disc: give --disc N (1 to 4) before it, or name it kv9disc1.img "
                   "to kv9disc4.img (or .iso, .bin, .cue) or with (Disc 1) to (Disc 4) in it",
                   path);
  return false;
}

MovieRange full_movie_range(int disc) {
  return {0, static_cast<int32_t>(movie_count[disc]) - 1};
}

bool parse_movie_range(const char* text, int disc, MovieRange& range, MovieRange* asked) {
  // The first "-", line feed or end among the first 255 characters decides the form.
  std::size_t i = 0;
  while (i < kRangeScanLimit && text[i] != '\0' && text[i] != '\n' && text[i] != '-') ++i;
  if (i == kRangeScanLimit) return false;

  int32_t first = 0;
  int32_t last = 0;
  const char* p = text;
  if (text[i] != '-') {
    if (!scan_decimal(p, first)) return false;
    last = first;
  } else {
    // "%d-%d": the "-" must follow the first number at once.
    if (!scan_decimal(p, first) || *p != '-') return false;
    ++p;
    if (!scan_decimal(p, last)) return false;
  }

  if (asked != nullptr) *asked = {first, last};
  const int32_t count = static_cast<int32_t>(movie_count[disc]);
  if (first < 0) first = 0;
  if (first >= count) first = count - 1;
  if (static_cast<uint32_t>(last) >= static_cast<uint32_t>(count)) last = count - 1;
  if (last < first) last = first;
  range = {first, last};
  return true;
}

bool take_range_argument(const ToolText& tool, const char* text, int disc, MovieRange& range) {
  MovieRange asked;
  if (!parse_movie_range(text, disc, range, &asked)) {
    refuse_arguments(tool, "'%s' is not a movie id or range: give n or n-m, as in 5 or 2-7", text);
    return false;
  }
  if (range.first_id != asked.first_id || range.last_id != asked.last_id) {
    char taken[32];
    if (range.first_id == range.last_id) {
      std::snprintf(taken, sizeof taken, "%d", range.first_id);
    } else {
      std::snprintf(taken, sizeof taken, "%d-%d", range.first_id, range.last_id);
    }
    std::fprintf(stderr, "%s: range '%s' taken as %s: disc %d has movie ids 0 to %d\n", tool.name,
                 text, taken, disc, static_cast<int>(movie_count[disc]) - 1);
  }
  return true;
}

}  // namespace kv9
