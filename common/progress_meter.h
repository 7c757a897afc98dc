// The per-movie progress line: ten percentage marks and dots between them, one step per source
// sector read.
#pragma once

#include <cstdint>

#include "common/movie_console.h"

namespace kv9 {

struct ProgressMeter {
  MovieConsole* console = nullptr;  // where the marks go
  uint32_t frames = 0;              // the movie's frame count F
  uint32_t sectors_since_mark = 0;  // source sectors since the last percentage mark
  uint32_t dot_credit = 0;          // +5 per sector; a dot when it reaches F
  int32_t percent_shown = 0;        // last percentage printed, in steps of 10
};

// Starts the marks of a movie of `frames` frames on `console`.
void reset_progress(ProgressMeter& meter, uint32_t frames, MovieConsole& console);

// One source sector has been read: prints "10%" ... "100%" every F sectors and a "." whenever
// the dot credit reaches F.
void advance_progress(ProgressMeter& meter);

}  // namespace kv9
