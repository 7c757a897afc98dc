// The extractors run for real on built images: every byte of the files of vidcopy, vidsound and
// vidconv against files assembled here from the image description (sound through the plain
// reference decoder and encoder), their console, and what ffprobe, ffmpeg and sox make of the
// files of every extractor, videxport's against the other tools' pictures and sound.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

#include "support/movie_files.h"
#include "support/reference_codec.h"

namespace kv9 {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_tool;

const std::string kStreamHeader = std::string("RIFF\0\0\0\0CDXA", 12) + std::string(32, '\0');

// A raw sector's sync bytes, an empty header and the subheader twice.
std::string sector_prefix(const std::string& subheader) {
  return std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\x00\0\0\0\0", 16) + subheader +
         subheader;
}

std::string le32(uint32_t v) {
  return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}

// Video sector `index` of a frame: the 0x0160/0x8001 header, its fields, the frame's first 8
// bytes, then chunk `index` of its video data and a zero tail.
std::string video_sector(const std::string& subheader, const uint8_t* video, uint32_t frame,
                         uint8_t index, uint8_t count) {
  return sector_prefix(subheader) + "\x60\x01\x01\x80" + char(index) + '\0' + char(count) + '\0' +
         le32(frame & 0xFFFF) + le32(16128) + std::string("\x40\x01\xE0\x00", 4) +
         std::string(reinterpret_cast<const char*>(video), 8) + std::string(4, '\0') +
         std::string(reinterpret_cast<const char*>(video) + 2016 * index, 2016) +
         std::string(280, '\0');
}

std::string video_only_stream(const builder::DiscLayout& layout, std::size_t movie) {
  std::string out = kStreamHeader;
  std::array<uint8_t, 18432> video{};
  for (uint32_t l = 0; l < layout.movies[movie].frames; ++l) {
    builder::frame_video_data(layout, movie, l, video.data());
    for (uint8_t j = 0; j < 8; ++j) out += video_sector({0, 0, 8, 0}, video.data(), l + 1, j, 8);
  }
  return out;
}

// Header, the samples the reference decoder gets from the movie's blocks, 40-byte trailer.
std::string wave_file(const builder::DiscLayout& layout, std::size_t movie) {
  const uint32_t data = layout.movies[movie].frames * 11760;
  std::string w = "RIFF" + le32(data + 76) + "WAVEfmt " +
                  std::string("\x10\0\0\0\x01\0\x02\0\x44\xAC\0\0\x10\xB1\x02\0\x04\0\x10\0", 20) +
                  "data" + le32(data);
  const auto blocks = test::sound_block_pairs(layout, movie);
  test::RefStereo h;
  int16_t pairs[56];
  for (std::size_t b = 0; b < blocks.size(); b += 16) {
    test::ref_decode_block(h.channel[b / 16 % 2], &blocks[b], pairs, b / 16 % 2);
    if (b / 16 % 2) w.append(reinterpret_cast<const char*>(pairs), sizeof pairs);  // little-endian
  }
  return w + "Karvelon Tidewater movie effect sound" + std::to_string(100 * layout.disc + movie);
}

// Four frames make a cycle of 40 sectors: video sectors 0 to 8 (8 in the fourth frame), and
// after video sector m of frame k the audio sector of region a, for (k, m, a) in the table.
std::string interleaved_stream(const builder::DiscLayout& layout, std::size_t movie) {
  const int points[5][3] = {{0, 6, 0}, {1, 4, 1}, {2, 2, 2}, {3, 0, 3}, {3, 7, 4}};
  const uint32_t frames = layout.movies[movie].frames;
  const auto blocks = test::sound_block_pairs(layout, movie);
  std::string out = kStreamHeader;
  std::array<uint8_t, 18432> video{};
  std::array<uint8_t, 13440> audio{};
  test::RefStereo decoder, encoder;
  const uint32_t slots = frames % 4 == 0 ? frames : frames + 1;  // a fill frame ends a cycle
  for (uint32_t l = 0; l < slots; ++l) {
    const int k = l % 4, count = k == 3 ? 8 : 9;
    if (k == 0) audio.fill(0);
    if (l < frames) {
      std::memcpy(&audio[3360 * k], &blocks[3360 * l], 3360);
      builder::frame_video_data(layout, movie, l, video.data());
    }
    for (int m = 0; m < count; ++m) {
      out += l < frames ? video_sector({1, 1, 0x48, 0}, video.data(), l + 1, m, uint8_t(count))
                        : std::string(2352, '\0');
      for (const auto& [pk, pm, a] : points) {
        if (pk != k || pm != m) continue;
        test::ref_encode_sector(decoder, encoder, &audio[2688 * a]);
        out += sector_prefix("\x01\x01\x64\x01") +
               std::string(reinterpret_cast<const char*>(&audio[2688 * a]), 2304) +
               std::string(24, '\0');
      }
    }
  }
  return out;
}

struct Tool {
  const char* name;
  std::string (*expected)(const builder::DiscLayout&, std::size_t);
  const char* done_of_17_frames;
};
class Extractor : public testing::TestWithParam<Tool> {};

// A range of movies of 1 to 17 frames and one of none, sector tags wrong in one frame, the image
// a pipe: every file exact, each movie from a fresh start, the wrong tags named and the data used
// as read.
TEST_P(Extractor, WritesEveryMovieOfARangeExactly) {
  const Tool& tool = GetParam();
  test::TempDir dir;
  auto layout = test::back_to_back(1, {1, 2, 3, 4, 5, 17, 0});
  const uint32_t frame1 = layout.movies[2].start_sector + 10;
  layout.wrong_tags = {{frame1, {'S', 'M', 'X'}}, {frame1 + 5, {'s', 'm', 'j'}}};
  test::write_disc(dir.path(), layout);
  // Read forward to the first movie, front to back, whatever the number of workers asked for.
  const test::PipedImage pipe(dir.path(), "kv9disc1.img");
  const auto r = run_tool(dir.path(), tool.name, {"kv9disc1.img", "0-6"}, 3);
  ASSERT_EQ(r.status, 0) << r.output;
  const auto name = [&](int m) { return test::output_file(tool.name, 100 + m); };
  EXPECT_TRUE(r.output.starts_with("open file \"" + name(0) +
                                   "\". writing...\n10%20%30%40%50%60%70%80%90%100%\ndone. ("));
  EXPECT_NE(r.output.find("..60%..SMN ErrorSMJ Error(3)70%"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find(tool.done_of_17_frames), std::string::npos);
  EXPECT_NE(r.output.find("open file \"" + name(6) + "\". writing...\n\ndone. ("),
            std::string::npos);
  for (int m = 0; m < 7; ++m)
    EXPECT_TRUE(read_file(dir / name(m)) == tool.expected(layout, m)) << m;
}

// Movies read where their addresses put them in sparse images: from the address file, one that
// starts above 2 GiB and ends beyond 4 GiB (its second 1 MiB block lies past 4 GiB); without an
// address file, disc 1's movie 13, the shortest, at 0x1AC08800 by the tables the extractors carry.
TEST_P(Extractor, ReadsMoviesWhereTheirAddressesPutThem) {
  std::vector<uint32_t> frames(14, 1);  // movies 0 to 12 before it, never read
  frames[13] = 15;
  for (const auto& [layout, address, address_file] :
       {std::tuple{test::back_to_back(1, {60}, 0), 0xFFFFC000u,
                   "[kv9disc1.img]\nid=0, address=0xFFFFC000, frame=0x3C\n"},
        std::tuple{test::back_to_back(1, frames, 0), 0x1AC08800u, ""}}) {
    test::TempDir dir;
    const int id = int(layout.movies.size()) - 1;
    test::write_disc(dir.path(), layout, false,
                     address - builder::movie_address(layout.movies[id]));
    if (*address_file != '\0') test::write_file(dir / "kv9cdadr.ini", address_file);
    const char* tool = GetParam().name;
    ASSERT_EQ(run_tool(dir.path(), tool, {"kv9disc1.img", std::to_string(id)}).status, 0);
    EXPECT_TRUE(read_file(dir / test::output_file(tool, 100 + id)) ==
                GetParam().expected(layout, id));
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, Extractor,
                         testing::Values(Tool{"vidcopy", video_only_stream, "done. (17 frame)"},
                                         Tool{"vidsound", wave_file, "done. (1.133 sec)"},
                                         Tool{"vidconv", interleaved_stream, "done. (17 frame)"}),
                         [](const auto& i) { return std::string(i.param.name); });

// What a shell command in the file's folder prints, $1 standing for the file.
std::string of(const fs::path& file, const std::string& command) {
  return test::run_program(file.parent_path(), "sh", {"-c", command, "sh", file.string()}).output;
}

// ffprobe's values of the entries, one a line, over the streams `streams` picks.
std::string probe(const fs::path& file, const std::string& entries, const char* streams = "''") {
  return of(file, "ffprobe -v error -count_frames -select_streams " + std::string(streams) +
                      " -show_entries " + entries + " -of default=nw=1:nk=1 \"$1\"");
}

// The sound ffmpeg decodes from a file, as 16-bit little-endian samples.
std::string samples(const fs::path& file) {
  return of(file, "ffmpeg -v error -i \"$1\" -map 0:a -f s16le -acodec pcm_s16le -");
}

// The checksums of the pictures ffmpeg decodes from a file, in order, one a line.
const std::string kPictureMd5s =
    "ffmpeg -v error -i \"$1\" -map 0:v -f framemd5 - | awk '!/^#/ {print $NF}'";

// Movies of 30 frames (tones of 100 Hz at a quarter and 1 kHz at half of full scale), 1 frame
// and none, through every extractor: players read every file; vidconv's sound is the tones
// interpolated 7 to 6; the pictures are the movies' frames in order; videxport's pictures and
// sound are exactly vidcopy's and vidsound's, at 15 frames per second.
TEST(Players, ReadEveryFile) {
  if (!test::have_program("ffprobe") || !test::have_program("sox")) GTEST_SKIP() << "no ffmpeg";
  test::TempDir dir;
  auto layout = test::back_to_back(2, {30, 1, 0});
  layout.movies[0].left = {builder::Waveform::kTone, 100, 0.25};
  layout.movies[0].right = {builder::Waveform::kTone, 1000, 0.5};
  test::write_disc(dir.path(), layout);
  std::string console;
  for (const char* tool : test::extractors()) {
    std::optional<test::PipedImage> pipe;  // the last, videxport, reads a pipe
    if (tool == test::extractors().back()) pipe.emplace(dir.path(), "kv9disc2.img");
    const auto r = run_tool(dir.path(), tool, {"kv9disc2.img", "0-2"});
    ASSERT_EQ(r.status, 0) << tool << r.output;
    console += r.output;
  }
  const fs::path wav = dir / "kv9_200.wav", copy = dir / "kv9_200.str", conv = dir / "kv9x200.str";
  EXPECT_EQ(probe(wav, "stream=codec_name,sample_rate,channels"), "pcm_s16le\n44100\n2\n");
  EXPECT_EQ(test::run_program(dir.path(), "sox", {"--i", "-s", wav.string()}).output, "88200\n");
  EXPECT_TRUE(samples(wav) == read_file(wav).substr(44, 4 * 88200));
  EXPECT_EQ(probe(copy, "stream=codec_name,width,height"), "mdec\n320\n224\n");
  EXPECT_EQ(probe(conv, "stream=codec_name,width,height,sample_rate,channels"),
            "mdec\n320\n224\nadpcm_xa\n37800\n2\n");
  // The pictures: 30, each its own (the colour bars move from frame to frame), and the same in
  // both streams.
  EXPECT_EQ(of(copy, kPictureMd5s + " | sort -u | wc -l"), "30\n");
  EXPECT_EQ(of(conv, kPictureMd5s), of(copy, kPictureMd5s));

  // 38 audio sectors of 2016 pairs (seven cycles, then two frames and their fill frame): the
  // tones interpolated 7 to 6, within 30 dB.
  const std::string xa = samples(conv);
  ASSERT_EQ(xa.size(), 4u * 2016 * 38);
  for (int c = 0; c < 2; ++c) {
    const builder::Waveform& w = c == 0 ? layout.movies[0].left : layout.movies[0].right;
    double signal = 0, noise = 0;
    for (std::size_t j = 0; j < 88200 * 6 / 7; ++j) {
      const double x0 = builder::waveform_sample(w, 7 * (j / 6) + j % 6);
      const double x1 = builder::waveform_sample(w, 7 * (j / 6) + j % 6 + 1);
      const double want = std::round((x0 * (6 - j % 6) + x1 * (j % 6 + 1)) / 7);
      int16_t got;
      std::memcpy(&got, &xa[4 * j + 2 * c], 2);
      signal += want * want;
      noise += (got - want) * (got - want);
    }
    EXPECT_GT(10 * std::log10(signal / noise), 30.0) << w.frequency_hz;
  }

  if (test::extractors().back() != std::string("videxport")) return;
  EXPECT_NE(console.find("\ndone. (1 frame)\nmovie 202 has no frames: no file written\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "kv9_202.mkv"));
  for (const auto& [movie, n] : {std::pair{"kv9_200", "30"}, std::pair{"kv9_201", "1"}}) {
    const fs::path mkv = dir / (movie + std::string(".mkv"));
    EXPECT_EQ(probe(mkv,
                    "stream=codec_name,width,height,color_range,r_frame_rate,sample_rate,"
                    "channels,nb_read_frames"),
              "ffv1\n320\n224\npc\n15/1\n" + std::string(n) + "\nflac\n44100\n2\n0/0\n" + n + "\n");
    std::istringstream times(probe(mkv, "packet=pts_time", "v"));
    int k = 0;
    for (double t; times >> t; ++k) EXPECT_NEAR(t, k / 15.0, 0.0005);
    EXPECT_EQ(std::to_string(k), n);
    EXPECT_EQ(of(mkv, kPictureMd5s), of(dir / (movie + std::string(".str")), kPictureMd5s));
    const std::string w = read_file(dir / (movie + std::string(".wav")));
    EXPECT_TRUE(samples(mkv) == w.substr(44, w.size() - 84));
  }
}

}  // namespace
}  // namespace kv9
