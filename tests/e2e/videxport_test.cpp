// videxport run for real on built images: what ffprobe and ffmpeg read from the Matroska files,
// against the pictures ffmpeg decodes from vidcopy's stream and vidsound's samples.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

// vidsound's samples: the WAVE file without its 44-byte header and 40-byte trailer.
std::string wave_samples(const fs::path& file) {
  const std::string w = read_file(file);
  return w.substr(44, w.size() - 84);
}

std::string file_samples(const fs::path& file) {
  const auto s = test::ffmpeg_samples(file);
  return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

class Videxport : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::have_program("ffprobe")) GTEST_SKIP() << "ffmpeg not installed";
  }
  test::TempDir dir;
};

TEST_F(Videxport, PicturesAndSoundAreTheStreamsOnesAtFifteenFramesPerSecond) {
  test::write_disc(dir.path(), test::back_to_back(2, {23, 1, 0}));
  const auto r = run_tool(dir.path(), "videxport", {"kv9disc2.img", "0-2"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.rfind("open file \"kv9_200.mkv\". writing...\n", 0), 0u);
  EXPECT_NE(r.output.find("\ndone. (1 frame)\nmovie 202 has no frames: no file written\n"),
            std::string::npos)
      << r.output;
  EXPECT_FALSE(fs::exists(dir / "kv9_202.mkv"));
  ASSERT_EQ(run_tool(dir.path(), "vidcopy", {"kv9disc2.img", "0-1"}).status, 0);
  ASSERT_EQ(run_tool(dir.path(), "vidsound", {"kv9disc2.img", "0-1"}).status, 0);

  struct Row {
    const char* movie;
    int frames;
  };
  for (const Row row : {Row{"200", 23}, Row{"201", 1}}) {
    SCOPED_TRACE(row.movie);
    const fs::path mkv = dir / ("kv9_" + std::string(row.movie) + ".mkv");
    const std::string n = std::to_string(row.frames);
    EXPECT_EQ(probe(mkv,
                    "stream=codec_name,width,height,color_range,r_frame_rate,avg_frame_rate,"
                    "sample_rate,channels,nb_read_frames"),
              "ffv1\n320\n224\npc\n15/1\n15/1\n" + n + "\nflac\n44100\n2\n0/0\n0/0\n" + n + "\n");
    std::istringstream times(probe(mkv, "packet=pts_time", "v"));
    int k = 0;
    for (double t; times >> t; ++k) EXPECT_NEAR(t, k / 15.0, 0.0005) << k;
    EXPECT_EQ(k, row.frames);
    const auto md5s = picture_md5s(mkv);
    EXPECT_EQ(md5s.size(), static_cast<std::size_t>(row.frames));
    EXPECT_EQ(md5s, picture_md5s(dir / ("kv9_" + std::string(row.movie) + ".str")));
    EXPECT_TRUE(file_samples(mkv) ==
                wave_samples(dir / ("kv9_" + std::string(row.movie) + ".wav")));
  }
}

// An output that cannot be written, one that cannot be created, and an image that ends inside
// the last movie: each reported, the next movies still written, every frame kept.
TEST_F(Videxport, FailedOutputsAndAnImageEndingEarly) {
  auto layout = test::back_to_back(1, {2, 3, 3});
  layout.cut_at_byte = builder::movie_address(layout.movies[2]) + kFrameBytes + 100;
  test::write_disc(dir.path(), layout);
  fs::create_symlink("/dev/full", dir / "kv9_100.mkv");
  fs::create_directory(dir / "kv9_101.mkv");
  const auto r = run_tool(dir.path(), "videxport", {"kv9disc1.img", "0-2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("done. (2 frame)\ncannot write file kv9_100.mkv\n"
                          "cannot open file kv9_101.mkv\nopen file \"kv9_102.mkv\""),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("done. (3 frame)\nimage kv9disc1.img ends before movie 102 ends\n"),
            std::string::npos);
  EXPECT_EQ(probe(dir / "kv9_102.mkv", "stream=nb_read_frames"), "3\n3\n");
  EXPECT_EQ(file_samples(dir / "kv9_102.mkv").size(), 3u * 2940 * 4);
  const auto usage = run_tool(dir.path(), "videxport", {});
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.output.find("USAGE:videxport D:kv9disc?.img <n-m>\n"), std::string::npos);
}

}  // namespace
}  // namespace kv9
