// vidconv run for real on built images: the interleaved streams byte for byte against a model
// assembled with the plain reference encoder, the sector order, and what ffmpeg plays.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/built_movie.h"
#include "support/movie_files.h"
#include "support/reference_xa_encoder.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

std::string audio_sector(const uint8_t* groups) {
  std::string s(2352, '\0');
  const uint8_t head[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00,
                          0,    0,    0,    0,    1,    1,    0x64, 1,    1,    1,    0x64, 1};
  std::memcpy(s.data(), head, sizeof head);
  std::memcpy(s.data() + 24, groups, 2304);
  return s;
}

// The interleaved stream of a built movie, put together cycle by cycle (four frames, five audio
// sectors) with the plain reference resampler and encoder.
std::string expected_stream(const builder::DiscLayout& disc_layout, std::size_t movie) {
  const uint32_t frames = disc_layout.movies[movie].frames;
  std::string out = test::expected_stream_header();
  std::array<uint8_t, 18432> video{};
  std::array<uint8_t, 13440> audio{};
  DecoderHistory decoder;
  EncoderHistory encoder;
  ResamplerBuffers buffers;
  auto sound = test::start_movie_sound(disc_layout.movies[movie]);
  const int points[4][2] = {{6, -1}, {4, -1}, {2, -1}, {0, 7}};  // after sector m of phase k
  const int first_region[4] = {0, 1, 2, 3};
  auto emit = [&](uint32_t k, int m) {
    for (int p = 0; p < 2; ++p) {
      if (points[k][p] != m) continue;
      uint8_t* region = audio.data() + 2688 * (first_region[k] + p);
      test::reference_encode_sector_audio(decoder, encoder, buffers, region);
      out += audio_sector(region);
    }
  };
  uint32_t k = 0;
  for (uint32_t l = 0; l < frames; ++l, k = (k + 1) % 4) {
    if (k == 0) audio.fill(0);
    uint8_t left[1680], right[1680];
    test::next_frame_sound(sound, left, right);
    for (int p = 0; p < 105; ++p) {
      std::memcpy(audio.data() + 3360 * k + 32 * p, left + 16 * p, 16);
      std::memcpy(audio.data() + 3360 * k + 32 * p + 16, right + 16 * p, 16);
    }
    builder::frame_video_data(disc_layout, movie, l, video.data());
    const uint8_t count = k == 3 ? 8 : 9;
    for (uint8_t m = 0; m < count; ++m) {
      out += test::expected_video_sector({1, 1, 0x48, 0}, video.data(), l + 1, m, count);
      emit(k, m);
    }
  }
  if (k != 0) {
    for (int m = 0; m < (k == 3 ? 8 : 9); ++m) {
      out += std::string(2352, '\0');
      emit(k, m);
    }
  }
  return out;
}

enum class Kind { kVideo, kAudio, kZero };

Kind sector_kind(const std::string& file, std::size_t i) {
  const char* s = file.data() + 44 + 2352 * i;
  if (std::all_of(s, s + 2352, [](char c) { return c == 0; })) return Kind::kZero;
  return uint8_t(s[18]) == 0x64 ? Kind::kAudio : Kind::kVideo;
}

TEST(Vidconv, StreamsForShortMoviesFollowTheCycleExactly) {
  test::TempDir dir;
  const std::vector<uint32_t> counts = {1, 2, 3, 4, 5, 17, 0};
  const auto disc_layout = test::back_to_back(1, counts);
  test::write_disc(dir.path(), disc_layout);
  const auto r = run_tool(dir.path(), "vidconv", {"kv9disc1.img", "0-6"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("open file \"kv9x106.str\". writing...\n\ndone. (0 frame)\n"),
            std::string::npos);
  for (std::size_t m = 0; m < counts.size(); ++m) {
    SCOPED_TRACE("frames " + std::to_string(counts[m]));
    const std::string got = read_file(dir / ("kv9x10" + std::to_string(m) + ".str"));
    const uint32_t f = counts[m];
    const std::size_t slots = f % 4 == 0 ? f : f + 1;
    ASSERT_EQ(got.size(), 44 + 23520 * slots);
    for (std::size_t i = 0; i < 10 * slots; ++i) {
      const Kind want = i % 8 == 7 ? Kind::kAudio : (i >= 10 * f ? Kind::kZero : Kind::kVideo);
      EXPECT_EQ(sector_kind(got, i), want) << "sector " << i;
    }
    EXPECT_TRUE(got == expected_stream(disc_layout, m));
  }
}

TEST(Vidconv, EachMovieOfARangeStartsAfresh) {
  test::TempDir dir;
  const auto disc_layout = test::back_to_back(4, {6, 9});
  test::write_disc(dir.path(), disc_layout);
  fs::create_directory(dir / "kv9x400.str");  // the first output cannot be created
  const auto r = run_tool(dir.path(), "vidconv", {"kv9disc4.img", "0-1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.output.rfind("cannot open file kv9x400.str\nopen file \"kv9x401.str\"", 0), 0u);
  EXPECT_TRUE(read_file(dir / "kv9x401.str") == expected_stream(disc_layout, 1));
}

TEST(Vidconv, VideoMatchesVidcopyAndFfmpegPlaysPicturesAndSound) {
  if (!test::have_program("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
  test::TempDir dir;
  builder::DiscLayout disc_layout;
  disc_layout.disc = 2;
  const double tones[][2] = {{100, 3000}, {440, 1000}};
  for (int i = 0; i < 2; ++i)
    disc_layout.movies.push_back(test::tone_movie(8 + 300 * i, 30, tones[i][0], tones[i][1]));
  disc_layout.movies[1].left.amplitude = disc_layout.movies[1].right.amplitude = 0.5;
  test::write_disc(dir.path(), disc_layout, false);
  test::write_file(dir / "kv9cdadr.ini", test::address_file_for(disc_layout));
  for (const char* id : {"0", "1"}) {
    ASSERT_EQ(run_tool(dir.path(), "vidconv", {"kv9disc2.img", id}).status, 0);
    ASSERT_EQ(run_tool(dir.path(), "vidcopy", {"kv9disc2.img", id}).status, 0);
  }
  for (int m = 0; m < 2; ++m) {
    const fs::path conv = dir / ("kv9x20" + std::to_string(m) + ".str");
    const std::string c = read_file(conv);
    const std::string v = read_file(dir / ("kv9_20" + std::to_string(m) + ".str"));
    // Video chunks 0 to 7 of every frame are the ones vidcopy writes.
    for (uint32_t l = 0; l < 30; ++l) {
      std::size_t video_index = 0;
      for (std::size_t i = 10 * l; i < 10 * l + 10 && video_index < 8; ++i) {
        if (i % 8 == 7) continue;
        EXPECT_EQ(c.substr(44 + 2352 * i + 56, 2016),
                  v.substr(44 + 2352 * (8 * l + video_index) + 56, 2016));
        ++video_index;
      }
    }
    EXPECT_EQ(test::probe_streams(conv, "codec_name,width,height,sample_rate,channels"),
              "codec_name=mdec\nwidth=320\nheight=224\ncodec_name=adpcm_xa\nsample_rate=37800\n"
              "channels=2\n");
    const auto labels = test::ffmpeg_picture_labels(conv);
    ASSERT_EQ(labels.size(), 30u);
    for (uint32_t l = 0; l < 30; ++l) EXPECT_EQ(labels[l].frame, l);
    // 30 frames: seven whole cycles and two frames of an eighth with its fill frame, so
    // 7 x 5 + 3 audio sectors of 2016 pairs.
    const auto samples = test::ffmpeg_samples(conv);
    ASSERT_EQ(samples.size(), 2u * 2016 * 38);
    for (int ch = 0; ch < 2; ++ch) {
      const builder::Waveform& w =
          ch == 0 ? disc_layout.movies[m].left : disc_layout.movies[m].right;
      // The built tone resampled as the converter does: output pair j = 6g + k weighs input
      // samples 7g + k and 7g + k + 1 by (6 - k) and (k + 1) sevenths.
      const std::size_t pairs = 30 * 2940 * 6 / 7;
      std::vector<int16_t> want(pairs), got(pairs);
      for (std::size_t j = 0; j < pairs; ++j) {
        const std::size_t g = j / 6, k = j % 6;
        const double x0 = builder::waveform_sample(w, 7 * g + k);
        const double x1 = builder::waveform_sample(w, 7 * g + k + 1);
        want[j] = int16_t(std::lround((x0 * double(6 - k) + x1 * double(k + 1)) / 7));
        got[j] = samples[2 * j + ch];
      }
      const double snr = test::snr_db(want.data(), got.data(), pairs);
      std::printf("vidconv tone %.0f Hz at %.2f of full scale: SNR %.1f dB\n", w.frequency_hz,
                  w.amplitude, snr);
      EXPECT_GE(snr, 30.0);
    }
  }
}

TEST(Vidconv, CutImageAndWriteFailureAreReported) {
  test::TempDir dir;
  auto disc_layout = test::back_to_back(3, {5, 5});
  disc_layout.cut_at_byte = builder::movie_address(disc_layout.movies[1]) + 3 * kFrameBytes;
  test::write_disc(dir.path(), disc_layout);
  fs::create_symlink("/dev/full", dir / "kv9x300.str");
  const auto r = run_tool(dir.path(), "vidconv", {"kv9disc3.img", "0-1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.output.find("done. (5 frame)\ncannot write file kv9x300.str\nopen file"),
            std::string::npos);
  EXPECT_NE(r.output.find("done. (5 frame)\nimage kv9disc3.img ends before movie 301 ends\n"),
            std::string::npos);
  EXPECT_EQ(fs::file_size(dir / "kv9x301.str"), 44u + 6 * 23520);
}

}  // namespace
}  // namespace kv9
