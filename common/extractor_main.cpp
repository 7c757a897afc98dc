#include "common/extractor_main.h"

#include <cstdio>

namespace kv9 {

int run_extractor(ExtractorRun& run, const ExtractorTool& tool, int argc, char** argv) {
  if (argc < 2) {
    print_usage(tool.usage_line);
    return kExitUsage;
  }
  if (handle_info_option(argv[1], tool.usage_line)) return kExitOk;

  set_builtin_tables(run.tables);
  load_address_file(run.tables);

  run.image_path = argv[1];
  if (!check_image_name(run.image_path, run.disc)) {
    print_usage(tool.usage_line);
    return kExitUsage;
  }
  run.range = full_movie_range(run.disc);
  if (argc >= 3 && !parse_movie_range(argv[2], run.disc, run.range)) {
    print_usage(tool.usage_line);
    return kExitUsage;
  }

  if (tool.run_start != nullptr) tool.run_start(tool.state);

  if (!open_image(run.image, run.image_path)) {
    std::printf("cannot open file %s\n", run.image_path);
    return kExitFailure;
  }
  // The only positioning of the run: the movies of the range follow each other on the disc.
  position_image(run.image, run.tables.movie_address[run.disc][run.range.first_id]);
  for (int32_t id = run.range.first_id; id <= run.range.last_id; ++id) {
    tool.convert_movie(run, tool.state, id);
  }
  close_image(run.image);
  std::fflush(stdout);
  return run.status;
}

bool begin_movie_output(ExtractorRun& run, int32_t id, const char* prefix, const char* extension) {
  const uint32_t frames = movie_frame_count(run, id);
  char name[kOutputNameBytes];
  std::snprintf(name, sizeof name, "%s%d%02d%s", prefix, run.disc, id, extension);
  if (!open_output(run.output, name)) {
    std::printf("cannot open file %s\n", name);
    skip_movie(run.image, frames);
    run.status = kExitFailure;
    return false;
  }
  std::printf("open file \"%s\". writing...\n", name);
  std::fflush(stdout);
  reset_progress(run.progress, frames);
  return true;
}

void finish_movie_output(ExtractorRun& run, int32_t id) {
  if (!close_output(run.output)) {
    std::printf("cannot write file %s\n", run.output.name.data());
    run.status = kExitFailure;
  }
  if (movie_frame_count(run, id) > 0 && run.image.ended) {
    std::printf("image %s ends before movie %d%02d ends\n", run.image_path, run.disc, id);
    run.status = kExitFailure;
  }
  std::fflush(stdout);
}

}  // namespace kv9
