// The main sequence shared by the extractors: arguments, address file, image name, movie range,
// the tool's run-start step, the image opened and positioned once, then the tool's per-movie
// operation for every id of the range.
#pragma once

#include <cstdint>

#include "common/command_line.h"
#include "common/frame_reader.h"
#include "common/image_stream.h"
#include "common/movie_table.h"
#include "common/output_file.h"
#include "common/progress_meter.h"

namespace kv9 {

// Everything the frame owns for one run; large, so a tool keeps it in static storage.
struct ExtractorRun {
  MovieTables tables;
  int disc = 0;
  MovieRange range;
  const char* image_path = nullptr;
  ImageStream image;
  ProgressMeter progress;
  SourceFrame frame;
  OutputFile output;
  bool read_error_reported = false;  // "cannot read file" is printed once per run
  int status = kExitOk;  // becomes kExitFailure when any movie could not be written whole
};

// What a tool adds to the frame: its name, usage line and help, an optional run-start step and
// its per-movie operation, both over the tool's own state (buffers and histories).
template <class State>
struct ExtractorTool {
  ToolText text;                    // name, usage line and help
  void (*run_start)(State& state);  // before the image is opened; may be null
  void (*convert_movie)(ExtractorRun& run, State& state, int32_t id);
};

// The steps before the tool's run-start step. Returns the exit status when the run ends there
// (usage, help, version), or kRunGoesOn.
inline constexpr int kRunGoesOn = -1;
int prepare_extractor_run(ExtractorRun& run, const ToolText& tool, int argc, char** argv);

// Opens the image and positions it at the range's first movie; reports an image that cannot be
// opened.
bool open_extractor_image(ExtractorRun& run);

// Before each movie of the range: a movie other than the first whose table address is not
// where the previous movie ended is still read from there, and the run says so.
void check_movie_start(ExtractorRun& run, int32_t id);

// Closes the image; returns the run's exit status.
int end_extractor_run(ExtractorRun& run);

// Runs the whole sequence and returns the process exit status.
template <class State>
int run_extractor(ExtractorRun& run, const ExtractorTool<State>& tool, State& state, int argc,
                  char** argv) {
  const int status = prepare_extractor_run(run, tool.text, argc, argv);
  if (status != kRunGoesOn) return status;
  if (tool.run_start != nullptr) tool.run_start(state);
  if (!open_extractor_image(run)) return kExitFailure;
  for (int32_t id = run.range.first_id; id <= run.range.last_id; ++id) {
    check_movie_start(run, id);
    tool.convert_movie(run, state, id);
  }
  return end_extractor_run(run);
}

// The frame count of a movie of the run's disc.
inline uint32_t movie_frame_count(const ExtractorRun& run, int32_t id) {
  return run.tables.movie_frames[run.disc][id];
}

// The output name of a movie: `prefix`, the movie number ("%d%02d" of disc and id), `extension`.
void format_movie_name(const ExtractorRun& run, int32_t id, const char* prefix,
                       const char* extension, char (&name)[kOutputNameBytes]);

// A movie whose output cannot be created: prints "cannot open file %s\n" and passes over the
// movie's frames, so the next movie is read from its own start.
void pass_over_movie(ExtractorRun& run, int32_t id, const char* name);

// A movie whose output is open: prints "open file \"%s\". writing...\n" and resets the
// progress meter for the movie.
void start_movie(ExtractorRun& run, int32_t id, const char* name);

// After the tool's completion line: reports a failed write of the output `name`, and an image
// that ended before the movie did or failed to be read.
void finish_movie(ExtractorRun& run, int32_t id, const char* name, bool written);

// The first and last steps of a per-movie operation that writes through run.output: creates
// the output (or passes over the movie), and closes it again.
bool begin_movie_output(ExtractorRun& run, int32_t id, const char* prefix, const char* extension);
void finish_movie_output(ExtractorRun& run, int32_t id);

// The movie's frames, one by one, into run.frame.
inline void read_next_frame(ExtractorRun& run) {
  read_movie_frame(run.image, run.progress, run.frame);
}

}  // namespace kv9
