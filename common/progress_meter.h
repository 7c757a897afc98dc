// The per-movie progress line: ten percentage marks and dots between them, one step per source
// sector read.
#pragma once

#include <cstdint>

namespace kv9 {

struct ProgressMeter {
  uint32_t frames = 0;              // the movie's frame count F
  uint32_t sectors_since_mark = 0;  // source sectors since the last percentage mark
  uint32_t dot_credit = 0;          // +5 per sector; a dot when it reaches F
  int32_t percent_shown = 0;        // last percentage printed, in steps of 10
};

void reset_progress(ProgressMeter& meter, uint32_t frames);

// One source sector has been read: prints "10%" ... "100%" every F sectors and a "." whenever
// the dot credit reaches F. Each mark is flushed as it is printed.
void advance_progress(ProgressMeter& meter);

}  // namespace kv9
