#include "common/extractor_main.h"

#include <cstdio>

namespace kv9 {
namespace {

// A read error is reported where the image's end would be, once.
void report_read_error(ExtractorRun& run) {
  if (!run.read_error_reported) std::printf("cannot read file %s\n", run.image_path);
  run.read_error_reported = true;
  run.status = kExitFailure;
}

}  // namespace

int prepare_extractor_run(ExtractorRun& run, const ToolText& tool, int argc, char** argv) {
  if (argc < 2) {
    refuse_arguments(tool, "no disc image given");
    return kExitUsage;
  }
  if (handle_info_option(argv[1], tool)) return kExitOk;

  set_builtin_tables(run.tables);
  if (load_address_file(run.tables) == AddressFileLoad::kUnreadable) {
    // Extracting with tables other than the ones the user keeps would write the wrong movies.
    std::printf("cannot read file %s\n", kAddressFileName);
    return kExitFailure;
  }

  run.image_path = argv[1];
  if (!check_image_name(run.image_path, run.disc)) {
    refuse_arguments(tool, kImageNameReason, run.image_path);
    return kExitUsage;
  }
  run.range = full_movie_range(run.disc);
  if (argc >= 3 && !take_range_argument(tool, argv[2], run.disc, run.range)) return kExitUsage;
  return kRunGoesOn;
}

bool open_extractor_image(ExtractorRun& run) {
  if (!open_image(run.image, run.image_path)) {
    std::printf("cannot open file %s\n", run.image_path);
    return false;
  }
  // The only positioning of the run: the movies of the range follow each other on the disc.
  position_image(run.image, run.tables.movie_address[run.disc][run.range.first_id]);
  return true;
}

void check_movie_start(ExtractorRun& run, int32_t id) {
  const int32_t first = run.range.first_id;
  if (id == first) return;
  const auto& address = run.tables.movie_address[run.disc];
  uint64_t read_from = address[first];
  for (int32_t i = first; i < id; ++i)
    read_from += uint64_t{movie_frame_count(run, i)} * kFrameBytes;
  if (read_from == address[id]) return;
  std::printf(
      "movie %d%02d does not start where movie %d%02d ends: read from 0x%08llX, not from its "
      "address 0x%08X\n",
      run.disc, id, run.disc, id - 1, static_cast<unsigned long long>(read_from), address[id]);
  run.status = kExitFailure;
}

int end_extractor_run(ExtractorRun& run) {
  // A read error met while passing over a movie has not been reported yet.
  if (run.image.ended && run.image.read_failed) report_read_error(run);
  close_image(run.image);
  std::fflush(stdout);
  return run.status;
}

void format_movie_name(const ExtractorRun& run, int32_t id, const char* prefix,
                       const char* extension, char (&name)[kOutputNameBytes]) {
  std::snprintf(name, sizeof name, "%s%d%02d%s", prefix, run.disc, id, extension);
}

void pass_over_movie(ExtractorRun& run, int32_t id, const char* name) {
  std::printf("cannot open file %s\n", name);
  skip_movie(run.image, movie_frame_count(run, id));
  run.status = kExitFailure;
}

void start_movie(ExtractorRun& run, int32_t id, const char* name) {
  std::printf("open file \"%s\". writing...\n", name);
  std::fflush(stdout);
  reset_progress(run.progress, movie_frame_count(run, id));
}

void finish_movie(ExtractorRun& run, int32_t id, const char* name, bool written) {
  if (!written) {
    std::printf("cannot write file %s\n", name);
    run.status = kExitFailure;
  }
  // `ended`: the movie read past what the image gave, its end or the place of a read error.
  if (movie_frame_count(run, id) > 0 && run.image.ended) {
    if (run.image.read_failed) {
      report_read_error(run);
    } else {
      std::printf("image %s ends before movie %d%02d ends\n", run.image_path, run.disc, id);
      run.status = kExitFailure;
    }
  }
  std::fflush(stdout);
}

bool begin_movie_output(ExtractorRun& run, int32_t id, const char* prefix, const char* extension) {
  char name[kOutputNameBytes];
  format_movie_name(run, id, prefix, extension, name);
  if (!open_output(run.output, name)) {
    pass_over_movie(run, id, name);
    return false;
  }
  start_movie(run, id, name);
  return true;
}

void finish_movie_output(ExtractorRun& run, int32_t id) {
  const bool written = close_output(run.output);
  finish_movie(run, id, run.output.name.data(), written);
}

}  // namespace kv9
