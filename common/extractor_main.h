// The main sequence shared by the three extractors (vidsound, vidconv, vidcopy): arguments,
// address file, image name, movie range, the tool's run-start step, the image opened and
// positioned once, then the tool's per-movie operation for every id of the range.
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
  int status = kExitOk;  // becomes kExitFailure when any movie could not be written whole
};

struct ExtractorTool {
  const char* usage_line;          // "USAGE:vidxxx D:kv9disc?.img <n-m>\n"
  void (*run_start)(void* state);  // before the image is opened; may be null
  void (*convert_movie)(ExtractorRun& run, void* state, int32_t id);
  void* state;  // the tool's own buffers and histories
};

// Runs the whole sequence and returns the process exit status.
int run_extractor(ExtractorRun& run, const ExtractorTool& tool, int argc, char** argv);

// The frame count of a movie of the run's disc.
inline uint32_t movie_frame_count(const ExtractorRun& run, int32_t id) {
  return run.tables.movie_frames[run.disc][id];
}

// First step of a per-movie operation: creates the output file named `prefix`, the movie number
// ("%d%02d" of disc and id) and `extension`. When that fails, prints "cannot open file %s\n",
// passes over the movie's frames and returns false. Otherwise prints
// "open file \"%s\". writing...\n" and resets the progress meter for the movie.
bool begin_movie_output(ExtractorRun& run, int32_t id, const char* prefix, const char* extension);

// Last step, after the tool's completion line: closes the output, reporting a failed write, and
// reports an image that ended before the movie did.
void finish_movie_output(ExtractorRun& run, int32_t id);

// The movie's frames, one by one, into run.frame.
inline void read_next_frame(ExtractorRun& run) {
  read_movie_frame(run.image, run.progress, run.frame);
}

}  // namespace kv9
