// vidsound run for real on built images: the WAVE files byte for byte, what ffprobe, ffmpeg and
// sox make of them, and how close the sound is to the tones the movies were built with.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/built_movie.h"
#include "support/movie_files.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

uint32_t le32(const std::string& s, std::size_t at) {
  return uint8_t(s[at]) | uint8_t(s[at + 1]) << 8 | uint8_t(s[at + 2]) << 16 |
         uint32_t(uint8_t(s[at + 3])) << 24;
}

// The WAVE file of a built movie: header, the samples a decoder gets from its blocks, trailer.
std::string expected_wave(const builder::DiscLayout& disc_layout, std::size_t movie, int disc,
                          int id) {
  const uint32_t frames = disc_layout.movies[movie].frames;
  const uint32_t data = frames * 11760;
  std::string w = "RIFF....WAVEfmt ";
  w += std::string("\x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0data....", 28);
  for (int i = 0; i < 4; ++i) {
    w[4 + i] = char((data + 76) >> (8 * i));
    w[40 + i] = char(data >> (8 * i));
  }
  if (frames > 0) {
    const auto left = test::decoded_movie_channel(disc_layout, movie, 0);
    const auto right = test::decoded_movie_channel(disc_layout, movie, 1);
    for (std::size_t n = 0; n < left.size(); ++n) {
      const int16_t pair[2] = {left[n], right[n]};
      w.append(reinterpret_cast<const char*>(pair), 4);  // little-endian machine
    }
  }
  char trailer[48];
  std::snprintf(trailer, sizeof trailer, "Karvelon Tidewater movie effect sound%d%02d", disc, id);
  return w + trailer;
}

TEST(Vidsound, RangeOfMoviesGivesExactWaveFiles) {
  test::TempDir dir;
  const auto disc_layout = test::back_to_back(2, {1, 2, 326, 0});
  test::write_disc(dir.path(), disc_layout);
  const auto r = run_tool(dir.path(), "vidsound", {"kv9disc2.img", "0-3"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(r.output.rfind("open file \"kv9_200.wav\". writing...\n10%20%30%40%50%60%70%80%90%100%"
                           "\ndone. (0.067 sec)\nopen file \"kv9_201.wav\". writing...\n.10%",
                           0),
            0u);
  EXPECT_NE(r.output.find("\ndone. (21.733 sec)\n"), std::string::npos);
  EXPECT_NE(r.output.find("open file \"kv9_203.wav\". writing...\n\ndone. (0.000 sec)\n"),
            std::string::npos);
  for (int id = 0; id < 4; ++id) {
    const std::string got = read_file(dir / ("kv9_20" + std::to_string(id) + ".wav"));
    EXPECT_EQ(got.size(), 84u + 11760 * disc_layout.movies[id].frames);
    EXPECT_TRUE(got == expected_wave(disc_layout, id, 2, id)) << id;
  }
  const std::string f326 = read_file(dir / "kv9_202.wav");
  EXPECT_EQ(f326.size(), 3833844u);
  EXPECT_EQ(le32(f326, 4), 3833836u);
  EXPECT_EQ(le32(f326, 40), 3833760u);
  // The decoder starts afresh for every movie: a run of one movie gives the same file.
  fs::remove(dir / "kv9_202.wav");
  ASSERT_EQ(run_tool(dir.path(), "vidsound", {"kv9disc2.img", "2"}).status, 0);
  EXPECT_TRUE(read_file(dir / "kv9_202.wav") == f326);
}

TEST(Vidsound, PlayersReadTheFilesAndHearTheTones) {
  if (!test::have_program("ffprobe") || !test::have_program("sox")) {
    GTEST_SKIP() << "ffmpeg or sox not installed";
  }
  test::TempDir dir;
  const auto disc_layout = test::back_to_back(1, {45, 1});
  test::write_disc(dir.path(), disc_layout);
  ASSERT_EQ(run_tool(dir.path(), "vidsound", {"kv9disc1.img", "0-1"}).status, 0);
  for (int id = 0; id < 2; ++id) {
    const fs::path file = dir / ("kv9_10" + std::to_string(id) + ".wav");
    const uint32_t frames = disc_layout.movies[id].frames;
    EXPECT_EQ(test::probe_streams(file, "codec_name,sample_rate,channels"),
              "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\n");
    const auto sox = test::run_program(dir.path(), "sox", {"--i", "-s", file.string()});
    EXPECT_EQ(sox.output, std::to_string(frames * 2940) + "\n") << sox.output;
    const auto ff = test::run_program(
        dir.path(), "ffprobe",
        {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file.string()});
    EXPECT_NEAR(std::stod(ff.output), frames / 15.0, 0.001);
    // ffmpeg's samples are the file's samples (the trailer is not read as sound).
    const auto samples = test::ffmpeg_samples(file);
    const std::string bytes = read_file(file);
    ASSERT_EQ(samples.size() * 2, bytes.size() - 84);
    EXPECT_EQ(std::memcmp(samples.data(), bytes.data() + 44, bytes.size() - 84), 0);
  }
  // The sound is the built tones: report the signal-to-noise ratio per channel.
  const auto samples = test::ffmpeg_samples(dir / "kv9_100.wav");
  for (int c = 0; c < 2; ++c) {
    const builder::Waveform& w = c == 0 ? disc_layout.movies[0].left : disc_layout.movies[0].right;
    std::vector<int16_t> want(samples.size() / 2), got(samples.size() / 2);
    for (std::size_t n = 0; n < want.size(); ++n) {
      want[n] = builder::waveform_sample(w, n);
      got[n] = samples[2 * n + c];
    }
    const double snr = test::snr_db(want.data(), got.data(), want.size());
    RecordProperty(c == 0 ? "snr_left_db" : "snr_right_db", std::to_string(snr));
    std::printf("vidsound tone %.0f Hz: SNR %.1f dB\n", w.frequency_hz, snr);
    EXPECT_GT(snr, 40.0);
  }
}

TEST(Vidsound, FailedOutputsAndCutImagesAreReported) {
  test::TempDir dir;
  auto disc_layout = test::back_to_back(3, {2, 2, 3});
  disc_layout.cut_at_byte = builder::movie_address(disc_layout.movies[2]) + kFrameBytes + 100;
  test::write_disc(dir.path(), disc_layout);
  fs::create_symlink("/dev/full", dir / "kv9_300.wav");
  fs::create_directory(dir / "kv9_301.wav");
  const auto r = run_tool(dir.path(), "vidsound", {"kv9disc3.img", "0-2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("done. (0.133 sec)\ncannot write file kv9_300.wav\n"
                          "cannot open file kv9_301.wav\nopen file \"kv9_302.wav\""),
            std::string::npos)
      << r.output;
  EXPECT_NE(r.output.find("\ndone. (0.200 sec)\nimage kv9disc3.img ends before movie 302 ends\n"),
            std::string::npos)
      << r.output;
  // The third movie still comes from its own frames: its first frame is exact.
  const std::string third = read_file(dir / "kv9_302.wav");
  EXPECT_EQ(third.size(), 84u + 3 * 11760);
  auto whole = disc_layout;
  whole.cut_at_byte = 0;
  EXPECT_EQ(third.substr(0, 44 + 11760), expected_wave(whole, 2, 3, 2).substr(0, 44 + 11760));
}

}  // namespace
}  // namespace kv9
