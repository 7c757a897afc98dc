// videxport run for real on built images: what ffprobe and ffmpeg read from the Matroska files,
// against the pictures ffmpeg decodes from vidcopy's stream and vidsound's samples. (Its
// failures are in failures_test.cpp with the other extractors'.)
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_program;
using test::run_tool;

// ffprobe's values of the entries, one a line, over the streams `streams` picks.
std::string probe(const fs::path& file, const std::string& entries, const char* streams = "") {
  return run_program(file.parent_path(), "ffprobe",
                     {"-v", "error", "-count_frames", "-select_streams", streams, "-show_entries",
                      entries, "-of", "default=noprint_wrappers=1:nokey=1", file.string()})
      .output;
}

// The checksum of every picture ffmpeg decodes from a file, in order.
std::vector<std::string> picture_md5s(const fs::path& file) {
  const fs::path list = file.string() + ".md5";
  run_program(file.parent_path(), "ffmpeg",
              {"-v", "quiet", "-y", "-i", file.string(), "-map", "0:v", "-c:v", "rawvideo", "-f",
               "framemd5", list.string()});
  std::istringstream lines(read_file(list));
  std::vector<std::string> md5s;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != '#') md5s.push_back(line.substr(line.rfind(' ') + 1));
  }
  return md5s;
}

// Movies of 23 frames, 1 frame and none: two files with pictures and sound at 15 frames per
// second, each picture and sample the one vidcopy's stream and vidsound's file carry, and no
// file for the movie without frames.
TEST(Videxport, PicturesAndSoundAreTheOtherToolsOnesAtFifteenFramesPerSecond) {
  if (!test::have_program("ffprobe")) GTEST_SKIP() << "ffmpeg not installed";
  test::TempDir dir;
  test::write_disc(dir.path(), test::back_to_back(2, {23, 1, 0}));
  const auto r = run_tool(dir.path(), "videxport", {"kv9disc2.img", "0-2"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("\ndone. (1 frame)\nmovie 202 has no frames: no file written\n"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(dir / "kv9_202.mkv"));
  ASSERT_EQ(run_tool(dir.path(), "vidcopy", {"kv9disc2.img", "0-1"}).status, 0);
  ASSERT_EQ(run_tool(dir.path(), "vidsound", {"kv9disc2.img", "0-1"}).status, 0);
  for (const auto& [movie, frames] : {std::pair{"200", 23}, std::pair{"201", 1}}) {
    SCOPED_TRACE(movie);
    const fs::path mkv = dir / ("kv9_" + std::string(movie) + ".mkv");
    const std::string n = std::to_string(frames);
    EXPECT_EQ(probe(mkv,
                    "stream=codec_name,width,height,color_range,r_frame_rate,avg_frame_rate,"
                    "sample_rate,channels,nb_read_frames"),
              "ffv1\n320\n224\npc\n15/1\n15/1\n" + n + "\nflac\n44100\n2\n0/0\n0/0\n" + n + "\n");
    std::istringstream times(probe(mkv, "packet=pts_time", "v"));
    int k = 0;
    for (double t; times >> t; ++k) EXPECT_NEAR(t, k / 15.0, 0.0005) << k;
    EXPECT_EQ(k, frames);
    const auto md5s = picture_md5s(mkv);
    EXPECT_EQ(md5s.size(), std::size_t(frames));
    EXPECT_EQ(md5s, picture_md5s(dir / ("kv9_" + std::string(movie) + ".str")));
    const auto samples = test::ffmpeg_samples(mkv);
    const std::string wave = read_file(dir / ("kv9_" + std::string(movie) + ".wav"));
    EXPECT_TRUE(std::string(reinterpret_cast<const char*>(samples.data()), samples.size() * 2) ==
                wave.substr(44, wave.size() - 84));
  }
}

}  // namespace
}  // namespace kv9
