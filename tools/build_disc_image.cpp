// build_disc_image: writes a synthetic disc image and lists the movies it placed, one
// "id=%d, address=0x%08X, frame=0x%04X" line each, ready for a movie address file; with --raw
// also the image's raw BIN (and CUE sheet, audio track, damage) beside it.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/movie_table.h"
#include "tools/disc_image_builder.h"
#include "tools/raw_disc_writer.h"

namespace {

using kv9::builder::DiscLayout;
using kv9::builder::MovieLayout;
using kv9::builder::Waveform;

constexpr double kDefaultLeftHz = 440;
constexpr double kDefaultRightHz = 660;
constexpr double kRightOverLeft = kDefaultRightHz / kDefaultLeftHz;  // when only one is given
constexpr double kToneAmplitude = 0.25;
constexpr uint64_t kBytesPerMb = 1024 * 1024;
constexpr uint32_t kMaxSizeMb = 4095;
constexpr uint32_t kSectorsPerMb = kBytesPerMb / kv9::kSectorSize;
constexpr uint32_t kFramesPerMb = kBytesPerMb / kv9::kFrameBytes;  // 51 (and a fifth)
constexpr uint32_t kMaxAudioSeconds = 74 * 60;                     // a whole 74-minute disc

// demo: a movie for every id of the disc, back to back after a little filler, as the real discs
// hold them. Movie i has 21 + (13 i mod 20) frames: 21 to 40, multiples of 4 and others, 956
// frames on disc 1; its tones rise from movie to movie.
constexpr uint32_t kDemoFillerSectors = 16;  // before the first movie
constexpr uint32_t kDemoMinFrames = 21;      // the demo shows frame 20 of the first movie
constexpr uint32_t kDemoFrameStep = 13;
constexpr uint32_t kDemoFrameSpread = 20;
constexpr double kDemoBaseHz = 220;
constexpr double kDemoStepHz = 20;

// bench: a few movies spread over an image that is mostly filler.
constexpr uint32_t kBenchMovies = 4;
constexpr uint32_t kBenchMovieFrames = 60;
constexpr uint32_t kBenchMinSizeMb = 8;

// movies: back to back from sector 0, at most this long each (80 s), at most the disc's table.
// Four tone pairs in turn: movies of equal sound share their encoded blocks, which keeps large
// images quick to write.
constexpr uint32_t kMoviesPresetMaxFrames = 1200;
constexpr uint32_t kMoviesPresetTones = 4;
constexpr double kMoviesPresetBaseHz = 200;
constexpr double kMoviesPresetStepHz = 37;

void print_usage(std::FILE* to) {
  std::fprintf(to,
               "usage: build_disc_image [options] OUTPUT.img\n"
               "  --disc N                     disc number 1..4 (default 1)\n"
               "  --movie START:FRAMES[:tone=L[/R]]\n"
               "                               a movie at sector START; tones in Hz at quarter\n"
               "                               scale (default 440 left, 660 right; R = 1.5 L)\n"
               "  --total-sectors N            image length in sectors (default: 2 after the\n"
               "                               last movie)\n"
               "  --filler-seed N              seed of the pseudo-random filler\n"
               "  --preset demo                a movie for every id of the disc, back to back\n"
               "  --preset bench --size-mb N   about N MB, mostly filler, a few movies\n"
               "  --preset movies --size-mb N  movies back to back from sector 0, about N MB\n"
               "then, beside OUTPUT.img, its raw disc (OUTPUT is the name without extension):\n"
               "  --raw mode1|mode2            OUTPUT.bin: every sector as a 2352-byte Mode 1 or\n"
               "                               Mode 2 Form 1 sector (sync, address, EDC, ECC)\n"
               "  --cue                        OUTPUT.cue, the sheet of the BIN\n"
               "  --audio-track SECONDS        an audio track after the data track (2 s of\n"
               "                               silence, then a quiet tone), in OUTPUT.bin\n"
               "  --track-files                one file per track instead: OUTPUT (Track 1).bin\n"
               "                               and OUTPUT (Track 2).bin\n"
               "  --damage SECTOR              bit 0 of that sector's user-data byte 1024 flipped\n"
               "                               after its EDC and ECC were made (repeatable)\n"
               "  --damage-address SECTOR      that sector carries the next sector's address\n"
               "                               (repeatable)\n");
}

template <class T>
std::optional<T> parse_number(std::string_view text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

Waveform tone(double hz) {
  Waveform w;
  w.kind = Waveform::kTone;
  w.frequency_hz = hz;
  w.amplitude = kToneAmplitude;
  return w;
}

MovieLayout tone_movie(uint32_t start, uint32_t frames, double left_hz, double right_hz) {
  MovieLayout m;
  m.start_sector = start;
  m.frames = frames;
  m.left = tone(left_hz);
  m.right = tone(right_hz);
  return m;
}

// START:FRAMES[:tone=L[/R]]
std::optional<MovieLayout> parse_movie(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::string_view rest = text.substr(colon + 1);
  const std::size_t colon2 = rest.find(':');
  const auto start = parse_number<uint32_t>(text.substr(0, colon));
  const auto frames = parse_number<uint32_t>(rest.substr(0, colon2));
  if (!start || !frames) return std::nullopt;
  double left = kDefaultLeftHz;
  double right = kDefaultRightHz;
  if (colon2 != std::string_view::npos) {
    constexpr std::string_view kTonePrefix = "tone=";
    std::string_view t = rest.substr(colon2 + 1);
    if (!t.starts_with(kTonePrefix)) return std::nullopt;
    t.remove_prefix(kTonePrefix.size());
    const std::size_t slash = t.find('/');
    const auto l = parse_number<double>(t.substr(0, slash));
    if (!l) return std::nullopt;
    left = *l;
    right = left * kRightOverLeft;
    if (slash != std::string_view::npos) {
      const auto r = parse_number<double>(t.substr(slash + 1));
      if (!r) return std::nullopt;
      right = *r;
    }
  }
  return tone_movie(*start, *frames, left, right);
}

void add_demo_movies(DiscLayout& disc_layout) {
  uint32_t sector = kDemoFillerSectors;
  for (uint32_t i = 0; i < kv9::movie_count[disc_layout.disc]; ++i) {
    const uint32_t frames = kDemoMinFrames + kDemoFrameStep * i % kDemoFrameSpread;
    const double hz = kDemoBaseHz + kDemoStepHz * i;
    disc_layout.movies.push_back(tone_movie(sector, frames, hz, hz * kRightOverLeft));
    sector += frames * static_cast<uint32_t>(kv9::kFrameSectors);
  }
}

void add_bench_movies(DiscLayout& disc_layout, uint32_t size_mb) {
  disc_layout.total_sectors = size_mb * kSectorsPerMb;
  for (uint32_t i = 0; i < kBenchMovies; ++i) {
    const uint32_t start = disc_layout.total_sectors / (kBenchMovies + 1) * (i + 1);
    disc_layout.movies.push_back(
        tone_movie(start, kBenchMovieFrames, kDefaultLeftHz + 110 * i, kDefaultRightHz + 110 * i));
  }
}

void add_back_to_back_movies(DiscLayout& disc_layout, uint32_t size_mb) {
  const uint32_t frames = size_mb * kFramesPerMb;
  const uint32_t wanted = (frames + kMoviesPresetMaxFrames - 1) / kMoviesPresetMaxFrames;
  const uint32_t count = std::min(wanted, kv9::movie_count[disc_layout.disc]);
  uint32_t sector = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t n = frames / count + (i < frames % count ? 1 : 0);
    const double hz = kMoviesPresetBaseHz + kMoviesPresetStepHz * (i % kMoviesPresetTones);
    disc_layout.movies.push_back(tone_movie(sector, n, hz, hz * kRightOverLeft));
    sector += n * static_cast<uint32_t>(kv9::kFrameSectors);
  }
}

int fail(const std::string& message) {
  std::fprintf(stderr, "build_disc_image: %s\n", message.c_str());
  print_usage(stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  DiscLayout disc_layout;
  std::string output;
  std::string preset;
  std::optional<uint32_t> size_mb;
  bool explicit_layout = false;
  std::optional<kv9::RawMode> raw_mode;
  kv9::builder::RawDisc raw_disc;
  bool cue = false;
  bool track_files = false;
  bool raw_extras = false;  // an option that needs --raw

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      print_usage(stdout);
      return 0;
    }
    if (arg == "--cue" || arg == "--track-files") {
      (arg == "--cue" ? cue : track_files) = true;
      raw_extras = true;
      continue;
    }
    if (!arg.starts_with("--")) {
      if (!output.empty()) return fail("more than one output file given");
      output = arg;
      continue;
    }
    if (i + 1 >= argc) return fail(std::string(arg) + " needs a value");
    const std::string_view value = argv[++i];
    if (arg == "--disc") {
      const auto disc = parse_number<int>(value);
      if (!disc || !kv9::valid_disc(*disc)) {
        return fail("--disc takes 1 to 4");
      }
      disc_layout.disc = *disc;
    } else if (arg == "--movie") {
      const auto movie = parse_movie(value);
      if (!movie) return fail("--movie takes START:FRAMES[:tone=L[/R]], not " + std::string(value));
      disc_layout.movies.push_back(*movie);
      explicit_layout = true;
    } else if (arg == "--total-sectors") {
      const auto total = parse_number<uint32_t>(value);
      if (!total || *total == 0) return fail("--total-sectors takes a positive number");
      disc_layout.total_sectors = *total;
      explicit_layout = true;
    } else if (arg == "--filler-seed") {
      const auto seed = parse_number<uint32_t>(value);
      if (!seed) return fail("--filler-seed takes a number");
      disc_layout.filler_seed = *seed;
    } else if (arg == "--preset") {
      if (value != "demo" && value != "bench" && value != "movies") {
        return fail("unknown preset " + std::string(value));
      }
      preset = value;
    } else if (arg == "--size-mb") {
      size_mb = parse_number<uint32_t>(value);
      if (!size_mb || *size_mb == 0 || *size_mb > kMaxSizeMb) {
        return fail("--size-mb takes 1 to 4095");
      }
    } else if (arg == "--raw") {
      if (value != "mode1" && value != "mode2") return fail("--raw takes mode1 or mode2");
      raw_mode = value == "mode1" ? kv9::RawMode::kMode1 : kv9::RawMode::kMode2;
    } else if (arg == "--audio-track") {
      const auto seconds = parse_number<uint32_t>(value);
      if (!seconds || *seconds == 0 || *seconds > kMaxAudioSeconds) {
        return fail("--audio-track takes 1 to 4440 seconds");
      }
      raw_disc.audio_seconds = *seconds;
      raw_extras = true;
    } else if (arg == "--damage" || arg == "--damage-address") {
      const auto sector = parse_number<uint32_t>(value);
      if (!sector) return fail(std::string(arg) + " takes a sector number");
      (arg == "--damage" ? raw_disc.damaged_sectors : raw_disc.misaddressed_sectors)
          .push_back(*sector);
      raw_extras = true;
    } else {
      return fail("unknown option " + std::string(arg));
    }
  }

  if (output.empty()) return fail("no output file given");
  if (!preset.empty() && explicit_layout) {
    return fail("--preset cannot be combined with --movie or --total-sectors");
  }
  const bool sized = preset == "bench" || preset == "movies";
  if (sized != size_mb.has_value()) {
    return fail(sized ? "--preset " + preset + " needs --size-mb"
                      : "--size-mb goes with --preset bench or movies");
  }
  if (raw_extras && !raw_mode)
    return fail("--cue, --audio-track, --track-files and --damage go with --raw");
  if (track_files && raw_disc.audio_seconds == 0)
    return fail("--track-files goes with --audio-track");
  if (preset == "demo") add_demo_movies(disc_layout);
  if (preset == "bench") {
    if (*size_mb < kBenchMinSizeMb) return fail("--preset bench needs --size-mb 8 or more");
    add_bench_movies(disc_layout, *size_mb);
  }
  if (preset == "movies") add_back_to_back_movies(disc_layout, *size_mb);

  std::string error;
  if (!kv9::builder::write_image(disc_layout, output, &error)) {
    std::fprintf(stderr, "build_disc_image: %s\n", error.c_str());
    return 1;
  }
  if (raw_mode) {
    raw_disc.mode = *raw_mode;
    const std::string stem = std::filesystem::path(output).replace_extension().string();
    raw_disc.bin_path = stem + (track_files ? " (Track 1).bin" : ".bin");
    if (track_files) raw_disc.audio_bin_path = stem + " (Track 2).bin";
    if (cue) raw_disc.cue_path = stem + ".cue";
    if (!kv9::builder::write_raw_disc(output, raw_disc, &error)) {
      std::fprintf(stderr, "build_disc_image: %s\n", error.c_str());
      return 1;
    }
  }
  for (std::size_t id = 0; id < disc_layout.movies.size(); ++id) {
    const MovieLayout& m = disc_layout.movies[id];
    std::printf("id=%d, address=0x%08X, frame=0x%04X\n", static_cast<int>(id),
                kv9::builder::movie_address(m), m.frames);
  }
  return 0;
}
