// Banner and usage text, the image-name check and the movie range argument.
#pragma once

#include <cstdint>

namespace kv9 {

// Exit statuses of every tool.
inline constexpr int kExitOk = 0;       // the run did all it was asked
inline constexpr int kExitFailure = 1;  // an image, output or address file failed
inline constexpr int kExitUsage = 2;    // missing or invalid arguments

// What a tool says of itself.
struct ToolText {
  const char* name;        // "vidcopy": opens every refusal on standard error
  const char* usage_line;  // "USAGE:vidcopy D:kv9disc?.img <n-m>\n"
  const char* about;       // for --help: what it does, the files it reads and writes
};

// Prints the two banner lines, framed by line feeds.
void print_banner();
// Prints the banner, then the tool's usage line (which ends with its own line feed).
void print_usage(const char* usage_line);

// Handles "-h" or "--help" (usage, what the tool does, `more` when given, exit statuses) and
// "--version" as the first argument; returns true when it did, and the tool then ends with
// status 0.
bool handle_info_option(const char* arg, const ToolText& tool, const char* more = nullptr);

// Refuses the command line: the usage text on standard output, and on standard error one line,
// the tool's name and the reason (printf-style). The tool then ends with kExitUsage.
[[gnu::format(printf, 2, 3)]] void refuse_arguments(const ToolText& tool, const char* reason, ...);

// Arguments the tool does not take, after its last one (`after`: "range", "image"): ignored,
// and said so on standard error.
void say_ignored_arguments(const ToolText& tool, const char* after, int count, char** args);

// The disc number an image's name gives: its last 12 characters "kv9disc", a digit 1 to 4 and
// ".img", ".iso", ".bin" or ".cue" (case-sensitive); or "(Disc N)", N from 1 to 4, in its file
// name (the naming of dump sets: "Karvelon Tidewater (Disc 2).cue"). On success sets `disc` and
// returns true.
bool check_image_name(const char* path, int& disc);

// Takes the image from argv[1] on: "--disc N IMAGE" (any name) or "IMAGE" (a name that gives
// the disc). Sets `path`, `disc` and `next`, the index of the argument after the image. Refuses
// an image that names no disc, a disc number other than 1 to 4 and a missing image (usage and
// reason, then false: the tool ends with kExitUsage).
bool take_image_arguments(const ToolText& tool, int argc, char** argv, const char*& path, int& disc,
                          int& next);

// The ids of the movies to extract, within one disc's movie table: first_id <= last_id.
struct MovieRange {
  int32_t first_id = 0;
  int32_t last_id = 0;
};

// The whole movie table of a disc.
MovieRange full_movie_range(int disc);

// Parses "n" or "n-m" and clamps the ids to the disc's movie table; `asked`, when given,
// receives the ids as written, before clamping. Returns false, leaving both unchanged, when the
// argument lacks a number its form needs or a number does not fit 32 bits.
bool parse_movie_range(const char* text, int disc, MovieRange& range, MovieRange* asked = nullptr);

// The range argument on the command line: refuses one that is not understood, and says on
// standard error when the ids were clamped. Returns false when refused.
bool take_range_argument(const ToolText& tool, const char* text, int disc, MovieRange& range);

}  // namespace kv9
