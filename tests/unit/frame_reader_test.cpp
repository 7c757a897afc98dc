#include "common/frame_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/progress_meter.h"
#include "support/differential.h"
#include "support/temp_dir.h"

namespace kv9 {
namespace {

// The progress line of a movie of F frames, mark by mark: the dots before each of 10% to 100%.
TEST(ProgressMeter, DotsBetweenTheTenMarksFollowTheFrameCount) {
  for (auto [frames, dots] : {std::pair{1u, ""},
                              {2u, "."},
                              {3u, ".."},
                              {5u, "...."},
                              {6u, ".."},
                              {7u, "..."},
                              {11u, "..."},
                              {326u, "...."}}) {
    std::string want;
    for (int p = 10; p <= 100; p += 10) want += dots + std::to_string(p) + "%";
    const std::string line = test::console_of([&] {
      ProgressMeter m;
      reset_progress(m, frames);
      for (uint32_t s = 0; s < 10 * frames; ++s) advance_progress(m);
    });
    EXPECT_EQ(line, want) << frames << " frames";
  }
  // With 326 frames the dots follow sectors 66, 132, 198 and 264 of each tenth.
  ProgressMeter m;
  reset_progress(m, 326);
  std::string where;
  for (int s = 1; s <= 326; ++s) {
    if (test::console_of([&] { advance_progress(m); }) == ".") where += std::to_string(s) + " ";
  }
  EXPECT_EQ(where, "66 132 198 264 ");
}

// Frames of an image of one good frame and one whose tags are wrong, then past its end: every
// wrong tag named after the frame's marks, the bytes as read, 0xFF past the end.
TEST(FrameReader, NamesWrongTagsAndReadsPastTheEndAsFF) {
  SourceFrame good{}, bad{};
  for (std::size_t s = 0; s < kFrameSectors; ++s) {
    std::memcpy(good.data() + s * kSectorSize, s == 0 ? "SMN" : s == 1 ? "SMR" : "SMJ", 3);
  }
  good[100] = 0x42;
  bad = good;
  bad[0] = 0;
  bad[kSectorSize + 2] = 'X';
  bad[5 * kSectorSize + 1] = 'm';
  test::TempDir dir;
  test::write_file(dir / "img", std::string(good.begin(), good.end()) +
                                    std::string(bad.begin(), bad.end()) + "tail");
  auto image = std::make_unique<ImageStream>();
  ASSERT_TRUE(open_image(*image, (dir / "img").c_str()));
  position_image(*image, 0);
  ProgressMeter m;
  auto frame = std::make_unique<SourceFrame>();
  const std::string marks = "10%20%30%40%50%60%70%80%90%100%";
  const auto read = [&] {
    reset_progress(m, 1);
    return test::console_of([&] { read_movie_frame(*image, m, *frame); });
  };
  EXPECT_EQ(read(), marks);
  EXPECT_EQ(*frame, good);
  EXPECT_EQ(read(), marks + "SMN ErrorSMR ErrorSMJ Error(3)");
  EXPECT_EQ(*frame, bad);
  EXPECT_FALSE(image->ended);
  EXPECT_EQ(read(), marks +
                        "SMN ErrorSMR ErrorSMJ Error(0)SMJ Error(1)SMJ Error(2)SMJ Error(3)SMJ "
                        "Error(4)SMJ Error(5)SMJ Error(6)SMJ Error(7)");
  EXPECT_TRUE(image->ended);
  EXPECT_EQ(std::string(frame->begin(), frame->begin() + 5), "tail\xFF");
  EXPECT_EQ((*frame)[kFrameBytes - 1], 0xFF);

  // Passing over a movie skips whole frames.
  position_image(*image, 0);
  skip_movie(*image, 1);
  uint8_t b;
  read_image(*image, &b, 1);
  EXPECT_EQ(b, 0);
}

}  // namespace
}  // namespace kv9
