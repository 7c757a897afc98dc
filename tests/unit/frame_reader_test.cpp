#include "common/frame_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "common/progress_meter.h"
#include "support/capture.h"
#include "support/temp_dir.h"

namespace kv9 {
namespace {

std::string progress_line(uint32_t frames) {
  return test::console_of([&] {
    ProgressMeter m;
    reset_progress(m, frames);
    for (uint32_t s = 0; s < 10 * frames; ++s) advance_progress(m);
  });
}

std::string marks_between_dots(const std::string& line, std::size_t interval) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < interval; ++i) start = line.find('%', start) + 1;
  return line.substr(start, line.find('%', start) - start);
}

TEST(ProgressMeter, MarksAndDotsFollowTheFrameCount) {
  EXPECT_EQ(progress_line(0), "");
  EXPECT_EQ(progress_line(1), "10%20%30%40%50%60%70%80%90%100%");
  EXPECT_EQ(progress_line(2), ".10%.20%.30%.40%.50%.60%.70%.80%.90%.100%");
  EXPECT_EQ(progress_line(3), "..10%..20%..30%..40%..50%..60%..70%..80%..90%..100%");
  // Dots per interval: ceil(F / ceil(F / 5)) - 1.
  for (auto [frames, dots] : {std::pair{5u, 4u}, {6u, 2u}, {7u, 3u}, {11u, 3u}, {326u, 4u}}) {
    const std::string line = progress_line(frames);
    for (std::size_t interval = 0; interval < 10; ++interval) {
      EXPECT_EQ(marks_between_dots(line, interval),
                std::string(dots, '.') + std::to_string(10 * (interval + 1)))
          << "F=" << frames;
    }
  }
}

TEST(ProgressMeter, DotsOf326FramesFollowEvery66thSector) {
  ProgressMeter m;
  reset_progress(m, 326);
  std::string where;
  for (int s = 1; s <= 326; ++s) {
    const std::string out = test::console_of([&] { advance_progress(m); });
    if (out == ".") where += std::to_string(s) + " ";
  }
  EXPECT_EQ(where, "66 132 198 264 ");
}

SourceFrame good_frame() {
  SourceFrame f{};
  for (std::size_t s = 0; s < kFrameSectors; ++s) {
    std::memcpy(f.data() + s * kSectorSize, s == 0 ? "SMN" : s == 1 ? "SMR" : "SMJ", 3);
  }
  return f;
}

TEST(FrameHeaders, EachWrongTagIsNamed) {
  SourceFrame f = good_frame();
  EXPECT_EQ(test::console_of([&] { check_frame_headers(f); }), "");
  f[5 * kSectorSize + 1] = 'X';  // the fourth SMJ sector
  EXPECT_EQ(test::console_of([&] { check_frame_headers(f); }), "SMJ Error(3)");
  f = good_frame();
  f[0] = 0;
  f[kSectorSize + 2] = 0;
  f[9 * kSectorSize] = 's';
  EXPECT_EQ(test::console_of([&] { check_frame_headers(f); }), "SMN ErrorSMR ErrorSMJ Error(7)");
}

// A frame read beyond the end of the image is all 0xFF and names all ten tags, after the
// progress marks of its sectors.
TEST(FrameReader, ReadsWholeFramesAndPastTheEndAsFF) {
  test::TempDir dir;
  SourceFrame first = good_frame();
  first[100] = 0x42;
  test::write_file(dir / "img", std::string(first.begin(), first.end()));
  auto image = std::make_unique<ImageStream>();
  ASSERT_TRUE(open_image(*image, (dir / "img").c_str()));
  position_image(*image, 0);
  ProgressMeter m;
  reset_progress(m, 2);
  SourceFrame f;
  EXPECT_EQ(test::console_of([&] { read_movie_frame(*image, m, f); }), ".10%.20%.30%.40%.50%");
  EXPECT_EQ(f, first);
  EXPECT_FALSE(image->ended);
  EXPECT_EQ(test::console_of([&] { read_movie_frame(*image, m, f); }),
            ".60%.70%.80%.90%.100%SMN ErrorSMR ErrorSMJ Error(0)SMJ Error(1)SMJ Error(2)SMJ "
            "Error(3)SMJ Error(4)SMJ Error(5)SMJ Error(6)SMJ Error(7)");
  EXPECT_TRUE(image->ended);
  EXPECT_EQ(f[0], 0xFF);
  EXPECT_EQ(f[kFrameBytes - 1], 0xFF);
  close_image(*image);
}

TEST(FrameReader, SkipMoviePassesOverWholeFrames) {
  test::TempDir dir;
  std::string bytes(3 * kFrameBytes, '\0');
  bytes[2 * kFrameBytes] = 'Q';
  test::write_file(dir / "img", bytes);
  auto image = std::make_unique<ImageStream>();
  ASSERT_TRUE(open_image(*image, (dir / "img").c_str()));
  position_image(*image, kFrameBytes);
  skip_movie(*image, 1);
  uint8_t b;
  read_image(*image, &b, 1);
  EXPECT_EQ(b, 'Q');
  close_image(*image);
}

}  // namespace
}  // namespace kv9
