// vidcopy run for real on built images: every byte of the streams, console, exit status, and
// what ffmpeg makes of the streams.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

// The video-only stream of a built movie, assembled field by field from the sector layout.
std::string expected_stream(const builder::DiscLayout& disc_layout, std::size_t movie) {
  std::string out = test::expected_stream_header();
  std::array<uint8_t, kFrameVideoBytes + 2016> video{};
  for (uint32_t l = 0; l < disc_layout.movies[movie].frames; ++l) {
    builder::frame_video_data(disc_layout, movie, l, video.data());
    for (uint8_t j = 0; j < 8; ++j) {
      out += test::expected_video_sector({0, 0, 8, 0}, video.data(), l + 1, j, 8);
    }
  }
  return out;
}

TEST(Vidcopy, RangeOfMoviesGivesExactStreamsEachAsAlone) {
  test::TempDir dir;
  const auto disc_layout = test::back_to_back(2, {3, 1, 2, 130, 0});
  test::write_disc(dir.path(), disc_layout);
  const auto r = run_tool(dir.path(), "vidcopy", {"kv9disc2.img", "0-4"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(
      r.output.rfind(
          "open file \"kv9_200.str\". writing...\n..10%..20%..30%..40%..50%..60%..70%..80%..90%.."
          "100%\ndone. (3 frame)\nopen file \"kv9_201.str\". writing...\n",
          0),
      0u);
  EXPECT_NE(r.output.find("open file \"kv9_204.str\". writing...\n\ndone. (0 frame)\n"),
            std::string::npos);
  for (std::size_t m = 0; m < disc_layout.movies.size(); ++m) {
    const std::string name = "kv9_20" + std::to_string(m) + ".str";
    const std::string got = read_file(dir / name);
    EXPECT_EQ(got.size(), 44 + 18816 * disc_layout.movies[m].frames);
    EXPECT_TRUE(got == expected_stream(disc_layout, m)) << name;
  }
  // One run per movie gives the same files.
  const std::string range_file = read_file(dir / "kv9_203.str");
  fs::remove(dir / "kv9_203.str");
  ASSERT_EQ(run_tool(dir.path(), "vidcopy", {"kv9disc2.img", "3"}).status, 0);
  EXPECT_TRUE(read_file(dir / "kv9_203.str") == range_file);
}

TEST(Vidcopy, FfmpegDecodesEveryPictureInOrder) {
  if (!test::have_program("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  test::TempDir dir;
  const auto disc_layout = test::back_to_back(3, {23});
  test::write_disc(dir.path(), disc_layout);
  ASSERT_EQ(run_tool(dir.path(), "vidcopy", {"kv9disc3.img", "0"}).status, 0);
  const fs::path file = dir / "kv9_300.str";
  EXPECT_EQ(test::probe_streams(file, "codec_type,width,height"),
            "codec_type=video\nwidth=320\nheight=224\n");
  const auto labels = test::ffmpeg_picture_labels(file);
  ASSERT_EQ(labels.size(), 23u);
  for (uint32_t l = 0; l < labels.size(); ++l) {
    EXPECT_EQ(labels[l].frame, l);
    EXPECT_EQ(labels[l].disc, 3u);
  }
  // The demuxed packets are each frame's video data without its last 192 bytes.
  std::string want;
  std::array<uint8_t, kFrameVideoBytes> video;
  for (uint32_t l = 0; l < 23; ++l) {
    builder::frame_video_data(disc_layout, 0, l, video.data());
    want.append(reinterpret_cast<const char*>(video.data()), kFrameVideoBytes - 192);
  }
  EXPECT_TRUE(test::ffmpeg_video_packets(file) == want);
}

TEST(Vidcopy, WrongTagsAreReportedAndTheDataUsedAsRead) {
  test::TempDir dir;
  auto disc_layout = test::back_to_back(1, {3});
  const test::TempDir clean_dir;
  test::write_disc(clean_dir.path(), disc_layout);
  ASSERT_EQ(run_tool(clean_dir.path(), "vidcopy", {"kv9disc1.img", "0"}).status, 0);
  const uint32_t frame1 = disc_layout.movies[0].start_sector + 10;
  disc_layout.wrong_tags = {{frame1 + 0, {'S', 'M', 'X'}}, {frame1 + 5, {'s', 'm', 'j'}}};
  test::write_disc(dir.path(), disc_layout);
  const auto r = run_tool(dir.path(), "vidcopy", {"kv9disc1.img", "0"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.output.find("..50%..60%..SMN ErrorSMJ Error(3)70%.."), std::string::npos) << r.output;
  EXPECT_TRUE(read_file(dir / "kv9_100.str") == read_file(clean_dir / "kv9_100.str"));
}

TEST(Vidcopy, FailedOutputsArePassedOverAndReported) {
  test::TempDir dir;
  const auto disc_layout = test::back_to_back(1, {2, 3, 2});
  test::write_disc(dir.path(), disc_layout);
  fs::create_directory(dir / "kv9_101.str");             // cannot be created
  fs::create_symlink("/dev/full", dir / "kv9_102.str");  // every write fails
  const auto r = run_tool(dir.path(), "vidcopy", {"kv9disc1.img", "0-2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.output.find("done. (2 frame)\ncannot open file kv9_101.str\nopen file \"kv9_102.str\""),
      std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("done. (2 frame)\ncannot write file kv9_102.str\n"), std::string::npos);
  EXPECT_TRUE(read_file(dir / "kv9_100.str") == expected_stream(disc_layout, 0));
}

TEST(Vidcopy, ImageEndingInsideAMovieIsReported) {
  test::TempDir dir;
  auto disc_layout = test::back_to_back(1, {4});
  disc_layout.cut_at_byte = builder::movie_address(disc_layout.movies[0]) + 2 * kFrameBytes + 5000;
  test::write_disc(dir.path(), disc_layout);
  const auto r = run_tool(dir.path(), "vidcopy", {"kv9disc1.img", "0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("SMN ErrorSMR ErrorSMJ Error(0)SMJ Error(1)"), std::string::npos);
  EXPECT_NE(r.output.find("\ndone. (4 frame)\nimage kv9disc1.img ends before movie 100 ends\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(fs::file_size(dir / "kv9_100.str"), 44u + 4 * 18816);
}

TEST(Vidcopy, RangeReadsOnFromThePreviousMovieNotFromItsAddress) {
  test::TempDir dir;
  auto disc_layout = test::back_to_back(4, {2, 2});
  test::write_disc(dir.path(), disc_layout, false);
  // The address file moves movie 1 one frame further on than where movie 0 ends.
  builder::DiscLayout moved = disc_layout;
  moved.movies[1].start_sector += 10;
  test::write_file(dir / "kv9cdadr.ini", test::address_file_for(moved));
  const auto r = run_tool(dir.path(), "vidcopy", {"kv9disc4.img", "0-1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("done. (2 frame)\nmovie 401 does not start where movie 400 ends: read "
                          "from 0x0000E000, not from its address 0x00013000\nopen file"),
            std::string::npos)
      << r.output;
  EXPECT_TRUE(read_file(dir / "kv9_401.str") == expected_stream(disc_layout, 1));
  ASSERT_EQ(run_tool(dir.path(), "vidcopy", {"kv9disc4.img", "1"}).status, 1);  // runs off the end
  // Alone, movie 1 is read from its (moved) address: its first frame is movie 1's frame 1.
  std::array<uint8_t, kFrameVideoBytes> video;
  builder::frame_video_data(disc_layout, 1, 1, video.data());
  EXPECT_EQ(read_file(dir / "kv9_401.str").substr(44 + 56, 2016),
            std::string(reinterpret_cast<const char*>(video.data()), 2016));
}

}  // namespace
}  // namespace kv9
