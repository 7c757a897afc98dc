#include "common/progress_meter.h"

#include <gtest/gtest.h>

#include <string>

#include "support/differential.h"

namespace kv9 {
namespace {

// The progress line of a movie of F frames, one step per sector: the dots before each of the
// marks 10% to 100%. (Frames and their sector tags are read in the extractors' tests.)
TEST(ProgressMeter, DotsBetweenTheTenMarksFollowTheFrameCount) {
  // clang-format off
  for (auto [frames, dots] : {std::pair{1u, ""}, {2u, "."}, {3u, ".."}, {5u, "...."}, {6u, ".."},
                              {7u, "..."}, {11u, "..."}, {326u, "...."}}) {
    // clang-format on
    std::string want;
    for (int p = 10; p <= 100; p += 10) want += dots + std::to_string(p) + "%";
    const std::string line = test::console_of([&, f = frames] {
      ProgressMeter m;
      MovieConsole console;
      reset_progress(m, f, console);
      for (uint32_t s = 0; s < 10 * f; ++s) advance_progress(m);
    });
    EXPECT_EQ(line, want) << frames << " frames";
  }
}

}  // namespace
}  // namespace kv9
