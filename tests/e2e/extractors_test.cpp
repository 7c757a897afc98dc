// vidcopy, vidsound and vidconv run for real on built images: every byte of their files against
// files assembled here from the image description (sound through the plain reference decoder
// and encoder), their console, and what ffprobe, ffmpeg and sox make of the files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/movie_files.h"
#include "support/reference_codec.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

std::string video_only_stream(const builder::DiscLayout& layout, std::size_t movie) {
  std::string out = test::expected_stream_header();
  std::array<uint8_t, 18432> video{};
  for (uint32_t l = 0; l < layout.movies[movie].frames; ++l) {
    builder::frame_video_data(layout, movie, l, video.data());
    for (uint8_t j = 0; j < 8; ++j) {
      out += test::expected_video_sector({0, 0, 8, 0}, video.data(), l + 1, j, 8);
    }
  }
  return out;
}

std::string le32(uint32_t v) {
  return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// Header, the samples the reference decoder gets from the movie's blocks, 40-byte trailer.
std::string wave_file(const builder::DiscLayout& layout, std::size_t movie) {
  const uint32_t data = layout.movies[movie].frames * 11760;
  std::string w = "RIFF" + le32(data + 76) + "WAVEfmt " +
                  std::string("\x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0", 20) +
                  "data" + le32(data);
  const auto payloads = test::sound_payloads(layout, movie);
  test::RefStereo h;
  int16_t pairs[56];
  for (std::size_t f = 0; f < payloads.size(); f += 3360) {
    for (std::size_t b = 0; b < 105; ++b) {
      for (int c = 0; c < 2; ++c) {
        test::ref_decode_block(h.channel[c], &payloads[f + 1680 * c + 16 * b], pairs, c);
      }
      w.append(reinterpret_cast<const char*>(pairs), sizeof pairs);  // a little-endian machine
    }
  }
  return w + "Karvelon Tidewater movie effect sound" + std::to_string(100 * layout.disc + movie);
}

// Four frames make a cycle of 40 sectors: video sectors 0 to 8 (8 in the fourth frame), and
// after video sector m of frame k the audio sector of region a, for (k, m, a) in the table.
std::string interleaved_stream(const builder::DiscLayout& layout, std::size_t movie) {
  const int points[5][3] = {{0, 6, 0}, {1, 4, 1}, {2, 2, 2}, {3, 0, 3}, {3, 7, 4}};
  const uint32_t frames = layout.movies[movie].frames;
  const auto payloads = test::sound_payloads(layout, movie);
  std::string out = test::expected_stream_header();
  std::array<uint8_t, 18432> video{};
  std::array<uint8_t, 13440> audio{};
  test::RefStereo decoder, encoder;
  const uint32_t slots = frames % 4 == 0 ? frames : frames + 1;  // a fill frame ends a cycle
  for (uint32_t l = 0; l < slots; ++l) {
    const int k = l % 4, count = k == 3 ? 8 : 9;
    if (k == 0) audio.fill(0);
    if (l < frames) {
      for (int p = 0; p < 105; ++p) {
        for (int c = 0; c < 2; ++c) {
          std::memcpy(&audio[3360 * k + 32 * p + 16 * c], &payloads[3360 * l + 1680 * c + 16 * p],
                      16);
        }
      }
      builder::frame_video_data(layout, movie, l, video.data());
    }
    for (int m = 0; m < count; ++m) {
      out += l < frames ? test::expected_video_sector({1, 1, 0x48, 0}, video.data(), l + 1, m,
                                                      uint8_t(count))
                        : std::string(2352, '\0');
      for (const auto& [pk, pm, a] : points) {
        if (pk != k || pm != m) continue;
        test::ref_encode_sector(decoder, encoder, &audio[2688 * a]);
        std::string sector(2352, '\0');
        std::memcpy(sector.data(), "\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00", 12);
        std::memcpy(sector.data() + 16, "\x01\x01\x64\x01\x01\x01\x64\x01", 8);
        std::memcpy(sector.data() + 24, &audio[2688 * a], 2304);
        out += sector;
      }
    }
  }
  return out;
}

struct Tool {
  const char* name;
  const char* prefix;
  const char* extension;
  std::string (*expected)(const builder::DiscLayout&, std::size_t);
  const char* done_of_17_frames;
};
class Extractor : public testing::TestWithParam<Tool> {};

// A range of movies of 1 to 17 frames and one of none, sector tags wrong in one frame: every
// file exact, each movie from a fresh start, the wrong tags named and the data used as read.
TEST_P(Extractor, WritesEveryMovieOfARangeExactly) {
  const Tool& tool = GetParam();
  test::TempDir dir;
  auto layout = test::back_to_back(1, {1, 2, 3, 4, 5, 17, 0});
  const uint32_t frame1 = layout.movies[2].start_sector + 10;
  layout.wrong_tags = {{frame1, {'S', 'M', 'X'}}, {frame1 + 5, {'s', 'm', 'j'}}};
  test::write_disc(dir.path(), layout);
  const auto r = run_tool(dir.path(), tool.name, {"kv9disc1.img", "0-6"});
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string file0 = std::string(tool.prefix) + "100" + tool.extension;
  const std::string file6 = std::string(tool.prefix) + "106" + tool.extension;
  EXPECT_EQ(
      r.output.rfind(
          "open file \"" + file0 + "\". writing...\n10%20%30%40%50%60%70%80%90%100%\ndone. (", 0),
      0u);
  EXPECT_NE(r.output.find("..60%..SMN ErrorSMJ Error(3)70%"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(tool.done_of_17_frames), std::string::npos);
  EXPECT_NE(r.output.find("open file \"" + file6 + "\". writing...\n\ndone. ("), std::string::npos);
  for (std::size_t m = 0; m < layout.movies.size(); ++m) {
    const std::string name = tool.prefix + std::to_string(100 + m) + tool.extension;
    EXPECT_TRUE(read_file(dir / name) == tool.expected(layout, m)) << name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, Extractor,
    testing::Values(Tool{"vidcopy", "kv9_", ".str", video_only_stream, "done. (17 frame)"},
                    Tool{"vidsound", "kv9_", ".wav", wave_file, "done. (1.133 sec)"},
                    Tool{"vidconv", "kv9x", ".str", interleaved_stream, "done. (17 frame)"}),
    [](const auto& i) { return std::string(i.param.name); });

// What players make of the files of a movie of 30 frames carrying tones: the sound is the built
// tones, the pictures are the movie's frames in order.
TEST(Players, PlayTheFiles) {
  if (!test::have_program("ffprobe") || !test::have_program("sox")) GTEST_SKIP() << "no ffmpeg";
  test::TempDir dir;
  auto layout = test::back_to_back(2, {30});
  layout.movies[0].left = {builder::Waveform::kTone, 100, 0.25};
  layout.movies[0].right = {builder::Waveform::kTone, 1000, 0.5};
  test::write_disc(dir.path(), layout);
  for (const char* tool : {"vidsound", "vidcopy", "vidconv"}) {
    ASSERT_EQ(run_tool(dir.path(), tool, {"kv9disc2.img", "0"}).status, 0) << tool;
  }
  const fs::path wav = dir / "kv9_200.wav", copy = dir / "kv9_200.str", conv = dir / "kv9x200.str";
  EXPECT_EQ(test::probe_streams(wav, "codec_name,sample_rate,channels"),
            "codec_name=pcm_s16le\nsample_rate=44100\nchannels=2\n");
  EXPECT_EQ(test::run_program(dir.path(), "sox", {"--i", "-s", wav.string()}).output, "88200\n");
  EXPECT_EQ(test::probe_streams(copy, "codec_name,width,height"),
            "codec_name=mdec\nwidth=320\nheight=224\n");
  EXPECT_EQ(test::probe_streams(conv, "codec_name,width,height,sample_rate,channels"),
            "codec_name=mdec\nwidth=320\nheight=224\ncodec_name=adpcm_xa\nsample_rate=37800\n"
            "channels=2\n");
  std::vector<int64_t> frames(30);
  for (int l = 0; l < 30; ++l) frames[l] = l;
  EXPECT_EQ(test::ffmpeg_frame_labels(copy), frames);
  EXPECT_EQ(test::ffmpeg_frame_labels(conv), frames);

  // The WAVE file's samples are the tones; vidconv's, 38 audio sectors of 2016 pairs (seven
  // cycles and two frames with their fill frame), are the tones interpolated 7 to 6.
  const auto wave = test::ffmpeg_samples(wav), xa = test::ffmpeg_samples(conv);
  ASSERT_EQ(wave.size(), 2u * 88200);
  ASSERT_EQ(xa.size(), 2u * 2016 * 38);
  for (int c = 0; c < 2; ++c) {
    const builder::Waveform& w = c == 0 ? layout.movies[0].left : layout.movies[0].right;
    std::vector<int16_t> tone, got, interpolated, got_xa;
    for (std::size_t n = 0; n < 88200; ++n) {
      tone.push_back(builder::waveform_sample(w, n));
      got.push_back(wave[2 * n + c]);
    }
    for (std::size_t j = 0; j < 88200 * 6 / 7; ++j) {
      const double x0 = tone[7 * (j / 6) + j % 6], x1 = tone[7 * (j / 6) + j % 6 + 1];
      interpolated.push_back(int16_t(std::lround((x0 * (6 - j % 6) + x1 * (j % 6 + 1)) / 7)));
      got_xa.push_back(xa[2 * j + c]);
    }
    EXPECT_GT(test::snr_db(tone, got), 40.0) << w.frequency_hz;
    EXPECT_GT(test::snr_db(interpolated, got_xa), 30.0) << w.frequency_hz;
  }
}

}  // namespace
}  // namespace kv9
